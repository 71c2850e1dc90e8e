// Splitting a file with one program and joining the parts with the script
// that another interpreter runs; what can go wrong in between, and what the
// scripts must do then: stop before deleting anything more, and join the
// file whole once the user has put things right.
#pragma once

#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/part_names.h"
#include "common/scripts.h"
#include "tests/e2e/console_e2e_test.h"

namespace zelbo::e2e {

// A build of the splitter and how to start it.
struct Splitter {
  std::string label;
  std::string program;
  std::vector<std::string> prefix;  // e.g. {"wine"}
};

// An interpreter that runs one of the written scripts.
struct Joiner {
  std::string label;
  std::string program;
  std::vector<std::string> prefix;             // e.g. {"wine"}
  std::vector<std::string> leading_arguments;  // before the script's name
  std::string script;                          // "unsplit.sh" or "unsplit.bat"
  std::string other_script;                    // the one left for the other system
  // The script's path as the interpreter is given it from another folder.
  std::function<std::string(const fs::path&)> path_of = [](const fs::path& path) {
    return path.string();
  };
};

struct RejoinCase {
  std::string label;
  std::string source_name;
  std::size_t size;
  std::string option;
};

// What goes wrong between the split and the join, and how the user puts it
// right before running the script again.
enum class Trouble {
  kStartedElsewhere,  // run by its path from a folder with a set of its own
  kMissingPart,       // part 3 was not copied; then it is
  kDamagedPart,       // part 2 lost its last byte on the way; then it is copied again
  kFullDisk,          // the parts fill a small disk; then the disk grows
  kSizeLimit,         // part 1 cannot grow past 90000 bytes; then it can
  kReadOnly,          // every file came off a CD (read-only), run as an ordinary user
  kInterrupted,       // an earlier run was killed halfway through appending part 2
  // Other bytes at the same sizes; then the parts are copied again.
  kSwappedParts,      // parts 1 and 2 (of equal size) change places
  kChangedByte,       // one byte of part 3 changed
  kForeignPart,       // part 2 comes from another set
  kLinkedParts,       // the folder holds links to the parts elsewhere; then part 1 is copied
  kLocked,            // another join holds the lock; then it is gone
  kUndeletable,       // part 2 cannot be deleted (a sticky folder); then it can
  kUnreadablePart,    // part 2 cannot be read, so one digest run for all parts fails; then it can
};

struct TroubleCase {
  std::string label;
  Trouble trouble;
  std::string stop_message;  // what the first join says as it stops; "" when it just works
  bool check_passes = true;  // the check-only run finds every part good
};

inline void PrintTo(const Splitter& splitter, std::ostream* out) { *out << splitter.label; }
inline void PrintTo(const Joiner& joiner, std::ostream* out) { *out << joiner.label; }
inline void PrintTo(const RejoinCase& rejoin, std::ostream* out) { *out << rejoin.label; }
inline void PrintTo(const TroubleCase& trouble, std::ostream* out) { *out << trouble.label; }

inline Splitter LinuxSplitter() { return {"linux", kProgram, {}}; }

// Three parts of 60000, 60000 and 30000 bytes: the set the troubles hit.
inline const RejoinCase kThreeParts{"three_parts", "big.iso", 150000, "-s60000"};

inline bool IsRoot() { return ::geteuid() == 0; }

// Root ignores file modes: the read-only cases run as nobody when the tests
// run as root, and as the user running them otherwise.
inline constexpr int kOrdinaryUser = 65534;
inline std::vector<std::string> AsOrdinaryUser() {
  if (!IsRoot()) return {};
  const std::string id = std::to_string(kOrdinaryUser);
  return {"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"};
}
inline void GiveToOrdinaryUser(const fs::path& path) {
  if (!IsRoot()) return;
  EXPECT_EQ(::lchown(path.c_str(), kOrdinaryUser, kOrdinaryUser), 0) << path;
  if (!fs::is_directory(path)) return;
  for (const auto& entry : fs::recursive_directory_iterator(path)) {
    EXPECT_EQ(::lchown(entry.path().c_str(), kOrdinaryUser, kOrdinaryUser), 0) << entry.path();
  }
}

// A tmpfs of a few KiB on a folder (mounting needs root), gone with the object.
class SmallDisk {
 public:
  SmallDisk(const fs::path& where, int kib) : where_(where) {
    mounted_ = ::mount("tmpfs", where.c_str(), "tmpfs", 0, Size(kib).c_str()) == 0;
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(where_.c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool mounted() const { return mounted_; }
  bool Grow(int kib) {
    return ::mount("tmpfs", where_.c_str(), "tmpfs", MS_REMOUNT, Size(kib).c_str()) == 0;
  }

 private:
  static std::string Size(int kib) { return "size=" + std::to_string(kib) + "k"; }
  fs::path where_;
  bool mounted_ = false;
};

// How one join is started.
struct JoinStart {
  fs::path folder{};           // the working folder; the parts' folder when empty
  std::string script{};        // the script as named to the interpreter; its own name when empty
  std::int64_t size_limit = -1;
  bool ordinary_user = false;
  std::vector<std::string> environment;  // NAME=value
};

class RejoinFixture {
 protected:
  // Splits a new source with `splitter` in the parts' folder and moves the
  // source away.
  void Split(const Splitter& splitter, const RejoinCase& rejoin) {
    original_ = testing::PatternBytes(rejoin.size, 7);
    testing::WriteFile(parts_ / rejoin.source_name, original_);
    testing::RunOptions in_parts;
    in_parts.working_directory = parts_.path();
    in_parts.command_prefix = splitter.prefix;
    // "./" keeps a name that starts with '-' from reading as an option.
    const auto split =
        testing::RunProgram(splitter.program, {"./" + rejoin.source_name, rejoin.option}, in_parts);
    EXPECT_EQ(split.exit_code, 0) << split.output;
    fs::rename(parts_ / rejoin.source_name, elsewhere_ / "original");
  }

  // With `check_only`, the script only checks (--check, /CHECK).
  testing::ProgramRun Join(const Joiner& joiner, const JoinStart& start = {}, bool check_only = false) {
    testing::RunOptions options;
    options.working_directory = start.folder.empty() ? parts_.path() : start.folder;
    options.file_size_limit = start.size_limit;
    options.command_prefix = start.ordinary_user ? AsOrdinaryUser() : std::vector<std::string>{};
    options.command_prefix.push_back("env");
    for (const std::vector<std::string>* words : {&start.environment, &joiner.prefix})
      options.command_prefix.insert(options.command_prefix.end(), words->begin(), words->end());
    std::vector<std::string> arguments = joiner.leading_arguments;
    arguments.push_back(start.script.empty() ? joiner.script : start.script);
    if (check_only) arguments.push_back(joiner.script.ends_with(".bat") ? "/CHECK" : "--check");
    testing::ProgramRun run = testing::RunProgram(joiner.program, arguments, options);
    // Under load, wine's launcher now and then fails before cmd starts: the script never ran.
    if (!run.output.starts_with("Application could not be started")) return run;
    return testing::RunProgram(joiner.program, arguments, options);
  }

  // Writes both scripts for the parts `base`.001... as the splitter does,
  // with each part's SHA-256.
  void WriteScripts(const std::string& base, const std::string& source) {
    ScriptInput input{ScriptVariant::kConsole, base, source, "unsplit", {}, {}};
    for (std::int32_t j = 1; fs::exists(parts_ / PartFileName(base, j)); ++j) {
      const fs::path part = parts_ / PartFileName(base, j);
      input.partSizes.push_back(static_cast<std::int64_t>(fs::file_size(part)));
      input.partDigests.push_back(testing::RunProgram("/usr/bin/sha256sum", {part.string()}).output.substr(0, 64));
    }
    testing::WriteFile(parts_ / "unsplit.sh", ShellScriptText(input));
    testing::WriteFile(parts_ / "unsplit.bat", DosBatchText(input));
  }

  // Splits, moves the source away (leaving a file in its place when
  // `destination_exists`), and joins.
  testing::ProgramRun SplitAndJoin(const Splitter& splitter, const Joiner& joiner,
                                   const RejoinCase& rejoin, bool destination_exists) {
    Split(splitter, rejoin);
    if (destination_exists) testing::WriteFile(parts_ / rejoin.source_name, "in the way");
    return Join(joiner);
  }

  // The join said it finished and the source is back, byte for byte, with
  // only the other system's script left beside it.
  void ExpectJoined(const testing::ProgramRun& joined, const RejoinCase& rejoin,
                    const Joiner& joiner) {
    EXPECT_EQ(joined.exit_code, 0) << joined.output;
    EXPECT_NE(joined.output.find("Finished!"), std::string::npos) << joined.output;
    ExpectRestored(rejoin, joiner);
  }

  void ExpectRestored(const RejoinCase& rejoin, const Joiner& joiner) {
    const auto compared = testing::RunProgram(
        "/usr/bin/cmp", {(parts_ / rejoin.source_name).string(), (elsewhere_ / "original").string()});
    EXPECT_EQ(compared.exit_code, 0) << compared.output;
    std::vector<std::string> expected = {rejoin.source_name, joiner.other_script};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(LeftInParts(), expected);
  }

  std::vector<std::string> LeftInParts() const { return testing::SortedNames(parts_.path()); }
  std::string Contents(const std::string& name) const {
    return fs::is_directory(parts_ / name) ? "(a folder)" : testing::ReadFile(parts_ / name);
  }

  // Part 1 past 4 GiB, as a sparse file so that the test writes almost
  // nothing, a part 2 of five bytes, and both scripts for them: sizes must
  // be read and compared in 64 bits.
  // With `appended`, part 1 also holds the start of part 2, as after a run
  // that was killed while appending it.
  static constexpr std::int64_t kLargeFirst = 5000000000;
  void MakeLargeFirstPart(const std::string& appended = "") {
    const ScriptInput input{ScriptVariant::kConsole, "big", "big.iso", "unsplit", {kLargeFirst, 5}, {}};
    testing::WriteFile(parts_ / "unsplit.sh", ShellScriptText(input));
    testing::WriteFile(parts_ / "unsplit.bat", DosBatchText(input));
    testing::WriteFile(parts_ / "big.001", "start");
    fs::resize_file(parts_ / "big.001", kLargeFirst);
    std::ofstream(parts_ / "big.001", std::ios::binary | std::ios::app) << appended;
    testing::WriteFile(parts_ / "big.002", "tail!");
  }
  // The join gave big.iso with both parts' bytes in their places.
  void ExpectLargeFirstPartJoined(const std::string& other_script) {
    ASSERT_EQ(fs::file_size(parts_ / "big.iso"), static_cast<std::uintmax_t>(kLargeFirst + 5));
    std::ifstream restored(parts_ / "big.iso", std::ios::binary);
    std::string ends(5, '\0');
    restored.read(ends.data(), 5);
    restored.seekg(kLargeFirst);
    std::string tail(5, '\0');
    restored.read(tail.data(), 5);
    EXPECT_EQ(ends + tail, "starttail!");
    EXPECT_EQ(LeftInParts(), (std::vector<std::string>{"big.iso", other_script}));
  }

  // Remembers every file of the parts' folder, for ExpectStopped.
  void TakeStock() {
    stock_.clear();
    for (const std::string& name : LeftInParts()) stock_[name] = Contents(name);
  }

  // The join stopped, said why, and changed nothing (ExpectUnchanged): part 1
  // (`first`) may only have grown by an append that stopped halfway.
  void ExpectStopped(const testing::ProgramRun& stopped, const std::string& message,
                     const std::string& first = "big.001", bool first_may_grow = false) {
    EXPECT_NE(stopped.exit_code, 0) << stopped.output;
    EXPECT_NE(stopped.output.find(message), std::string::npos) << stopped.output;
    EXPECT_NE(stopped.output.find("Nothing more was deleted"), std::string::npos) << stopped.output;
    EXPECT_EQ(stopped.output.find("Finished!"), std::string::npos) << stopped.output;
    ExpectUnchanged(first, first_may_grow);
  }

  // No file of the parts' folder went or came since TakeStock, and none
  // changed but `first`, which may have grown when `first_may_grow`.
  void ExpectUnchanged(const std::string& first = "big.001", bool first_may_grow = false) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : stock_) names.push_back(name);
    ASSERT_EQ(LeftInParts(), names);
    for (const auto& [name, bytes] : stock_) {
      const std::string now = Contents(name);
      if (name == first && first_may_grow) {
        EXPECT_EQ(now.substr(0, bytes.size()), bytes) << name;
      } else {
        EXPECT_TRUE(now == bytes) << name << " changed";
      }
    }
  }

