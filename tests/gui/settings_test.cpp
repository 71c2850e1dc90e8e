// The settings store over the per-user registry file: types, errors, the
// file's form, two writers at once, and files that cannot be understood.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gui/settings_store.h"
#include "platform/toolkit.h"
#include "temp_config.h"

namespace zelbo::gui {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const toolkit::Exception& error) {
    return error.what();
  }
  return "(no error)";
}

const std::string kKeyHeader = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\OVallen\\Zelbo]\n";

class SettingsStoreTest : public testing::TempConfigTest {
 protected:
  SettingsStore store_;
};

TEST_F(SettingsStoreTest, FirstOpenCreatesAnEmptyKey) {
  ASSERT_TRUE(store_.OpenSettingsKey(kSettingsKeyPath, true));
  EXPECT_FALSE(store_.SettingExists("Parts"));
  store_.CloseSettingsKey();
  EXPECT_EQ(ReadFile(SettingsFile()), kKeyHeader);
}

TEST_F(SettingsStoreTest, WithoutCreationAMissingKeyDoesNotOpen) {
  EXPECT_FALSE(store_.OpenSettingsKey(kSettingsKeyPath, false));
  EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
}

TEST_F(SettingsStoreTest, ValuesKeepTheirTypesInTheFile) {
  ASSERT_TRUE(store_.OpenSettingsKey(kSettingsKeyPath, true));
  store_.WriteSettingText("SourcePath", "/home/a \"b\"\\c/");
  store_.WriteSettingNumber("PartType", 10);
  store_.WriteSettingNumber("Minus", -1);
  store_.WriteSettingText("Parts", "line\nbreak");
  store_.WriteSettingText("Empty", "");
  store_.CloseSettingsKey();
  EXPECT_EQ(ReadFile(SettingsFile()),
            kKeyHeader +
                "\"SourcePath\"=\"/home/a \\\"b\\\"\\\\c/\"\n"
                "\"PartType\"=dword:0000000a\n"
                "\"Minus\"=dword:ffffffff\n"
                "\"Parts\"=hex(1):6c,69,6e,65,0a,62,72,65,61,6b,00\n"
                "\"Empty\"=\"\"\n");

  ASSERT_TRUE(store_.OpenSettingsKey(kSettingsKeyPath, true));
  EXPECT_EQ(store_.ReadSettingText("SourcePath"), "/home/a \"b\"\\c/");
  EXPECT_EQ(store_.ReadSettingText("sourcepath"), "/home/a \"b\"\\c/") << "names ignore case";
  EXPECT_EQ(store_.ReadSettingNumber("PartType"), 10);
  EXPECT_EQ(store_.ReadSettingNumber("Minus"), -1);
  EXPECT_EQ(store_.ReadSettingText("Parts"), "line\nbreak");
  EXPECT_EQ(store_.ReadSettingText("Empty"), "");
}

TEST_F(SettingsStoreTest, AWriteReplacesAValueOfAnotherType) {
  ASSERT_TRUE(store_.OpenSettingsKey(kSettingsKeyPath, true));
  store_.WriteSettingText("PartType", "text");
  store_.WriteSettingNumber("PartType", 3);
  EXPECT_EQ(store_.ReadSettingNumber("PartType"), 3);
  EXPECT_EQ(ReadFile(SettingsFile()), kKeyHeader + "\"PartType\"=dword:00000003\n");
}

TEST_F(SettingsStoreTest, WrongTypesAreTheDocumentedErrors) {
  WriteFile(SettingsFile(), kKeyHeader +
                                "\"Parts\"=\"1400\"\n"  // five bytes with its NUL
                                "\"Yes\"=\"Yes\"\n"     // four bytes
                                "\"Number\"=dword:00000002\n"
                                "\"Blob\"=hex:01,02\n"
                                "\"Nothing\"=hex:\n"
                                "\"Expand\"=hex(2):25,41,25,00\n");
  ASSERT_TRUE(store_.OpenSettingsKey(kSettingsKeyPath, true));
  EXPECT_EQ(ErrorOf([&] { store_.ReadSettingNumber("Parts"); }), "Failed to get data for 'Parts'");
  EXPECT_EQ(ErrorOf([&] { store_.ReadSettingNumber("Yes"); }), "Invalid data type for 'Yes'");
  EXPECT_EQ(ErrorOf([&] { store_.ReadSettingNumber("Missing"); }),
            "Failed to get data for 'Missing'");
  EXPECT_EQ(ErrorOf([&] { store_.ReadSettingText("Number"); }), "Invalid data type for 'Number'");
  EXPECT_EQ(ErrorOf([&] { store_.ReadSettingText("Blob"); }), "Invalid data type for 'Blob'");
  EXPECT_EQ(store_.ReadSettingText("Nothing"), "") << "a value of no bytes reads as empty";
  EXPECT_EQ(store_.ReadSettingText("Expand"), "%A%") << "taken without expansion";
  EXPECT_TRUE(store_.SettingExists("Blob"));
}

