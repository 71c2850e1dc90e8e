// A fresh, empty per-user configuration folder for each test, so that no
// test sees another's settings or the user's own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace zelbo::testing {

class TempConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "zelbo-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    config_ = root_ / "config";
    std::filesystem::create_directory(config_);
    setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  // Where the settings key lives.
  std::filesystem::path SettingsFile() const { return config_ / "OVallen" / "Zelbo.reg"; }
  const std::filesystem::path& root() const { return root_; }

 private:
  std::filesystem::path root_;
  std::filesystem::path config_;
};

}  // namespace zelbo::testing