  // Sets the trouble up after the split; says how to start the join then.
  JoinStart Prepare(Trouble trouble, const Joiner& joiner) {
    // Settings that change how ls and df print sizes, which the scripts
    // must not heed.
    JoinStart start{.environment = {"BLOCK_SIZE=human-readable", "LS_BLOCK_SIZE=1", "DF_BLOCK_SIZE=1",
                                    "POSIXLY_CORRECT=1", "TIME_STYLE=+%s"}};
    switch (trouble) {
      case Trouble::kStartedElsewhere:
        MakeDecoySet();
        start.folder = elsewhere_ / "decoy";
        start.script = joiner.path_of(parts_ / joiner.script);
        break;
      case Trouble::kMissingPart:
        fs::rename(parts_ / "big.003", elsewhere_ / "big.003");
        break;
      case Trouble::kDamagedPart:
        fs::copy_file(parts_ / "big.002", elsewhere_ / "big.002");
        fs::resize_file(parts_ / "big.002", 59999);
        break;
      case Trouble::kFullDisk:
        MoveOntoSmallDisk();
        break;
      case Trouble::kSizeLimit:
        start.size_limit = 90000;
        break;
      case Trouble::kReadOnly:
        for (const std::string& name : LeftInParts()) {
          fs::permissions(parts_ / name, fs::perms::owner_read | fs::perms::group_read |
                                             fs::perms::others_read |
                                             (name.ends_with(".sh") ? fs::perms::owner_exec
                                                                    : fs::perms::none));
        }
        GiveToOrdinaryUser(parts_.path());
        start.ordinary_user = true;
        break;
      case Trouble::kInterrupted:
        testing::WriteFile(parts_ / "big.001", testing::ReadFile(parts_ / "big.001") +
                                                   testing::ReadFile(parts_ / "big.002").substr(0, 1000));
        break;
      case Trouble::kSwappedParts:
        testing::WriteFile(parts_ / "big.001", original_.substr(60000, 60000));
        testing::WriteFile(parts_ / "big.002", original_.substr(0, 60000));
        break;
      case Trouble::kChangedByte:
        testing::WriteFile(parts_ / "big.003", original_.substr(120000).replace(100, 1, 1, static_cast<char>(original_[120100] ^ 1)));
        break;
      case Trouble::kForeignPart:
        testing::WriteFile(parts_ / "big.002", testing::PatternBytes(60000, 99));
        break;
      case Trouble::kLinkedParts:
        fs::create_directory(elsewhere_ / "stick");
        for (const std::string& name : LeftInParts()) {
          fs::rename(parts_ / name, elsewhere_ / "stick" / name);
          fs::create_symlink(elsewhere_ / "stick" / name, parts_ / name);
        }
        break;
      case Trouble::kLocked:
        fs::create_directory(parts_ / "big.lock");
        break;
      case Trouble::kUnreadablePart:
        fs::permissions(parts_ / "big.002", fs::perms::owner_read | fs::perms::owner_write);
        [[fallthrough]];
      case Trouble::kUndeletable:
        // Root's part in root's sticky folder: only root may delete it.
        for (const std::string& name : LeftInParts()) if (name != "big.002") GiveToOrdinaryUser(parts_ / name);
        fs::permissions(parts_.path(), fs::perms::all | fs::perms::sticky_bit);
        start.ordinary_user = true;
        break;
    }
    TakeStock();
    return start;
  }

