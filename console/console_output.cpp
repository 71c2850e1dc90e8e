#include "console/console_output.h"

#include "platform/system.h"

namespace zelbo::console {

CoalescingOutput::CoalescingOutput(Writer write, Clock now, std::chrono::milliseconds interval)
    : write_(std::move(write)), now_(std::move(now)), interval_(interval), last_write_(now_()) {}

CoalescingOutput::~CoalescingOutput() { Flush(); }

void CoalescingOutput::Print(std::string_view text) {
  pending_.append(text);
  Flush();
}

void CoalescingOutput::Mark(std::string_view mark) {
  pending_.append(mark);
  if (now_() - last_write_ >= interval_) Flush();
}

void CoalescingOutput::Flush() {
  if (pending_.empty()) return;
  write_(pending_);
  pending_.clear();
  last_write_ = now_();
}

ConsoleOutput& StandardOutput() {
  static CoalescingOutput output(platform::WriteStdout, std::chrono::steady_clock::now);
  return output;
}

}  // namespace zelbo::console
