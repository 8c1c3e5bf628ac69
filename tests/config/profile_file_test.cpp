#include "config/profile_file.h"

#include <gtest/gtest.h>

#include "../support/temp_dir.h"

namespace tarvel::config {
namespace {

using ProfileFileTest = tarvel::testing::TempDirTest;

TEST_F(ProfileFileTest, SectionsAndKeysMatchWithoutCase) {
  WriteAll(dir_ / "a.ini", "; note\n[Stage]\nAxis-X = Yes \n[Other]\nk=1\n");
  ProfileFile file(dir_ / "a.ini");
  EXPECT_EQ(file.GetString("STAGE", "AXIS-X", "none"), "Yes");
  EXPECT_EQ(file.GetString("stage", "axis-x", "none"), "Yes");

  // Writing under another spelling changes the existing key, not a second copy of it.
  ASSERT_TRUE(file.WriteString("STAGE", "AXIS-X", "No").ok());
  const std::string text = ReadAll(dir_ / "a.ini");
  EXPECT_EQ(text.find("AXIS-X"), std::string::npos) << text;
  EXPECT_NE(text.find("; note"), std::string::npos);
  EXPECT_EQ(file.GetString("Stage", "Axis-X", "none"), "No");
  EXPECT_EQ(file.GetString("other", "K", "none"), "1");
}

TEST_F(ProfileFileTest, AFolderInPlaceOfTheFileIsAnErrorNotACrash) {
  std::filesystem::create_directories(dir_ / "b.ini");
  ProfileFile file(dir_ / "b.ini");
  EXPECT_FALSE(file.exists());
  EXPECT_EQ(file.GetString("S", "k", "def"), "def");
  EXPECT_EQ(file.WriteString("S", "k", "v").code(), base::Status::Code::kIOError);
  EXPECT_TRUE(std::filesystem::is_directory(dir_ / "b.ini"));
}

}  // namespace
}  // namespace tarvel::config
