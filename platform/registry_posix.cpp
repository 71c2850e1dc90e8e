// The per-user registry on POSIX systems: each key is one file in
// registry-export text, at ${XDG_CONFIG_HOME:-~/.config}/<path>.reg with the
// leading "Software" of the key path left out:
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Maker\Product]
//   "Name"="text"
//   "Count"=dword:0000000a
//
// Texts holding a control character are stored as hex(1): bytes, other
// types as hex: or hex(N): bytes, so that every value keeps its type.
// Writers serialise on an advisory lock beside the file, re-read the file
// under it and replace it by rename, so two running programs never lose
// each other's values and a crash never leaves half a file. The lock file
// is removed again by the writer that holds it.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "platform/registry.h"

namespace zelbo::platform {
namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kRoot = "HKEY_CURRENT_USER";

using Values = std::vector<std::pair<std::string, RegistryValue>>;

Error RegistryError(ErrorKind kind, const std::string& location, std::string call,
                    std::string text) {
  return Error{kind, location, std::move(call), std::move(text)};
}

Error SystemError(ErrorKind kind, const std::string& location, std::string call) {
  return RegistryError(kind, location, std::move(call), std::strerror(errno));
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::vector<std::string> KeyComponents(std::string_view path) {
  std::vector<std::string> components;
  std::string component;
  for (const char c : std::string(path) + "\\") {
    if (c != '\\') {
      component.push_back(c);
    } else if (!component.empty()) {
      components.push_back(std::move(component));
      component.clear();
    }
  }
  return components;
}

std::string ConfigHome() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return config;
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.config";
}

bool UsableComponent(const std::string& component) {
  return component != "." && component != ".." &&
         component.find('/') == std::string::npos;
}

// The folders to create and the file that holds the key.
struct KeyPlace {
  std::vector<std::string> folders;  // from the outermost
  std::string file;
};

Result<KeyPlace> PlaceOf(std::string_view path) {
  std::vector<std::string> components = KeyComponents(path);
  if (!components.empty() && SameName(components.front(), "Software")) {
    components.erase(components.begin());
  }
  for (const std::string& component : components) {
    if (!UsableComponent(component)) {
      return RegistryError(ErrorKind::kOpen, std::string(path), "open", "unusable key name");
    }
  }
  if (components.empty()) {
    return RegistryError(ErrorKind::kOpen, std::string(path), "open", "empty key path");
  }
  KeyPlace place;
  std::string folder = ConfigHome();
  place.folders.push_back(folder);
  for (std::size_t i = 0; i + 1 < components.size(); ++i) {
    folder += "/" + components[i];
    place.folders.push_back(folder);
  }
  place.file = folder + "/" + components.back() + ".reg";
  return place;
}

std::string SectionLine(std::string_view path) {
  std::string line = "[" + std::string(kRoot);
  for (const std::string& component : KeyComponents(path)) line += "\\" + component;
  return line + "]";
}

// ---- Text form ----

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out + "\"";
}

std::string HexBytes(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (i != 0) out.push_back(',');
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 15]);
  }
  return out;
}

bool PlainText(std::string_view data) {
  if (data.empty() || data.back() != '\0') return false;
  data.remove_suffix(1);
  for (const char c : data) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) return false;
  }
  return true;
}

std::string ValueText(const RegistryValue& value) {
  switch (value.type) {
    case RegistryType::kText:
      if (PlainText(value.data)) {
        return Quoted(std::string_view(value.data).substr(0, value.data.size() - 1));
      }
      return "hex(1):" + HexBytes(value.data);
    case RegistryType::kExpandedText:
      return "hex(2):" + HexBytes(value.data);
    case RegistryType::kNumber:
      if (value.data.size() == 4) {
        std::uint32_t number = 0;
        for (int i = 3; i >= 0; --i) {
          number = number << 8 | static_cast<unsigned char>(value.data[i]);
        }
        char digits[9];
        std::snprintf(digits, sizeof digits, "%08x", number);
        return std::string("dword:") + digits;
      }
      return "hex(4):" + HexBytes(value.data);
    case RegistryType::kOther:
      break;
  }
  return "hex:" + HexBytes(value.data);
}

std::string KeyText(std::string_view path, const Values& values) {
  std::string text = std::string(kHeader) + "\n\n" + SectionLine(path) + "\n";
  for (const auto& [name, value] : values) {
    text += Quoted(name) + "=" + ValueText(value) + "\n";
  }
  return text;
}

