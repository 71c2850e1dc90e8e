#include "common/part_digests.h"

#include <algorithm>

#include "platform/digest.h"

namespace zelbo {
namespace {

// Large enough that a read costs little next to hashing it, small enough to
// stay in the processor's cache.
constexpr std::int64_t kBlock = std::int64_t{1} << 20;

// Hashing takes several times the copy's time: one thread per processor,
// two at most, since the copy and the medium need their share too.
unsigned Workers() { return std::clamp(std::thread::hardware_concurrency(), 1u, 2u); }

}  // namespace

// What hashing needs, made once per thread rather than once per part: with
// thousands of small parts, a fresh block and digest state for each part
// cost more than hashing it. The block is no larger than a part.
struct PartDigests::Hasher {
  explicit Hasher(std::int64_t partSize)
      : buffer(static_cast<std::size_t>(std::clamp<std::int64_t>(partSize, 1, kBlock))) {}
  std::vector<std::byte> buffer;
  platform::Sha256 sha;
};

PartDigests::PartDigests(const InputFile& source, std::int64_t partSize, std::int32_t partCount)
    : partSize_(partSize), slots_(static_cast<std::size_t>(std::max(partCount, 0))) {
  for (unsigned i = 0; i < Workers() && i < slots_.size(); ++i) {
    threads_.emplace_back(&PartDigests::Work, this, source.path(), source.identity());
  }
}

PartDigests::~PartDigests() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  reached_changed_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void PartDigests::CopyReached(std::int32_t number) {
  {
    std::lock_guard lock(mutex_);
    reached_ = std::max(reached_, number);
  }
  reached_changed_.notify_all();
}

// False when the threads are to stop.
bool PartDigests::WaitForCopy(std::int32_t number) {
  std::unique_lock lock(mutex_);
  reached_changed_.wait(lock, [&] { return stop_ || reached_ >= number; });
  return !stop_;
}

// Takes the next part not yet taken, until none is left. The slot of a
// part is written only by the thread that took it, and read only after
// the threads are joined.
void PartDigests::Work(std::string path, FileIdentity identity) {
  auto opened = InputFile::Open(path);
  // Another file under that name now: Finish() hashes the parts themselves.
  if (!opened.ok() || opened.value().identity() != identity) return;
  InputFile& file = opened.value();
  Hasher hasher(partSize_);
  for (;;) {
    const std::int32_t index = next_++;
    if (index >= static_cast<std::int32_t>(slots_.size()) || !WaitForCopy(index + 1)) return;
    if (!HashRange(hasher, file, partSize_ * index, partSize_,
                   slots_[static_cast<std::size_t>(index)])) {
      return;
    }
  }
}

// A false return leaves the hasher's digest state midway: its thread stops.
bool PartDigests::HashRange(Hasher& hasher, InputFile& file, std::int64_t offset,
                            std::int64_t length, Slot& slot) {
  const std::span<std::byte> buffer(hasher.buffer);
  platform::Sha256& sha = hasher.sha;
  std::int64_t hashed = 0;
  while (hashed < length && !stop_) {
    const auto want = static_cast<std::size_t>(
        std::min<std::int64_t>(length - hashed, static_cast<std::int64_t>(buffer.size())));
    auto read = file.ReadAt(offset + hashed, buffer.first(want));
    if (!read.ok()) return false;
    if (read.value() == 0) break;
    sha.Update(buffer.first(read.value()));
    hashed += static_cast<std::int64_t>(read.value());
  }
  if (stop_) return false;
  slot.digest = sha.Finish();
  slot.bytes = hashed;
  return true;
}

Result<std::vector<std::string>> PartDigests::Finish(
    const std::vector<std::int64_t>& sizes,
    const std::function<std::string(std::int32_t number)>& partPath) {
  // Parts the copy never reached (the source ended early) have nothing to wait for.
  CopyReached(static_cast<std::int32_t>(slots_.size()));
  for (std::thread& thread : threads_) thread.join();
  threads_.clear();
  std::vector<std::string> digests;
  Hasher hasher(partSize_);  // for parts that must be read back
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    if (i < slots_.size() && slots_[i].bytes == sizes[i]) {
      digests.push_back(slots_[i].digest);
      continue;
    }
    const std::string path = partPath(static_cast<std::int32_t>(i + 1));
    auto part = InputFile::Open(path);
    if (!part.ok()) return part.error();
    Slot slot;
    if (!HashRange(hasher, part.value(), 0, sizes[i], slot) || slot.bytes != sizes[i]) {
      return Error{ErrorKind::kRead, path, "read", "the part could not be read back"};
    }
    digests.push_back(slot.digest);
  }
  return digests;
}

}  // namespace zelbo
