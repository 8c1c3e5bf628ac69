#include "config/fib_system_ini.h"

#include <gtest/gtest.h>

#include <cmath>

#include "../support/temp_dir.h"
#include "config/profile_file.h"

namespace tarvel::config {
namespace {

class TFIBSystemINITest : public tarvel::testing::TempDirTest {
 protected:
  std::filesystem::path Data(const std::string& name = "Data") {
    std::filesystem::create_directories(dir_ / name);
    return dir_ / name;
  }
};

TEST_F(TFIBSystemINITest, MissingFileIsCreatedWithDefaultsAndReadBack) {
  TFIBSystemINI ini(Data().string());
  ASSERT_TRUE(ini.Load().ok());
  ASSERT_TRUE(std::filesystem::exists(Data() / "FIBSystem.INI"));

  ProfileFile file(Data() / "FIBSystem.INI");
  const struct {
    const char* section;
    const char* key;
    const char* value;
  } expected[] = {
      {"SYSTEM", "TYPE", "ORVO410"},      {"SYSTEM", "V1_CLOSE", "Enable"},
      {"SYSTEM", "SCAN", "VME"},          {"SYSTEM", "INV_FRAME", "12"},
      {"OPTICS", "TYPE", "IOS"},          {"OPTICS", "MAX_BEAMSHIFT", "20"},
      {"STAGE", "TYPE", "ORVO410"},       {"STAGE", "AXIS-NO", "7"},
      {"STAGE", "AXIS-X", "Yes"},         {"STAGE", "AXIS-AP-Y", "Yes"},
      {"STAGE", "AXIS-AP2-X", "No"},      {"STAGE", "AXIS-AP2-Y", "No"},
      {"VACUUM", "TYPE", "ORVO410"},      {"VACUUM", "SUB-CHAMBER", "Exist"},
      {"VACUUM", "TRANSFER", "Auto_Rod"}, {"VACUUM", "GAUGE1", "TYPE1"},
      {"VACUUM", "GAUGE3", "TYPE2"},      {"VACUUM", "GAUGE4", "TYPE3"},
      {"VACUUM", "GAUGE5", "TYPE2"},      {"SEM Type", "UseASEM", "0"},
      {"SEM Type", "2nd FIB", "0"},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(std::string(e.section) + " " + e.key);
    EXPECT_EQ(file.GetString(e.section, e.key, "<missing>"), e.value);
  }
  // Sections in the order they were written.
  const std::string text = ReadAll(Data() / "FIBSystem.INI");
  EXPECT_LT(text.find("[SYSTEM]"), text.find("[OPTICS]"));
  EXPECT_LT(text.find("[OPTICS]"), text.find("[STAGE]"));
  EXPECT_LT(text.find("[STAGE]"), text.find("[VACUUM]"));
  EXPECT_LT(text.find("AXIS-NO"), text.find("AXIS-X"));

  EXPECT_EQ(ini.SystemType(), 0);
  EXPECT_EQ(ini.InvFrame(), 12);
  EXPECT_EQ(ini.MaxBeamShift(), 20);
  EXPECT_EQ(ini.AxisNo(), 7);
  EXPECT_TRUE(ini.AxisEnabled(6));
  EXPECT_FALSE(ini.AxisEnabled(7));
  EXPECT_EQ(ini.VacuumType(), 0);
  EXPECT_EQ(ini.SubChamber(), 1);
  EXPECT_EQ(ini.Transfer(), 2);
  EXPECT_EQ(ini.GaugeType(3), 2);
  EXPECT_EQ(ini.GaugeName(4), "TYPE2");
  EXPECT_FALSE(ini.UseASEM());
}

TEST_F(TFIBSystemINITest, PadoDefaultFollowsTheFolderName) {
  const struct {
    const char* folder;
    const char* type;
    int index;
  } cases[] = {{"PADO", "PADO510", 4},
               {"MyPado", "PADO510", 4},
               {"padodata", "PADO510", 4},
               {"pAdO", "ORVO410", 0},
               {"Data", "ORVO410", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    TFIBSystemINI ini(Data(c.folder).string());
    ASSERT_TRUE(ini.Load().ok());
    EXPECT_EQ(ini.SystemTypeName(), c.type);
    EXPECT_EQ(ini.SystemType(), c.index);
    EXPECT_EQ(ProfileFile(Data(c.folder) / "FIBSystem.INI").GetString("SYSTEM", "TYPE", ""),
              c.type);
  }
}

TEST_F(TFIBSystemINITest, ValuesMapToTheirTables) {
  WriteAll(Data() / "FIBSystem.INI",
           "[SYSTEM]\nTYPE=PADO530\nSCAN=PC\nINV_FRAME= 15 \n"
           "[OPTICS]\nTYPE=IOS2\nMAX_BEAMSHIFT=-3\n"
           "[STAGE]\nTYPE=PADO_TYPE7(530)\nAXIS-NO=5\nAXIS-X=yes\nAXIS-AP2-Y=Yes\n"
           "[VACUUM]\nTYPE=None\nSUB-CHAMBER=none\nTRANSFER=Robot_Arm\nGAUGE3=TYPE9\n"
           "GAUGE5=TYPE5\n"
           "[SEM Type]\nUseASEM=1\n2nd FIB=abc\n");
  TFIBSystemINI ini(Data().string());
  ASSERT_TRUE(ini.Load().ok());
  EXPECT_EQ(ini.SystemType(), 5);
  EXPECT_EQ(ini.ScanType(), 1);
  EXPECT_EQ(ini.InvFrame(), 15);
  EXPECT_EQ(ini.OpticsType(), 1);
  EXPECT_EQ(ini.MaxBeamShift(), -3);
  EXPECT_EQ(ini.StageType(), 7);
  EXPECT_EQ(ini.AxisNo(), 5);
  EXPECT_FALSE(ini.AxisEnabled(0));  // "yes" is not "Yes"
  EXPECT_EQ(ini.AxisText(0), "yes");
  EXPECT_TRUE(ini.AxisEnabled(1));  // missing key: default Yes
  EXPECT_TRUE(ini.AxisEnabled(8));
  EXPECT_EQ(ini.VacuumType(), 2);
  EXPECT_EQ(ini.SubChamber(), 0);
  EXPECT_EQ(ini.SubChamberName(), "none");
  EXPECT_EQ(ini.Transfer(), 3);
  EXPECT_EQ(ini.GaugeType(2), 0);
  EXPECT_EQ(ini.GaugeName(2), "TYPE9");
  EXPECT_EQ(ini.GaugeType(4), 4);
  EXPECT_TRUE(ini.UseASEM());
  EXPECT_FALSE(ini.SecondFIB());
  // The existing file is not rewritten with defaults.
  EXPECT_EQ(ProfileFile(Data() / "FIBSystem.INI").GetString("SYSTEM", "V1_CLOSE", "<none>"),
            "<none>");

  const struct {
    const char* text;
    int index;
  } systemTypes[] = {{"PADO520", 6}, {"PADO-6", 11}, {"orvo420", 0}, {"K4_FIB", 8}};
  for (const auto& c : systemTypes) {
    SCOPED_TRACE(c.text);
    ASSERT_TRUE(ini.SetSystemType(c.text).ok());
    ASSERT_TRUE(ini.Load().ok());
    EXPECT_EQ(ini.SystemType(), c.index);
    EXPECT_EQ(ini.SystemTypeName(), c.text);
  }
}

TEST_F(TFIBSystemINITest, OutOfRangeQueriesAreHarmless) {
  TFIBSystemINI ini(Data().string());
  ASSERT_TRUE(ini.Load().ok());
  for (int i : {-1, 9, 1000}) {
    EXPECT_FALSE(ini.AxisEnabled(i));
    EXPECT_EQ(ini.AxisText(i), "");
  }
  for (int i : {-1, 5}) {
    EXPECT_EQ(ini.GaugeName(i), "");
    EXPECT_EQ(ini.GaugeType(i), 0);
    EXPECT_EQ(ini.SetGauge(i, "TYPE1").code(), base::Status::Code::kOutOfRange);
  }
  EXPECT_EQ(ini.SetAxis(9, "Yes").code(), base::Status::Code::kOutOfRange);
}

// A number that does not parse takes its default; the keys after it still load, and the
// problem names file, section, key and text.
TEST_F(TFIBSystemINITest, BadNumberTakesItsDefaultAndIsReported) {
  WriteAll(Data() / "FIBSystem.INI",
           "[SYSTEM]\nTYPE=ORVO440\nINV_FRAME=12a\n[OPTICS]\nMAX_BEAMSHIFT=99999999999\n"
           "[STAGE]\nAXIS-NO=\nAXIS-R=No\n[VACUUM]\nGAUGE2=TYPE4\n");
  TFIBSystemINI ini(Data().string());
  const base::Status s = ini.Load();
  ASSERT_FALSE(s.ok());
  for (const char* part : {"FIBSystem.INI", "[SYSTEM] INV_FRAME", "\"12a\"",
                           "[OPTICS] MAX_BEAMSHIFT", "[STAGE] AXIS-NO"}) {
    EXPECT_NE(s.message().find(part), std::string::npos) << part << " in " << s.message();
  }
  EXPECT_EQ(ini.InvFrame(), 12);
  EXPECT_EQ(ini.InvFrameText(), "12");
  EXPECT_EQ(ini.MaxBeamShift(), 20);
  EXPECT_EQ(ini.AxisNo(), 7);
  EXPECT_EQ(ini.SystemType(), 3);
  EXPECT_FALSE(ini.AxisEnabled(4));
  EXPECT_EQ(ini.GaugeType(1), 3);
}

TEST_F(TFIBSystemINITest, SingleKeyWritesKeepTheRestOfTheFile) {
  const std::string original =
      "; installed by service\n[SYSTEM]\nTYPE=ORVO430\nCUSTOM=kept\n[Extra]\nA=1\n";
  WriteAll(Data() / "fibsystem.ini", original);  // case differs: the existing file is used
  TFIBSystemINI ini(Data().string());
  ASSERT_TRUE(ini.Load().ok());
  EXPECT_EQ(ini.SystemType(), 2);

  ASSERT_TRUE(ini.SetStageType("PADO_TYPE7(530)").ok());
  ASSERT_TRUE(ini.SetGauge3("TYPE5").ok());
  ASSERT_TRUE(ini.SetAxisAP2Y("Yes").ok());
  ASSERT_TRUE(ini.SetUseASEM(true).ok());
  EXPECT_FALSE(std::filesystem::exists(Data() / "FIBSystem.INI"));

  ProfileFile file(Data() / "fibsystem.ini");
  EXPECT_EQ(file.GetString("STAGE", "TYPE", ""), "PADO_TYPE7(530)");
  EXPECT_EQ(file.GetString("VACUUM", "GAUGE3", ""), "TYPE5");
  EXPECT_EQ(file.GetString("STAGE", "AXIS-AP2-Y", ""), "Yes");
  EXPECT_EQ(file.GetString("SEM Type", "UseASEM", ""), "1");
  EXPECT_EQ(file.GetString("SYSTEM", "CUSTOM", ""), "kept");
  EXPECT_EQ(file.GetString("Extra", "A", ""), "1");
  EXPECT_NE(ReadAll(Data() / "fibsystem.ini").find("; installed by service"), std::string::npos);
  // Memory keeps the last Load until the next one.
  EXPECT_EQ(ini.StageType(), 0);
  ASSERT_TRUE(ini.Load().ok());
  EXPECT_EQ(ini.StageType(), 7);
  EXPECT_EQ(ini.GaugeType(2), 4);
}

TEST_F(TFIBSystemINITest, FailedWritesAreReported) {
  // A data "folder" that is a plain file: nothing can be written below it, also not by root.
  const auto data = dir_ / "Data";
  WriteAll(data, "not a folder");
  TFIBSystemINI ini(data.string());
  const base::Status load = ini.Load();
  EXPECT_EQ(load.code(), base::Status::Code::kIOError);
  EXPECT_NE(load.message().find("FIBSystem.INI"), std::string::npos);
  // Defaults are in memory all the same.
  EXPECT_EQ(ini.SystemTypeName(), "ORVO410");
  EXPECT_EQ(ini.InvFrame(), 12);
  EXPECT_EQ(ini.GaugeType(3), 2);
  const base::Status write = ini.SetScanType("PC");
  EXPECT_EQ(write.code(), base::Status::Code::kIOError);
  EXPECT_NE(write.message().find("[SYSTEM] SCAN"), std::string::npos) << write.message();
}

TEST_F(TFIBSystemINITest, FixedPathFollowsTheOrvoRoot) {
  EXPECT_EQ(TFIBSystemINI::FixedPath(), dir_ / "Data" / "FIBSystem.INI");
  EXPECT_FALSE(TFIBSystemINI::FixedUseASEM());
  WriteAll(dir_ / "Data" / "FIBSystem.INI", "[SEM Type]\nUseASEM=1\n");
  EXPECT_TRUE(TFIBSystemINI::FixedUseASEM());
}

TEST(GaugeConversionTest, EachGaugeType) {
  const struct {
    int type;
    double k, a, b;
  } cases[] = {{0, 1.0, 5.0 / 3.0, -28.0 / 3.0},
               {1, 549.44, 0.516624, -10.0},
               {2, 549.44, 0.516624, -9.741688},
               {3, 1.0, 1.333, -8.333},
               {4, 400.0 / 3.0, 2.0, -11.0},
               {5, 1.0, 1.0, 1.0},
               {-1, 1.0, 1.0, 1.0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    const GaugeCoefficients g = TFIBSystemINI::GetGaugeCoefficients(c.type);
    EXPECT_DOUBLE_EQ(g.K, c.k);
    EXPECT_DOUBLE_EQ(g.A, c.a);
    EXPECT_DOUBLE_EQ(g.B, c.b);
    for (int raw : {0, 1024, 2048, 4095}) {
      const double v = raw * 20.0 / 4096.0 - 10.0;
      const double want = c.k * std::pow(10.0, c.a * v + c.b);
      EXPECT_NEAR(TFIBSystemINI::GaugePressure(c.type, 1, raw), want, std::abs(want) * 1e-12);
    }
  }
  EXPECT_NEAR(TFIBSystemINI::GaugePressure(4, 0, 2048), 400.0 / 3.0 * 1e-11, 1e-22);
  const double top = std::pow(10.0, 50.0 / 3.0 - 28.0 / 3.0);  // type 1 at +10 V
  EXPECT_NEAR(TFIBSystemINI::GaugePressure(0, 0, 4096), top, top * 1e-12);
  for (int channel : {-1, 6, 100}) {
    EXPECT_EQ(TFIBSystemINI::GaugePressure(4, channel, 2048), 0.0);
  }
  EXPECT_GT(TFIBSystemINI::GaugePressure(4, 5, 2048), 0.0);
}

}  // namespace
}  // namespace tarvel::config
