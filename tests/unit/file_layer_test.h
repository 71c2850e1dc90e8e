// A source file and the checks that every platform's file layer must pass.
#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/file.h"
#include "tests/support/files.h"

namespace zelbo::platform {

class FileLayer : public ::testing::Test {
 protected:
  void SetUp() override { testing::WriteFile(source_path_, "precious source bytes"); }

  InputFile OpenSource() {
    auto source = InputFile::Open(source_path_.string());
    EXPECT_TRUE(source.ok());
    return std::move(source.value());
  }

  // An output at `output` is refused as the source, which stays whole.
  void ExpectRefused(const std::filesystem::path& output) {
    InputFile source = OpenSource();
    auto created = OutputFile::Create(output.string(), &source.identity());
    ASSERT_FALSE(created.ok()) << output;
    EXPECT_EQ(created.error().kind, ErrorKind::kSameAsSource) << created.error().Describe();
    EXPECT_EQ(testing::ReadFile(source_path_), "precious source bytes");
  }

  // Writes `bytes` into a new output at `path` and closes it.
  void CreateWith(const std::filesystem::path& path, const std::string& bytes,
                  const FileIdentity* protect = nullptr) {
    auto part = OutputFile::Create(path.string(), protect);
    ASSERT_TRUE(part.ok()) << part.error().Describe();
    ASSERT_TRUE(part.value().Write(bytes).ok());
    ASSERT_TRUE(part.value().Close().ok());
    EXPECT_EQ(testing::ReadFile(path), bytes);
  }

  testing::TempDir dir_;
  std::filesystem::path source_path_ = dir_ / "big.iso";
};

}  // namespace zelbo::platform
