#include "model/fib_sys_info.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace tarvel::model {
namespace {

namespace fs = std::filesystem;

const char* const kVariables[] = {"OrvoExecPath", "OrvoDataPath", "PadoExecPath", "PadoDataPath"};

// An installation tree <tmp>/ORVO/{Exec,Exe,Data} in its own temporary folder.
class TFIBSysInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/fibsysinfo-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    tmp_ = tmpl;
    root_ = tmp_ / "ORVO";
    for (const char* d : {"Exec", "Exe", "Data", "OtherData", "Bin/Sub"}) {
      fs::create_directories(root_ / d);
    }
    setenv("TARVEL_ORVO_ROOT", root_.c_str(), 1);
    for (const char* v : kVariables) unsetenv(v);
  }
  void TearDown() override {
    for (const char* v : kVariables) unsetenv(v);
    std::error_code ec;
    fs::remove_all(tmp_, ec);
  }
  fs::path tmp_;
  fs::path root_;
};

TEST_F(TFIBSysInfoTest, DefaultsFromTheProgramFolder) {
  for (auto [type, exec] : {std::pair{1, "Exec"}, std::pair{2, "Exe"}, std::pair{0, "Exec"}}) {
    SCOPED_TRACE(type);
    auto info = TFIBSysInfo::CreateFrom(type, root_ / "Exec");
    ASSERT_TRUE(info.ok()) << info.status().message();
    EXPECT_EQ(info->GetDataDir(), (root_ / "Data").string());
    EXPECT_EQ(info->GetExecDir(), (root_ / exec).string());
  }
  // A trailing separator names the same folder.
  auto info = TFIBSysInfo::CreateFrom(1, (root_ / "Exec").string() + "/");
  ASSERT_TRUE(info.ok());
  EXPECT_EQ(info->GetDataDir(), (root_ / "Data").string());
}

TEST_F(TFIBSysInfoTest, VariablesOfTheMachineLineOverride) {
  const struct {
    const char* name;
    int type;
    const char* execValue;
    const char* dataValue;
    fs::path wantExec;
    fs::path wantData;
  } cases[] = {
      {"absolute ORVO values", 1, nullptr, nullptr, root_ / "Exec", root_ / "Data"},
      {"relative exec, relative data from exec", 1, "Bin/Sub", "../../OtherData", root_ / "Bin/Sub",
       root_ / "OtherData"},
      {"relative data from the root", 1, "", "OtherData", root_ / "Exec", root_ / "OtherData"},
      {"Windows spelling of the fixed folder", 1, "C:\\ORVO\\Bin\\Sub", "C:\\ORVO\\OtherData\\",
       root_ / "Bin/Sub", root_ / "OtherData"},
      {"case-insensitive folder", 1, nullptr, "otherdata", root_ / "Exec", root_ / "OtherData"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* v : kVariables) unsetenv(v);
    if (c.execValue) setenv("OrvoExecPath", c.execValue, 1);
    if (c.dataValue) setenv("OrvoDataPath", c.dataValue, 1);
    auto info = TFIBSysInfo::CreateFrom(c.type, root_ / "Exec");
    ASSERT_TRUE(info.ok()) << info.status().message();
    EXPECT_EQ(info->GetExecDir(), c.wantExec.string());
    EXPECT_EQ(info->GetDataDir(), c.wantData.string());
  }

  // The other line's variables are not looked at.
  for (const char* v : kVariables) unsetenv(v);
  setenv("PadoDataPath", (root_ / "OtherData").c_str(), 1);
  auto orvo = TFIBSysInfo::CreateFrom(1, root_ / "Exec");
  ASSERT_TRUE(orvo.ok());
  EXPECT_EQ(orvo->GetDataDir(), (root_ / "Data").string());
  auto pado = TFIBSysInfo::CreateFrom(2, root_ / "Exec");
  ASSERT_TRUE(pado.ok());
  EXPECT_EQ(pado->GetDataDir(), (root_ / "OtherData").string());
}

TEST_F(TFIBSysInfoTest, LongValueIsNotCut) {
  fs::path deep = root_;
  while (deep.string().size() < 400) deep /= "a-rather-long-folder-name";
  fs::create_directories(deep);
  setenv("OrvoDataPath", deep.c_str(), 1);
  auto info = TFIBSysInfo::CreateFrom(1, root_ / "Exec");
  ASSERT_TRUE(info.ok()) << info.status().message();
  EXPECT_EQ(info->GetDataDir(), deep.string());
}

TEST_F(TFIBSysInfoTest, MissingFolderIsReportedAndCurrentDirectoryKept) {
  const fs::path before = fs::current_path();
  ASSERT_EQ(chdir((root_ / "Exec").c_str()), 0);
  setenv("OrvoExecPath", "NoSuchDir", 1);
  auto info = TFIBSysInfo::Create(1);
  ASSERT_FALSE(info.ok());
  EXPECT_NE(info.status().message().find("OrvoExecPath"), std::string::npos);
  EXPECT_NE(info.status().message().find("NoSuchDir"), std::string::npos);
  EXPECT_EQ(fs::current_path(), root_ / "Exec");

  unsetenv("OrvoExecPath");
  auto ok = TFIBSysInfo::Create(1);
  ASSERT_TRUE(ok.ok());
  EXPECT_EQ(ok->GetDataDir(), (root_ / "Data").string());
  EXPECT_EQ(fs::current_path(), root_ / "Exec");
  ASSERT_EQ(chdir(before.c_str()), 0);
}

}  // namespace
}  // namespace tarvel::model
