#include "config/profile_file.h"

#include <gtest/gtest.h>

#include <optional>

#include "../support/decimal_comma_locale.h"
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

// Files use "." whatever the locale; strtod in a decimal-comma locale refused "1.5" (so the key
// took its default) and read "1,5" as 1.5.
TEST_F(ProfileFileTest, NumbersReadTheSameInADecimalCommaLocale) {
  WriteAll(dir_ / "n.ini",
           "[N]\nhalf=1.5\nneg=-2e3\nplus=+0.25\ncomma=1,5\nint=+42\nbig=99999999999999999999\n"
           "lead=12abc\n");
  tarvel::testing::TDecimalCommaLocale locale;
  if (!locale.active()) GTEST_SKIP() << "no decimal-comma locale on this machine";
  const ProfileFile file(dir_ / "n.ini");
  const struct {
    const char* key;
    std::optional<double> real;  // nothing: refused as not a number
  } reals[] = {
      {"half", 1.5}, {"neg", -2000.0}, {"plus", 0.25}, {"comma", std::nullopt}, {"missing", 7.0}};
  for (const auto& c : reals) {
    SCOPED_TRACE(c.key);
    const auto v = file.GetDouble("N", c.key, 7.0);
    ASSERT_EQ(v.ok(), c.real.has_value()) << v.status().message();
    if (v.ok()) {
      EXPECT_EQ(*v, *c.real);
    }
  }
  EXPECT_EQ(*file.GetInt("N", "int", 0), 42);
  EXPECT_FALSE(file.GetInt("N", "big", 0).ok());
  EXPECT_FALSE(file.GetInt("N", "half", 0).ok());
  EXPECT_EQ(file.GetProfileInt("N", "lead", 0), 12);
  EXPECT_EQ(file.GetProfileInt("N", "comma", 0), 1);
}

}  // namespace
}  // namespace tarvel::config