// Reads a quoted text at the start of `line`, removing it from `line`.
std::optional<std::string> TakeQuoted(std::string_view& line) {
  if (line.empty() || line.front() != '"') return std::nullopt;
  std::string text;
  for (std::size_t i = 1; i < line.size(); ++i) {
    char c = line[i];
    if (c == '"') {
      line.remove_prefix(i + 1);
      return text;
    }
    if (c == '\\') {
      if (++i == line.size()) return std::nullopt;
      c = line[i];
    }
    text.push_back(c);
  }
  return std::nullopt;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::string> ParseHexBytes(std::string_view text) {
  std::string bytes;
  while (!text.empty()) {
    if (text.size() < 2 || HexDigit(text[0]) < 0 || HexDigit(text[1]) < 0) return std::nullopt;
    bytes.push_back(static_cast<char>(HexDigit(text[0]) * 16 + HexDigit(text[1])));
    text.remove_prefix(2);
    if (!text.empty()) {
      if (text.front() != ',' || text.size() == 1) return std::nullopt;
      text.remove_prefix(1);
    }
  }
  return bytes;
}

std::optional<RegistryValue> ParseDword(std::string_view digits) {
  if (digits.size() != 8) return std::nullopt;
  RegistryValue value{RegistryType::kNumber, std::string(4, '\0')};
  for (int i = 0; i < 4; ++i) {
    const int high = HexDigit(digits[6 - 2 * i]);
    const int low = HexDigit(digits[7 - 2 * i]);
    if (high < 0 || low < 0) return std::nullopt;
    value.data[i] = static_cast<char>(high * 16 + low);
  }
  return value;
}

RegistryType HexType(std::string_view tag) {
  if (tag == "hex(1)") return RegistryType::kText;
  if (tag == "hex(2)") return RegistryType::kExpandedText;
  if (tag == "hex(4)") return RegistryType::kNumber;
  return RegistryType::kOther;
}

std::optional<RegistryValue> ParseValue(std::string_view text) {
  if (!text.empty() && text.front() == '"') {
    auto quoted = TakeQuoted(text);
    if (!quoted || !text.empty()) return std::nullopt;
    return RegistryValue{RegistryType::kText, *quoted + '\0'};
  }
  if (text.starts_with("dword:")) return ParseDword(text.substr(6));
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || !text.starts_with("hex")) return std::nullopt;
  auto bytes = ParseHexBytes(text.substr(colon + 1));
  if (!bytes) return std::nullopt;
  return RegistryValue{HexType(text.substr(0, colon)), std::move(*bytes)};
}

std::optional<Values> ParseKeyText(std::string_view path, const std::string& text) {
  std::istringstream lines(text);
  std::string line;
  int stage = 0;  // 0: header, 1: section, 2: values
  Values values;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (stage == 0) {
      if (line != kHeader) return std::nullopt;
    } else if (stage == 1) {
      if (!SameName(line, SectionLine(path))) return std::nullopt;
    } else {
      std::string_view rest(line);
      auto name = TakeQuoted(rest);
      if (!name || rest.empty() || rest.front() != '=') return std::nullopt;
      auto value = ParseValue(rest.substr(1));
      if (!value) return std::nullopt;
      values.emplace_back(std::move(*name), std::move(*value));
    }
    stage = std::min(stage + 1, 2);
  }
  if (stage < 2) return std::nullopt;
  return values;
}

// ---- Files ----

Result<std::string> ReadWhole(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return SystemError(ErrorKind::kOpen, file, "open");
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return SystemError(ErrorKind::kRead, file, "read");
  return text.str();
}

Result<Values> LoadKey(std::string_view path, const std::string& file) {
  auto text = ReadWhole(file);
  if (!text.ok()) return text.error();
  auto values = ParseKeyText(path, text.value());
  if (!values) return RegistryError(ErrorKind::kRead, file, "parse", "not a registry key file");
  return std::move(*values);
}

Status WriteAll(int fd, std::string_view text, const std::string& file) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return SystemError(ErrorKind::kWrite, file, "write");
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return {};
}