  // Puts the trouble right, as the failure message told the user to.
  void Repair(Trouble trouble, JoinStart& start) {
    switch (trouble) {
      case Trouble::kMissingPart:
        fs::rename(elsewhere_ / "big.003", parts_ / "big.003");
        break;
      case Trouble::kDamagedPart:
        fs::remove(parts_ / "big.002");
        fs::copy_file(elsewhere_ / "big.002", parts_ / "big.002");
        break;
      case Trouble::kFullDisk:
        ASSERT_TRUE(disk_->Grow(400));
        break;
      case Trouble::kSizeLimit:
        start.size_limit = -1;
        break;
      case Trouble::kSwappedParts:
      case Trouble::kChangedByte:
      case Trouble::kForeignPart:
        for (int j = 0; j < 3; ++j) testing::WriteFile(parts_ / PartFileName("big", j + 1), original_.substr(j * 60000, 60000));
        break;
      case Trouble::kLinkedParts:
        fs::remove(parts_ / "big.001");
        fs::copy_file(elsewhere_ / "stick" / "big.001", parts_ / "big.001");
        break;
      case Trouble::kLocked:
        fs::remove(parts_ / "big.lock");
        break;
      case Trouble::kUndeletable:
      case Trouble::kUnreadablePart:
        GiveToOrdinaryUser(parts_ / "big.002");
        break;
      case Trouble::kStartedElsewhere:
      case Trouble::kReadOnly:
      case Trouble::kInterrupted:
        break;
    }
  }

