// Where the console program's text goes. Lines reach the reader at once;
// progress marks, thousands a second, are gathered and written together a
// few dozen times a second, so that a terminal sees the mark turn without
// being woken for every one of them. The bytes are the same either way.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace zelbo::console {

class ConsoleOutput {
 public:
  // Text shown at once (after any marks still held back).
  virtual void Print(std::string_view text) = 0;
  // A progress mark, which may be held back briefly.
  virtual void Mark(std::string_view mark) = 0;

 protected:
  ~ConsoleOutput() = default;
};

// Gathers marks and writes them through `write` when `interval` has passed
// since the last write, and before any other text.
class CoalescingOutput final : public ConsoleOutput {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  using Writer = std::function<void(std::string_view)>;

  static constexpr std::chrono::milliseconds kInterval{40};

  CoalescingOutput(Writer write, Clock now, std::chrono::milliseconds interval = kInterval);
  ~CoalescingOutput();
  CoalescingOutput(const CoalescingOutput&) = delete;
  CoalescingOutput& operator=(const CoalescingOutput&) = delete;

  void Print(std::string_view text) override;
  void Mark(std::string_view mark) override;
  // Writes the marks held back.
  void Flush();

 private:
  Writer write_;
  Clock now_;
  std::chrono::milliseconds interval_;
  std::chrono::steady_clock::time_point last_write_{};
  std::string pending_;
};

// Standard output, marks gathered as above.
ConsoleOutput& StandardOutput();

}  // namespace zelbo::console
