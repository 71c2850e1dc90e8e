// What the file layer's platforms share: moves, closing, and the table of
// fault points that every system call passes.
#include "platform/file.h"

#include <algorithm>
#include <atomic>
#include <mutex>

namespace zelbo::platform {

// ---- InputFile ----

InputFile::InputFile(InputFile&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)),
      path_(std::move(other.path_)),
      identity_(other.identity_),
      permissions_(other.permissions_),
      position_(other.position_),
      copy_method_(other.copy_method_),
      buffer_(std::move(other.buffer_)) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this != &other) {
    this->~InputFile();
    new (this) InputFile(std::move(other));
  }
  return *this;
}

// ---- OutputFile ----

OutputFile::OutputFile(OutputFile&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)),
      path_(std::move(other.path_)),
      identity_(other.identity_),
      position_(other.position_),
      written_behind_(other.written_behind_),
      waiting_from_(other.waiting_from_) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    this->~OutputFile();
    new (this) OutputFile(std::move(other));
  }
  return *this;
}

OutputFile::~OutputFile() { (void)Close(); }

Status OutputFile::Write(std::string_view text) {
  return Write(std::as_bytes(std::span(text.data(), text.size())));
}

// ---- Fault points ----

namespace {

struct FaultTable {
  std::mutex mutex;
  std::vector<SystemFault> faults;
  std::vector<int> seen;    // matching calls so far, per fault
  std::vector<int> struck;  // strikes so far, per fault
};

FaultTable& Table() {
  static FaultTable table;
  return table;
}

// Read without the lock on every call: tests install faults before the
// calls they strike, and the programs never install any.
std::atomic<bool> faults_installed{false};

bool IsDataCall(SystemCall call) {
  return call == SystemCall::kRead || call == SystemCall::kWrite || call == SystemCall::kCopy;
}

bool Strikes(const SystemFault& fault, int seen, int struck) {
  if (fault.times >= 0 && struck >= fault.times) return false;
  return (fault.from_offset >= 0 && IsDataCall(fault.call)) || seen >= fault.at;
}

}  // namespace

ScopedFaults::ScopedFaults(std::vector<SystemFault> faults) {
  FaultTable& table = Table();
  std::lock_guard lock(table.mutex);
  table.seen.assign(faults.size(), 0);
  table.struck.assign(faults.size(), 0);
  table.faults = std::move(faults);
  faults_installed = true;
}

ScopedFaults::~ScopedFaults() {
  FaultTable& table = Table();
  std::lock_guard lock(table.mutex);
  faults_installed = false;
  table.faults.clear();
}

int ScopedFaults::struck(std::size_t index) const {
  FaultTable& table = Table();
  std::lock_guard lock(table.mutex);
  return table.struck.at(index);
}

FaultVerdict ConsultFaults(SystemCall call, const std::string& path, std::int64_t offset,
                           std::int64_t bytes) {
  FaultVerdict verdict{std::nullopt, bytes};
  if (!faults_installed) return verdict;
  FaultTable& table = Table();
  std::lock_guard lock(table.mutex);
  for (std::size_t i = 0; i < table.faults.size(); ++i) {
    const SystemFault& fault = table.faults[i];
    if (fault.call != call || !path.ends_with(fault.path)) continue;
    if (fault.from_offset >= 0 && IsDataCall(call) && offset < fault.from_offset) {
      // Only the bytes before the fault's offset get through.
      verdict.bytes = std::min(verdict.bytes, fault.from_offset - offset);
      continue;
    }
    if (!Strikes(fault, ++table.seen[i], table.struck[i])) continue;
    ++table.struck[i];
    if (fault.volume_holds >= 0) {
      verdict.volume_holds = fault.volume_holds;
    } else if (fault.moves_at_most >= 0) {
      verdict.bytes = std::min(verdict.bytes, fault.moves_at_most);
    } else {
      verdict.failure = fault.code;
      return verdict;
    }
  }
  return verdict;
}

}  // namespace zelbo::platform