  // What the user who started the join from another folder keeps there.
  void ExpectDecoySetUntouched() {
    const fs::path decoy = elsewhere_ / "decoy";
    EXPECT_EQ(testing::SortedNames(decoy),
              (std::vector<std::string>{"big.001", "big.002", "unsplit.bat", "unsplit.sh"}));
    for (const std::string& name : testing::SortedNames(decoy)) {
      EXPECT_EQ(testing::ReadFile(decoy / name), "decoy " + name);
    }
  }

  std::string original_;
  testing::TempDir parts_;
  testing::TempDir elsewhere_;
  std::map<std::string, std::string> stock_;
  std::optional<SmallDisk> disk_;  // unmounted before the folders go

 private:
  void MakeDecoySet() {
    fs::create_directory(elsewhere_ / "decoy");
    for (const char* name : {"big.001", "big.002", "unsplit.bat", "unsplit.sh"}) {
      testing::WriteFile(elsewhere_ / "decoy" / name, std::string("decoy ") + name);
    }
  }

  // 200 KiB hold the parts (38 pages) and the scripts, but not one part more.
  void MoveOntoSmallDisk() {
    const fs::path staging = elsewhere_ / "staging";
    fs::create_directory(staging);
    for (const std::string& name : LeftInParts()) fs::rename(parts_ / name, staging / name);
    disk_.emplace(parts_.path(), 200);
    ASSERT_TRUE(disk_->mounted()) << "mount tmpfs on " << parts_.path();
    for (const auto& entry : fs::directory_iterator(staging)) {
      fs::copy(entry.path(), parts_ / entry.path().filename(), fs::copy_options::copy_symlinks);
    }
  }
};

// One trouble, start to end: the first join either just works or stops as
// it should; once the trouble is put right the next join gives the file
// back whole.
class TroubleFixture : public RejoinFixture {
 protected:
  void SplitTroubleAndJoin(const Splitter& splitter, const Joiner& joiner,
                           const TroubleCase& trouble) {
    if ((trouble.trouble == Trouble::kFullDisk || trouble.trouble == Trouble::kUndeletable ||
         trouble.trouble == Trouble::kUnreadablePart) && !IsRoot()) {
      GTEST_SKIP() << "a small disk needs a tmpfs mount, and a part of another user root, which needs root";
    }
    Split(splitter, kThreeParts);
    WriteScripts("big", kThreeParts.source_name);
    JoinStart start = Prepare(trouble.trouble, joiner);
    if (::testing::Test::HasFatalFailure()) return;
    const auto checked = Join(joiner, start, true);
    EXPECT_EQ(checked.exit_code == 0, trouble.check_passes) << checked.output;
    ExpectUnchanged();
    auto joined = Join(joiner, start);
    if (!trouble.stop_message.empty()) {
      if (trouble.trouble == Trouble::kUndeletable) TakeStock();  // it stops after the append
      ExpectStopped(joined, trouble.stop_message);
      Repair(trouble.trouble, start);
      joined = Join(joiner, start);
    }
    ExpectJoined(joined, kThreeParts, joiner);
    if (trouble.trouble == Trouble::kStartedElsewhere) ExpectDecoySetUntouched();
  }
};

}  // namespace zelbo::e2e