// Writes `text` to a temporary file beside `file` and renames it over it.
// Failures name `file`: the temporary one is no name a user knows.
Status ReplaceFile(const std::string& file, std::string_view text) {
  std::string temporary = file + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return SystemError(ErrorKind::kCreate, file, "mkstemp");
  Status status = WriteAll(fd, text, file);
  if (status.ok() && ::fsync(fd) != 0) status = SystemError(ErrorKind::kWrite, file, "fsync");
  if (::close(fd) != 0 && status.ok()) status = SystemError(ErrorKind::kClose, file, "close");
  if (status.ok() && ::rename(temporary.c_str(), file.c_str()) != 0) {
    status = SystemError(ErrorKind::kWrite, file, "rename");
  }
  if (!status.ok()) ::unlink(temporary.c_str());
  return status;
}

// Holds the advisory lock that serialises the writers of one key, on a
// lock file beside it that the holder removes before it lets go. A writer
// that got the lock of a file removed meanwhile takes the new one.
class WriterLock {
 public:
  explicit WriterLock(const std::string& file) : path_(file + ".lock") {
    for (;;) {
      fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
      if (fd_ < 0) return;
      if (::flock(fd_, LOCK_EX) != 0) {
        ::close(fd_);
        fd_ = -1;
        return;
      }
      struct stat held {}, named {};
      if (::fstat(fd_, &held) == 0 && ::stat(path_.c_str(), &named) == 0 &&
          held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
        return;
      }
      ::close(fd_);
    }
  }
  ~WriterLock() {
    if (fd_ < 0) return;
    ::unlink(path_.c_str());
    ::close(fd_);  // releases the lock
  }
  WriterLock(const WriterLock&) = delete;
  WriterLock& operator=(const WriterLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  std::string path_;
  int fd_ = -1;
};

Status CreateFolders(const KeyPlace& place) {
  for (const std::string& folder : place.folders) {
    if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
      return SystemError(ErrorKind::kCreate, folder, "mkdir");
    }
  }
  return {};
}

Status CreateKeyFile(std::string_view path, const std::string& file) {
  WriterLock lock(file);
  if (!lock.held()) return SystemError(ErrorKind::kCreate, file, "flock");
  if (::access(file.c_str(), F_OK) == 0) return {};  // another writer was first
  return ReplaceFile(file, KeyText(path, {}));
}

}  // namespace

Result<RegistryKey> RegistryKey::Open(std::string_view path, bool may_create) {
  auto place = PlaceOf(path);
  if (!place.ok()) return place.error();
  const std::string& file = place.value().file;
  if (may_create && ::access(file.c_str(), F_OK) != 0) {
    if (Status made = CreateFolders(place.value()); !made.ok()) return made.error();
    if (Status made = CreateKeyFile(path, file); !made.ok()) return made.error();
  }
  auto values = LoadKey(path, file);
  if (!values.ok()) return values.error();
  return RegistryKey(std::string(path), file, 0);
}

RegistryKey::RegistryKey(RegistryKey&& other) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept = default;
RegistryKey::~RegistryKey() = default;

Result<std::optional<RegistryValue>> RegistryKey::Query(std::string_view name) const {
  auto values = LoadKey(path_, location_);
  if (!values.ok()) return values.error();
  for (auto& [stored_name, value] : values.value()) {
    if (SameName(stored_name, name)) return std::optional<RegistryValue>(std::move(value));
  }
  return std::optional<RegistryValue>();
}

Status RegistryKey::SetText(std::string_view name, std::string_view text) {
  return Set(name, RegistryValue{RegistryType::kText, std::string(text) + '\0'});
}

Status RegistryKey::SetNumber(std::string_view name, std::int32_t number) {
  const auto bits = static_cast<std::uint32_t>(number);
  std::string data(4, '\0');
  for (int i = 0; i < 4; ++i) data[i] = static_cast<char>((bits >> (8 * i)) & 0xff);
  return Set(name, RegistryValue{RegistryType::kNumber, std::move(data)});
}

Status RegistryKey::Set(std::string_view name, RegistryValue value) {
  WriterLock lock(location_);
  if (!lock.held()) return SystemError(ErrorKind::kWrite, location_, "flock");
  Values values;
  if (::access(location_.c_str(), F_OK) == 0) {
    auto loaded = LoadKey(path_, location_);
    if (!loaded.ok()) return loaded.error();  // never overwrite what we can't read
    values = std::move(loaded.value());
  }
  bool replaced = false;
  for (auto& [stored_name, stored] : values) {
    if (SameName(stored_name, name)) {
      stored_name = name;
      stored = value;
      replaced = true;
    }
  }
  if (!replaced) values.emplace_back(std::string(name), std::move(value));
  return ReplaceFile(location_, KeyText(path_, values));
}

}  // namespace zelbo::platform
