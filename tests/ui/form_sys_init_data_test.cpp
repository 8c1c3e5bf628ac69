#include "ui/form_sys_init_data.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QToolButton>
#include <filesystem>

#include "config/profile_file.h"
#include "menu_item.h"
#include "support/temp_dir.h"

namespace tarvel::ui {
namespace {

namespace fs = std::filesystem;

class TFormSysInitDataTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    fs::create_directories(dir_ / "Data");
    form_ = std::make_unique<TFormSysInitData>(data_);
  }
  void TearDown() override {
    form_.reset();
    TempDirTest::TearDown();
  }

  template <typename T>
  T* Find(const char* name) {
    T* w = form_->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QString Label(const char* name) { return Find<QLabel>(name)->text(); }
  void Choose(const char* menu, const QString& caption) {
    ChooseMenuItem(Find<QMenu>(menu), caption);
  }
  QString Checked(const char* menu) {
    QMenu* m = Find<QMenu>(menu);
    emit m->aboutToShow();
    for (QAction* a : m->actions()) {
      if (a->isChecked()) return a->text();
    }
    return {};
  }
  std::string Key(const char* section, const char* key) {
    return config::ProfileFile(dir_ / "Data" / "FIBSystem.INI").GetString(section, key, "<none>");
  }

  config::TSysInitData data_{
      [this](int) -> base::Result<std::string> { return (dir_ / "Data").string(); }};
  std::unique_ptr<TFormSysInitData> form_;
};

TEST_F(TFormSysInitDataTest, BeforeLoadingNothingChanges) {
  EXPECT_EQ(Label("LblSysType"), "xxxxxxxxxxxx");
  EXPECT_EQ(Label("LblGauge3"), "xxxxxxxxxxxx");
  Choose("PopupSystem", "PADO510");
  Choose("PopupInvFrame", "12");
  Find<QCheckBox>("CheckBox_ASEM")->click();
  Find<QToolButton>("BtnStgAxisX")->click();
  QTest::mousePress(Find<QLabel>("LblGauge2"), Qt::RightButton);
  Choose("PopupGauge", "Calc No.5");

  EXPECT_FALSE(fs::exists(dir_ / "Data" / "FIBSystem.INI"));
  EXPECT_EQ(Label("LblSysType"), "xxxxxxxxxxxx");
  EXPECT_FALSE(Find<QCheckBox>("CheckBox_ASEM")->isChecked());
  EXPECT_FALSE(Find<QToolButton>("BtnStgAxisX")->isChecked());
  EXPECT_EQ(Checked("PopupSystem"), "");
  EXPECT_FALSE(Label("LblStatus").isEmpty());
}

TEST_F(TFormSysInitDataTest, LoadShowsTheFile) {
  ASSERT_TRUE(form_->LoadInitData(1).ok());
  EXPECT_EQ(Label("LblDirectory"), QString::fromStdString((dir_ / "Data").string()));
  EXPECT_EQ(Label("LblFileName"), "FIBSystem.INI");
  EXPECT_EQ(Label("LblSysType"), "ORVO410");
  EXPECT_EQ(Label("LblV1CloseUse"), "Enable");
  EXPECT_EQ(Label("LblInvFrmTimer"), "12");
  EXPECT_EQ(Label("LblStageAxisNo"), "7");
  EXPECT_EQ(Label("LblVacTransfer"), "Auto_Rod");
  EXPECT_EQ(Label("LblGauge4"), "TYPE3");
  EXPECT_TRUE(Find<QToolButton>("BtnStgAxisAPY")->isChecked());
  EXPECT_FALSE(Find<QToolButton>("BtnStgAxisAP2X")->isChecked());
  EXPECT_EQ(Checked("PopupInvFrame"), "12");
  EXPECT_EQ(Checked("PopupStage"), "ORVO410");
  EXPECT_EQ(Checked("PopupV1Close"), "Enable");
}

TEST_F(TFormSysInitDataTest, MenuChoiceWritesItsKeyAndUpdatesTheCache) {
  ASSERT_TRUE(form_->LoadInitData(1).ok());
  Choose("PopupStage", "PADO_TYPE1");
  EXPECT_EQ(Key("STAGE", "TYPE"), "PADO_TYPE1(XY-M310)");
  EXPECT_EQ(data_.StageType(), 1);
  EXPECT_EQ(Label("LblStageType"), "PADO_TYPE1(XY-M310)");
  EXPECT_EQ(Checked("PopupStage"), "PADO_TYPE1");

  Choose("PopupVacuum", "PADO_TYPE2");
  EXPECT_EQ(Key("VACUUM", "TYPE"), "None");
  EXPECT_EQ(data_.VacuumType(), 2);

  Choose("PopupV1Close", "Disable");
  EXPECT_EQ(Key("SYSTEM", "V1_CLOSE"), "Disable");
  EXPECT_FALSE(data_.V1CloseEnabled());
  EXPECT_EQ(Checked("PopupV1Close"), "Disable");

  Choose("PopupInvFrame", "20");
  EXPECT_EQ(Key("SYSTEM", "INV_FRAME"), "20");
  EXPECT_EQ(data_.InvFrame(), 20);

  Find<QCheckBox>("CheckBox_2ndFIB")->click();
  EXPECT_EQ(Key("SEM Type", "2nd FIB"), "1");
  EXPECT_TRUE(data_.SecondFIB());
}

TEST_F(TFormSysInitDataTest, AxisButtonsWriteEveryAxisAndTheCount) {
  ASSERT_TRUE(form_->LoadInitData(1).ok());
  // Default: X..AP-Y down. Release T, R, AP-X and AP-Y.
  for (const char* b : {"BtnStgAxisT", "BtnStgAxisR", "BtnStgAxisAPX", "BtnStgAxisAPY"}) {
    Find<QToolButton>(b)->click();
  }
  EXPECT_EQ(Key("STAGE", "AXIS-NO"), "3");
  EXPECT_EQ(Label("LblStageAxisNo"), "3");
  EXPECT_EQ(Key("STAGE", "AXIS-X"), "Yes");
  for (const char* k : {"AXIS-T", "AXIS-R", "AXIS-AP-X", "AXIS-AP-Y", "AXIS-AP2-X", "AXIS-AP2-Y"}) {
    EXPECT_EQ(Key("STAGE", k), "No") << k;
  }
  EXPECT_FALSE(data_.AxisEnabled(3));
}

TEST_F(TFormSysInitDataTest, GaugeMenuActsOnTheRightPressedGauge) {
  ASSERT_TRUE(form_->LoadInitData(1).ok());
  // Gauge 2 is right-pressed, its menu closes without a choice; then gauge 4 gets the choice.
  QTest::mousePress(Find<QLabel>("LblGauge2"), Qt::RightButton);
  emit Find<QMenu>("PopupGauge")->aboutToShow();
  QTest::mouseRelease(Find<QLabel>("LblGauge2"), Qt::RightButton);
  QTest::mousePress(Find<QLabel>("LblGauge4"), Qt::RightButton);
  Choose("PopupGauge", "Calc No.5");
  EXPECT_EQ(Key("VACUUM", "GAUGE4"), "TYPE5");
  EXPECT_EQ(Key("VACUUM", "GAUGE2"), "TYPE1");
  EXPECT_EQ(Label("LblGauge4"), "TYPE5");
  EXPECT_EQ(data_.GaugeTypeOf(3), 4);

  QTest::mousePress(Find<QLabel>("LblGauge4"), Qt::RightButton);
  EXPECT_EQ(Checked("PopupGauge"), "Calc No.5");
  QTest::mousePress(Find<QLabel>("LblGauge3"), Qt::RightButton);
  EXPECT_EQ(Checked("PopupGauge"), "Cacl. No.2");

  // A choice with no target (menu opened some other way) changes nothing.
  Choose("PopupGauge", "Calc No.4");  // consumes gauge 3's mark
  EXPECT_EQ(Key("VACUUM", "GAUGE3"), "TYPE4");
  Choose("PopupGauge", "Calc. No.1");
  EXPECT_EQ(Key("VACUUM", "GAUGE3"), "TYPE4");
}

TEST_F(TFormSysInitDataTest, CloseOnlyHides) {
  int closed = 0;
  QObject::connect(form_.get(), &TFormSysInitData::Closed, [&] { ++closed; });
  form_->show();
  form_->close();
  EXPECT_FALSE(form_->isVisible());
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(form_->windowTitle(), "System Initial Data");
}

TEST_F(TFormSysInitDataTest, JapaneseTextHasAFont) {
  EXPECT_FALSE(QFontDatabase::families(QFontDatabase::Japanese).isEmpty())
      << "install a CJK font (fonts-ipafont-gothic)";
}

}  // namespace
}  // namespace tarvel::ui
