#include "tests/desktop/wine_driver.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <future>
#include <stdexcept>
#include <thread>

#include "tests/desktop/probe_words.h"
#include "tests/support/run_program.h"

namespace zelbo::desktop {
namespace {

using namespace std::chrono_literals;
using testing::probe::Escape;

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) throw std::runtime_error(std::string(name) + " is not set");
  return value;
}


// Starts `words` (a program, then its arguments) with the given ends of
// pipes (or /dev/null) as its standard input and output; standard error
// stays this process's.
pid_t Spawn(const std::vector<std::string>& words, int input, int output) {
  const std::vector<char*> argv = testing::ExecArguments(words);
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int null_fd = ::open("/dev/null", O_RDWR);
    ::dup2(input >= 0 ? input : null_fd, STDIN_FILENO);
    ::dup2(output >= 0 ? output : null_fd, STDOUT_FILENO);
    for (int fd = 3; fd < 256; ++fd) ::close(fd);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

void Xdo(const std::vector<std::string>& arguments) {
  const testing::ProgramRun run = testing::RunProgram("xdotool", arguments);
  if (run.exit_code != 0) ADD_FAILURE() << "xdotool failed: " << arguments.front();
}

std::string RegexQuoted(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) out += '\\';
    out += c;
  }
  return out;
}

// Waits until the X server shows a window of that title (wine reports a
// window shown a moment before the window manager has put it on the
// screen, and a click meanwhile is lost), then gives it the focus.
void AwaitOnScreen(std::string_view title) {
  const auto end = std::chrono::steady_clock::now() + 20s;
  const std::string pattern = std::string("^").append(RegexQuoted(title)).append("$");
  std::string id;
  while (id.empty() && std::chrono::steady_clock::now() < end) {
    const testing::ProgramRun found = testing::RunProgram(
        "xdotool", {"search", "--onlyvisible", "--name", pattern});
    id = found.output.substr(0, found.output.find('\n'));
    if (id.empty()) std::this_thread::sleep_for(10ms);
  }
  if (id.empty()) {
    ADD_FAILURE() << "no window \"" << title << "\" on the screen";
    return;
  }
  testing::RunOptions bounded;
  bounded.command_prefix = {"timeout", "10"};  // --sync waits for ever for a window that stays inactive
  testing::RunProgram("xdotool", {"windowactivate", "--sync", id}, bounded);
}

int Number(const std::vector<std::string>& fields, std::size_t index) {
  return index < fields.size() ? std::stoi(fields[index]) : 0;
}

bool Ascii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= ' ' && c < 0x7f; });
}

}  // namespace

// ---- Probe ----

Probe::Probe(const fs::path& program) {
  int to[2];
  int from[2];
  if (::pipe(to) != 0 || ::pipe(from) != 0) throw std::runtime_error("pipe failed");
  pid_ = Spawn({"wine", program.string()}, to[0], from[1]);
  ::close(to[0]);
  ::close(from[1]);
  to_ = to[1];
  from_ = from[0];
  ::fcntl(to_, F_SETFD, FD_CLOEXEC);
  ::fcntl(from_, F_SETFD, FD_CLOEXEC);
}

Probe::~Probe() {
  ::close(to_);  // the probe ends at the end of its input
  ::close(from_);
  int status = 0;
  ::waitpid(pid_, &status, 0);
}

