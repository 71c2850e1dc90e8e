// The SHA-256 of each part, computed from the source's bytes while the copy
// runs: on threads of their own, which read the source through handles of
// their own in blocks of a fixed size, so that the copy's thread never
// waits for them and the bytes it copies never pass through this process.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/split_engine.h"

namespace zelbo {

class PartDigests {
 public:
  // Starts hashing parts 1..`partCount` of `partSize` bytes of `source`
  // (the last one ends where the source does).
  PartDigests(const InputFile& source, std::int64_t partSize, std::int32_t partCount);
  // Stops the threads, finished or not.
  ~PartDigests();

  // The copy has started part `number`: the threads may hash parts up to
  // it. They stay behind the copy, so that a source read from the disk is
  // read once, by the copy, and hashed from the cache.
  void CopyReached(std::int32_t number);
  PartDigests(const PartDigests&) = delete;
  PartDigests& operator=(const PartDigests&) = delete;

  // The digests of the parts that the copy made, of `sizes` bytes each, as
  // 64 lower-case hex digits; waits for the threads. A part whose bytes
  // the threads did not see as the copy did (the source changed meanwhile,
  // or could not be read again) is hashed from its own file instead.
  Result<std::vector<std::string>> Finish(
      const std::vector<std::int64_t>& sizes,
      const std::function<std::string(std::int32_t number)>& partPath);

 private:
  struct Slot {
    std::string digest;
    std::int64_t bytes = -1;  // hashed; -1 while not done
  };
  struct Hasher;
  void Work(std::string path, FileIdentity identity);
  bool WaitForCopy(std::int32_t number);
  bool HashRange(Hasher& hasher, InputFile& file, std::int64_t offset, std::int64_t length,
                 Slot& slot);

  const std::int64_t partSize_;
  std::vector<Slot> slots_;
  std::atomic<std::int32_t> next_{0};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable reached_changed_;
  std::int32_t reached_ = 0;  // under mutex_
  std::vector<std::thread> threads_;
};

}  // namespace zelbo