TEST_F(SettingsStoreTest, AFailedWriteIsReportedAndLeavesTheFileWhole) {
  ASSERT_TRUE(store_.OpenSettingsKey(kSettingsKeyPath, true));
  store_.WriteSettingText("Parts", "2");
  const std::string before = ReadFile(SettingsFile());
  // A file-size limit makes the write of the new file fail, whoever runs this.
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit old_limit{};
  getrlimit(RLIMIT_FSIZE, &old_limit);
  rlimit tiny = old_limit;
  tiny.rlim_cur = 8;
  setrlimit(RLIMIT_FSIZE, &tiny);
  std::vector<std::string> errors;  // of a text, then of a number
  for (const bool as_number : {false, true}) {
    try {
      as_number ? store_.WriteSettingNumber("Parts", 1400)
                : store_.WriteSettingText("Parts", "1400");
      errors.push_back("no error");
    } catch (const toolkit::Exception& failed) {
      errors.push_back(std::string(failed.what()) + " / " + failed.detail());
    }
  }
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  const std::string expected =
      "Failed to set data for 'Parts' / " + SettingsFile().string() + ": File too large";
  EXPECT_EQ(errors, std::vector<std::string>(2, expected)) << "where, and why";
  EXPECT_EQ(ReadFile(SettingsFile()), before);
  for (const auto& entry : std::filesystem::directory_iterator(SettingsFile().parent_path())) {
    EXPECT_EQ(entry.path().filename(), "Zelbo.reg") << "left behind: " << entry.path();
  }
}

TEST_F(SettingsStoreTest, AFileThatCannotBeUnderstoodIsNeverOverwritten) {
  const std::string broken[] = {
      "garbage",
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Other]\n",
      kKeyHeader + "\"Parts\"=dword:12\n",
      kKeyHeader + "\"Parts\"=\"unterminated\n",
      kKeyHeader + "Parts=\"2\"\n",
  };
  for (const std::string& text : broken) {
    SCOPED_TRACE(text);
    WriteFile(SettingsFile(), text);
    EXPECT_FALSE(store_.OpenSettingsKey(kSettingsKeyPath, true));
    EXPECT_EQ(ReadFile(SettingsFile()), text);
  }
  // A key opened before the file went bad refuses to write over it.
  WriteFile(SettingsFile(), kKeyHeader);
  ASSERT_TRUE(store_.OpenSettingsKey(kSettingsKeyPath, true));
  WriteFile(SettingsFile(), "garbage");
  EXPECT_EQ(ErrorOf([&] { store_.WriteSettingText("Parts", "2"); }),
            "Failed to set data for 'Parts'");
  EXPECT_EQ(ReadFile(SettingsFile()), "garbage");
  EXPECT_FALSE(store_.SettingExists("Parts"));
}

TEST_F(SettingsStoreTest, ForeignLineEndsAndCaseAreRead) {
  WriteFile(SettingsFile(),
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\OVallen\\Zelbo]\r\n"
            "\"PARTS\"=\"12\"\r\n\"PartType\"=dword:0000000A\r\n");
  ASSERT_TRUE(store_.OpenSettingsKey(kSettingsKeyPath, true));
  EXPECT_EQ(store_.ReadSettingText("Parts"), "12");
  EXPECT_EQ(store_.ReadSettingNumber("PartType"), 10);
}

// The name of a writer's i-th value.
std::string ValueName(int writer, int i) {
  return std::string("W").append(std::to_string(writer)).append("_").append(std::to_string(i));
}

// Two processes write different values at the same time, many times over;
// afterwards every value of both is there.
TEST_F(SettingsStoreTest, TwoWritersAtOnceLoseNothing) {
  constexpr int kWrites = 40;
  pid_t writers[2];
  for (int writer = 0; writer < 2; ++writer) {
    writers[writer] = fork();
    ASSERT_GE(writers[writer], 0);
    if (writers[writer] == 0) {
      SettingsStore store;
      bool ok = true;
      for (int i = 0; i < kWrites && ok; ++i) {
        ok = store.OpenSettingsKey(kSettingsKeyPath, true);
        try {
          if (ok) store.WriteSettingNumber(ValueName(writer, i), i);
        } catch (const toolkit::Exception&) {
          ok = false;
        }
        store.CloseSettingsKey();
      }
      _exit(ok ? 0 : 1);
    }
  }
  for (const pid_t pid : writers) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  ASSERT_TRUE(store_.OpenSettingsKey(kSettingsKeyPath, false));
  for (int writer = 0; writer < 2; ++writer) {
    for (int i = 0; i < kWrites; ++i) {
      EXPECT_EQ(store_.ReadSettingNumber(ValueName(writer, i)), i);
    }
  }
}

}  // namespace
}  // namespace zelbo::gui