std::vector<std::string> Probe::Ask(const std::vector<std::string>& request, bool* found) {
  std::string line;
  for (const std::string& field : request) {
    if (!line.empty()) line += '\t';
    line += Escape(field);
  }
  line += '\n';
  if (::write(to_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
    throw std::runtime_error("the probe has gone");
  }
  std::size_t end;
  while ((end = pending_.find('\n')) == std::string::npos) {
    char chunk[4096];
    const ssize_t count = ::read(from_, chunk, sizeof chunk);
    if (count <= 0) throw std::runtime_error("the probe has gone");
    pending_.append(chunk, static_cast<std::size_t>(count));
  }
  std::string answer = pending_.substr(0, end);
  pending_.erase(0, end + 1);
  if (!answer.empty() && answer.back() == '\r') answer.pop_back();
  std::vector<std::string> fields = testing::probe::Fields(answer);
  const bool ok = fields.front() == "ok";
  if (found != nullptr) *found = ok;
  fields.erase(fields.begin());
  return ok ? fields : std::vector<std::string>{};
}

// ---- WineDriver ----

WineDriver::WineDriver()
    : bin_(Environment("ZELBO_WINDOWS_BIN")),
      prefix_(Environment("WINEPREFIX")),
      probe_(bin_ / "zelbo_probe.exe") {
  probe_.Ask({"settings", "clear"});
}

WineDriver::~WineDriver() {
  if (program_ > 0) {
    ::kill(program_, SIGKILL);
    int status = 0;
    ::waitpid(program_, &status, 0);
  }
  for (const auto& [drive, folder] : drives_) DetachMedium(folder);
}

std::string WineDriver::ProgramPath(const fs::path& host) const {
  std::string drive = "Z:";
  std::string rest = host.string();
  for (const auto& [letter, folder] : drives_) {
    const std::string root = folder.string();
    if (rest.starts_with(root + "/")) {
      drive = letter;
      rest = rest.substr(root.size());
    }
  }
  std::replace(rest.begin(), rest.end(), '/', '\\');
  return drive + rest;
}

std::string WineDriver::AttachMedium(const fs::path& folder) {
  const std::string drive = "m:";
  const fs::path link = prefix_ / "dosdevices" / drive;
  std::error_code ignored;
  fs::remove(link, ignored);
  fs::create_directory_symlink(folder, link);
  drives_["M:"] = folder;
  return "M:\\";
}

void WineDriver::DetachMedium(const fs::path& folder) {
  // wine names its drive links in lower case.
  for (const auto& [drive, root] : drives_) {
    std::string link = drive;
    std::transform(link.begin(), link.end(), link.begin(), [](unsigned char c) { return std::tolower(c); });
    std::error_code ignored;
    if (root == folder) fs::remove(prefix_ / "dosdevices" / link, ignored);
  }
}

void WineDriver::Launch() {
  program_ = Spawn({"wine", (bin_ / "Zelbo32.exe").string()}, -1, -1);
  const auto end = std::chrono::steady_clock::now() + 60s;
  while (!HasKind("Zelbo", "form") && !HasKind("Zelbo", "box")) {
    if (std::chrono::steady_clock::now() > end) {
      ADD_FAILURE() << "Zelbo32.exe shows no window";
      return;
    }
    std::this_thread::sleep_for(10ms);
  }
  AwaitOnScreen("Zelbo");
}

int WineDriver::WaitForExit() {
  const auto end = std::chrono::steady_clock::now() + 60s;
  int status = 0;
  while (::waitpid(program_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) return -1;
    std::this_thread::sleep_for(10ms);
  }
  program_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::pair<int, int> WineDriver::ClientSize() {
  const std::vector<std::string> rect = probe_.Ask({"client"});
  return {Number(rect, 2) - Number(rect, 0), Number(rect, 3) - Number(rect, 1)};
}

bool WineDriver::SetScreenDpi(int dpi) {
  probe_.Ask({"dpi", std::to_string(dpi)});
  return true;
}

bool WineDriver::SetDesktopFont(int points) {
  probe_.Ask({"font", std::to_string(points)});
  return true;
}

// state: TEXT ENABLED VISIBLE CHECKED INDEX POSITION L T R B
ControlState WineDriver::State(std::string_view control) {
  std::vector<std::string> request{"state", std::string(control)};
  if (frozen_) request.push_back("passive");
  const std::vector<std::string> fields = probe_.Ask(request);
  ControlState state;
  if (fields.size() < 6) return state;
  state.text = fields[0];
  state.enabled = fields[1] == "1";
  state.visible = fields[2] == "1";
  state.checked = fields[3] == "1";
  state.index = Number(fields, 4);
  state.position = Number(fields, 5);
  return state;
}

std::string WineDriver::FocusedControl() {
  const std::vector<std::string> fields = probe_.Ask({"focus"});
  return fields.empty() ? "" : fields[0];
}

std::string WineDriver::Tooltip() {
  const auto end = std::chrono::steady_clock::now() + 5s;
  for (;;) {
    const std::vector<std::string> fields = probe_.Ask({"tooltip"});
    if ((!fields.empty() && !fields[0].empty()) || std::chrono::steady_clock::now() > end) {
      return fields.empty() ? "" : fields[0];
    }
    std::this_thread::sleep_for(50ms);
  }
}

std::string WineDriver::Pointer() {
  const std::vector<std::string> fields = probe_.Ask({"pointer"});
  return fields.empty() ? "" : fields[0];
}

void WineDriver::ClickAt(const std::vector<std::string>& rect, std::size_t first) {
  const int x = (Number(rect, first) + Number(rect, first + 2)) / 2;
  const int y = (Number(rect, first + 1) + Number(rect, first + 3)) / 2;
  Xdo({"mousemove", std::to_string(x), std::to_string(y), "click", "1"});
}

void WineDriver::Click(std::string_view control) {
  std::vector<std::string> request{"state", std::string(control)};
  if (frozen_) request.push_back("passive");
  ClickAt(probe_.Ask(request), 6);
}

void WineDriver::TypeText(std::string_view text) {
  if (text.empty()) return;
  if (!Ascii(text)) ADD_FAILURE() << "the keyboard types ASCII only: " << text;
  Xdo({"type", "--delay", "3", "--", std::string(text)});
}

void WineDriver::Type(std::string_view control, std::string_view text) {
  Click(control);
  Xdo({"key", "End", "shift+Home", "BackSpace"});
  TypeText(text);
}

void WineDriver::Pick(std::string_view control, int index) {
  const int current = State(control).index;
  Click(control);  // drops the list down
  std::vector<std::string> keys{"key"};
  for (int i = current; i < index; ++i) keys.push_back("Down");
  for (int i = index; i < current; ++i) keys.push_back("Up");
  keys.push_back("Return");
  Xdo(keys);
}

void WineDriver::Hover(std::string_view control) {
  const std::vector<std::string> rect = probe_.Ask({"state", std::string(control)});
  const int x = Number(rect, 6) + 3;
  const int y = (Number(rect, 7) + Number(rect, 9)) / 2;
  Xdo({"mousemove", std::to_string(x), std::to_string(y)});
  Xdo({"mousemove", std::to_string(x + 1), std::to_string(y)});
}

void WineDriver::Key(std::string_view key) { Xdo({"key", std::string(key)}); }

void WineDriver::CloseWindow() { Xdo({"key", "alt+F4"}); }

bool WineDriver::HasKind(std::string_view title, std::string_view kind) {
  const std::vector<std::string> kinds = probe_.Ask({"kinds", std::string(title)});
  return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
}

bool WineDriver::BoxShown(std::string_view title) { return HasKind(title, "box"); }

bool WineDriver::DialogShown(std::string_view title) { return HasKind(title, "dialog"); }

// box: TEXT (BUTTON L T R B)...
BoxSeen WineDriver::ReadBox(std::string_view title) {
  const std::vector<std::string> fields = probe_.Ask({"box", std::string(title)});
  BoxSeen seen;
  if (fields.empty()) return seen;
  seen.text = fields[0];
  for (std::size_t i = 1; i + 4 < fields.size(); i += 5) seen.buttons.push_back(fields[i]);
  return seen;
}

void WineDriver::Press(std::string_view title, std::string_view button) {
  if (title != "*") AwaitOnScreen(title);
  const std::vector<std::string> fields = probe_.Ask({"box", std::string(title)});
  for (std::size_t i = 1; i + 4 < fields.size(); i += 5) {
    if (fields[i] == button) {
      ClickAt(fields, i + 1);
      return;
    }
  }
  ADD_FAILURE() << "no button " << button << " in " << title;
}

// dialog: FILENAME L T R B FILTER...
std::string WineDriver::DialogFileName(std::string_view title) {
  const std::vector<std::string> fields = probe_.Ask({"dialog", std::string(title)});
  return fields.empty() ? "" : fields[0];
}

std::vector<std::string> WineDriver::DialogFilters(std::string_view title) {
  const std::vector<std::string> fields = probe_.Ask({"dialog", std::string(title)});
  return fields.size() > 5 ? std::vector<std::string>(fields.begin() + 5, fields.end())
                           : std::vector<std::string>{};
}

// Into the file name as a user types it; what the keyboard cannot type is
// pasted.
void WineDriver::AnswerDialog(std::string_view title, std::string_view path) {
  AwaitOnScreen(title);
  const std::vector<std::string> fields = probe_.Ask({"dialog", std::string(title)});
  ClickAt(fields, 1);
  if (path.empty()) {
    Xdo({"key", "Escape"});
    return;
  }
  Xdo({"key", "End", "shift+Home", "BackSpace"});
  if (Ascii(path)) {
    TypeText(path);
  } else {
    probe_.Ask({"paste", std::string(title), std::string(path)});
  }
  Xdo({"key", "Return"});
}

void WineDriver::Freeze() {
  ::kill(program_, SIGSTOP);
  frozen_ = true;
}

void WineDriver::Thaw() {
  ::kill(program_, SIGCONT);
  frozen_ = false;
}

void WineDriver::Store(std::string_view name, const Stored& value) {
  const bool text = value.type == Stored::Type::kText;
  probe_.Ask({"settings", "set", std::string(name), text ? "text" : "number",
              text ? value.text : std::to_string(value.number)});
}

Stored WineDriver::Read(std::string_view name) {
  const std::vector<std::string> fields = probe_.Ask({"settings", "get", std::string(name)});
  if (fields.size() > 1 && fields[0] == "text") return StoredText(fields[1]);
  if (fields.size() > 1 && fields[0] == "number") return StoredNumber(std::stoi(fields[1]));
  if (!fields.empty() && fields[0] == "other") return {Stored::Type::kOther, {}, 0};
  return {};
}

void WineDriver::AskForFolder(std::string_view title, const fs::path& start) {
  folder_ = std::async(std::launch::async, [this, title = std::string(title), start = ProgramPath(start)] {
    testing::RunOptions bounded;
    bounded.command_prefix = {"timeout", "120"};  // a dialog left open fails the test, not CI
    std::string answer =
        testing::RunProgram("wine", {(bin_ / "zelbo_folder.exe").string(), title, start}, bounded)
            .output;
    while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
    return answer;
  });
}

std::string WineDriver::FolderChosen() { return folder_.get(); }

std::vector<std::vector<std::string>> WineDriver::JoinCommands(std::string_view base) {
  // "call" keeps cmd from taking the quotes off a name with '&' in it.
  return {{"/bin/sh", std::string(base) + ".sh"},
          {"wine", "cmd", "/c", "call", std::string(base) + ".bat"}};
}

std::unique_ptr<Driver> MakeDriver() { return std::make_unique<WineDriver>(); }

}  // namespace zelbo::desktop
