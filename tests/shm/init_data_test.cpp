// LoadInitData, SaveTrackBall and SetCLType of the monitor record over "ORVOInitData.INI".
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "config/profile_file.h"
#include "shm/monit_data.h"
#include "test_support.h"

namespace tarvel::shm {
namespace {

using namespace test;

class InitDataTest : public ShmTest {
 protected:
  void SetUp() override {
    ShmTest::SetUp();
    root_ = std::make_unique<OrvoRoot>();
    rec_ = std::make_unique<TOrvoMonitData>(true, Options(&log_));
  }
  void TearDown() override {
    rec_.reset();
    root_.reset();
    ShmTest::TearDown();
  }
  void WriteIni(const std::string& text, const std::string& name = "ORVOInitData.INI") {
    std::ofstream f(root_->data() / name, std::ios::binary);
    f << text;
  }
  std::filesystem::path Ini() const { return root_->data() / "ORVOInitData.INI"; }
  std::string Dir() const { return root_->data().string(); }

  std::unique_ptr<OrvoRoot> root_;
  std::vector<std::string> log_;
  std::unique_ptr<TOrvoMonitData> rec_;
};

TEST_F(InitDataTest, MissingFileLoadsDefaultsAndWritesTheTrackBallSectionsBack) {
  const std::int32_t clType = 3;
  PokeRaw(kMonitorRecord, 3224, &clType, 4);
  ASSERT_TRUE(rec_->LoadInitData(Dir()).ok());
  const auto b = RawBytes(kMonitorRecord);
  const std::int32_t defaults[16] = {4000, 4000, 4000, 0,    205000, 1, 100, 0,
                                     0,    0,    0,    9000, 1,      0, 0,   100};
  for (int i = 0; i < 16; ++i) {
    if (i == 7 || i == 8) continue;
    EXPECT_EQ(At<std::int32_t>(b, 232 + 4 * i), defaults[i]) << i;
    EXPECT_EQ(At<std::int32_t>(b, 316 + 4 * i), defaults[i]) << i;
  }
  EXPECT_EQ(At<std::int32_t>(b, 3224), 3);  // no CL_TYPE key: unchanged
  const config::ProfileFile ini(Ini());
  ASSERT_TRUE(ini.exists());
  EXPECT_EQ(ini.ReadSection("TRACK-BALL-X").size(), 14u);
  EXPECT_EQ(ini.ReadSection("TRACK-BALL-Y").size(), 14u);
  EXPECT_EQ(ini.GetString("TRACK-BALL-X", "UP", ""), "205000");
  EXPECT_EQ(ini.GetString("TRACK-BALL-Y", "K3", ""), "9000");
  EXPECT_EQ(ini.GetString("TRACK-BALL-Y", "LASH", ""), "100");
}

TEST_F(InitDataTest, ValuesAreMapped) {
  WriteIni(
      "[POWER]\r\nION_GUN_CONTROLLER=NONE\r\nion_analog_unit=AUTO\r\nCL=MANUAL\r\nPMT=auto\r\nE-"
      "GUN=AUTO\r\nOTHER=AUTO\r\n"
      "[STAGE]\r\nA_POSITION_X=1500\r\nEU_OFFSET=1500\r\nTILT_DIREC=RIGHT\r\nZ_SAFETY_FLAG="
      "ON\r\nROT_CENTER_Y=-250\r\n"
      "NOT_A_KEY=5\r\n"
      "[TRACK-BALL-X]\r\nSTARTS=1\r\nLASH=2\r\n"
      "[TRACK-BALL-Y]\r\nK=3\r\n"
      "[OPTICS]\r\nCL_TYPE=CL_TYPE_22_REV1\r\n");
  const std::int32_t sed = 2;
  PokeRaw(kMonitorRecord, 400 + 4 * 4, &sed, 4);  // SED is not in the file: kept
  ASSERT_TRUE(rec_->LoadInitData(Dir()).ok());
  const auto b = RawBytes(kMonitorRecord);
  EXPECT_EQ(At<std::int32_t>(b, 400), 0);  // NONE
  EXPECT_EQ(At<std::int32_t>(b, 404), 2);  // AUTO, key matched without case
  EXPECT_EQ(At<std::int32_t>(b, 408), 1);  // MANUAL
  EXPECT_EQ(At<std::int32_t>(b, 412), 0);  // "auto" is not "AUTO"
  EXPECT_EQ(At<std::int32_t>(b, 416), 2);  // kept
  EXPECT_EQ(At<std::int32_t>(b, 428), 2);  // E-GUN
  EXPECT_EQ(ExtAt(b, 70), 1.5);            // A_POSITION_X 1500 / 1000
  EXPECT_EQ(ExtAt(b, 50), 1500.0);         // EU_OFFSET as it is
  EXPECT_EQ(ExtAt(b, 60), 2.0);            // RIGHT
  EXPECT_EQ(ExtAt(b, 220), 1.0);           // ON
  EXPECT_EQ(ExtAt(b, 10), -0.25);
  EXPECT_EQ(At<std::int32_t>(b, 232), 1);
  EXPECT_EQ(At<std::int32_t>(b, 292), 2);
  EXPECT_EQ(At<std::int32_t>(b, 236), 4000);  // ACCEL default
  EXPECT_EQ(At<std::int32_t>(b, 316 + 24), 3);
  EXPECT_EQ(At<std::int32_t>(b, 3224), 2);
  // Neither track-ball section was empty: nothing is written back.
  EXPECT_EQ(config::ProfileFile(Ini()).ReadSection("TRACK-BALL-Y").size(), 1u);
}

TEST_F(InitDataTest, ClTypeNames) {
  const struct {
    const char* value;
    std::int32_t code;
  } cases[] = {{"CL_TYPE_98", 0},      {"CL_TYPE_22_REV0", 1}, {"CL_TYPE_22_REV2", 3},
               {"CL_TYPE_22_REV3", 4}, {"CL_TYP_22_REV1", 4},  {"", 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    WriteIni(std::string("[OPTICS]\r\nCL_TYPE=") + c.value +
             "\r\n[TRACK-BALL-X]\r\nK=1\r\n[TRACK-BALL-Y]\r\nK=1\r\n");
    ASSERT_TRUE(rec_->LoadInitData(Dir()).ok());
    EXPECT_EQ(*rec_->GetCLType(), c.code);
  }
}

TEST_F(InitDataTest, OneEmptyTrackBallSectionWritesBothBack) {
  WriteIni("[TRACK-BALL-X]\r\nSTARTS=7\r\n");
  ASSERT_TRUE(rec_->LoadInitData(Dir()).ok());
  const config::ProfileFile ini(Ini());
  EXPECT_EQ(ini.ReadSection("TRACK-BALL-X").size(), 14u);
  EXPECT_EQ(ini.ReadSection("TRACK-BALL-Y").size(), 14u);
  EXPECT_EQ(ini.GetString("TRACK-BALL-X", "STARTS", ""), "7");
  EXPECT_EQ(ini.GetString("TRACK-BALL-Y", "STARTS", ""), "4000");
}

// A bad value takes its key's default, is reported, and the rest still loads; the current
// directory never changes.
TEST_F(InitDataTest, BadValuesTakeTheirDefaults) {
  WriteIni(
      "[STAGE]\r\nROT_CENTER_X=12abc\r\nROT_CENTER_Y=2000\r\n"
      "[TRACK-BALL-X]\r\nUP=fast\r\nLOW=5\r\n[TRACK-BALL-Y]\r\nUP=99999999999\r\n"
      "[OPTICS]\r\nCL_TYPE=CL_TYPE_98\r\n",
      "orvoinitdata.ini");  // found whatever its case
  char before[4096];
  ASSERT_NE(::getcwd(before, sizeof before), nullptr);
  const base::Status st = rec_->LoadInitData(Dir());
  char after[4096];
  ASSERT_NE(::getcwd(after, sizeof after), nullptr);
  EXPECT_STREQ(before, after);
  EXPECT_EQ(st.code(), base::Status::Code::kInvalidArgument);
  EXPECT_NE(st.message().find("ROT_CENTER_X"), std::string::npos);
  EXPECT_NE(st.message().find("UP"), std::string::npos);
  const auto b = RawBytes(kMonitorRecord);
  EXPECT_EQ(ExtAt(b, 0), 0.0);
  EXPECT_EQ(ExtAt(b, 10), 2.0);
  EXPECT_EQ(At<std::int32_t>(b, 232 + 16), 205000);  // X UP default
  EXPECT_EQ(At<std::int32_t>(b, 232 + 12), 5);
  EXPECT_EQ(At<std::int32_t>(b, 316 + 16), 205000);  // Y UP out of 32-bit range: default
  EXPECT_EQ(At<std::int32_t>(b, 3224), 0);
  EXPECT_FALSE(log_.empty());
}

TEST_F(InitDataTest, SetTrackBallAndSetCLTypeSaveToTheFile) {
  WriteIni("[TRACK-BALL-X]\r\nK=1\r\n[TRACK-BALL-Y]\r\nK=2\r\n");
  ASSERT_TRUE(rec_->LoadInitData(Dir()).ok());
  ASSERT_TRUE(rec_->SetTrackBall(1, 9, 1234).ok());  // K1 of Y
  config::ProfileFile ini(Ini());
  EXPECT_EQ(ini.GetString("TRACK-BALL-Y", "K1", ""), "1234");
  EXPECT_EQ(ini.GetString("TRACK-BALL-X", "K1", ""), "0");
  EXPECT_EQ(At<std::int32_t>(RawBytes(kMonitorRecord), 316 + 36), 1234);
  // 7 and 8 are not used: the record is written, the file is not.
  ASSERT_TRUE(rec_->SetTrackBall(0, 7, 5).ok());
  EXPECT_EQ(ini.ReadSection("TRACK-BALL-X").size(), 2u);
  EXPECT_FALSE(rec_->SetTrackBall(0, 16, 5).ok());

  const struct {
    std::int32_t v;
    const char* name;
  } types[] = {{0, "CL_TYPE_98"},      {1, "CL_TYPE_22_REV0"}, {2, "CL_TYPE_22_REV1"},
               {3, "CL_TYPE_22_REV2"}, {4, "CL_TYPE_22_REV3"}, {9, "CL_TYPE_22_REV3"}};
  for (const auto& t : types) {
    ASSERT_TRUE(rec_->SetCLType(t.v).ok());
    EXPECT_EQ(ini.GetString("OPTICS", "CL_TYPE", ""), t.name);
    EXPECT_EQ(At<std::int32_t>(RawBytes(kMonitorRecord), 3224), t.v);
  }
}

TEST_F(InitDataTest, SavingBeforeAnyLoadIsReported) {
  EXPECT_EQ(rec_->SaveTrackBall(0).code(), base::Status::Code::kUnavailable);
  EXPECT_EQ(rec_->SaveTrackBall(7).code(), base::Status::Code::kOk);  // does nothing
}

TEST_F(InitDataTest, WindowsStylePathsAreMapped) {
  WriteIni("[STAGE]\r\nORI_FLAT=3000\r\n[TRACK-BALL-X]\r\nK=1\r\n[TRACK-BALL-Y]\r\nK=1\r\n");
  ASSERT_TRUE(rec_->LoadInitData("C:\\ORVO\\Data").ok());
  EXPECT_EQ(*rec_->GetStageConstant(3), 3.0);
}

}  // namespace
}  // namespace tarvel::shm
