// The monitor window under the offscreen platform: the refresh rule, the clock panel colours,
// memo limits, and "Clear Memo" acting only on the right-clicked memo.
#include "ui/form_socket.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <filesystem>

namespace tarvel::ui {
namespace {

namespace fs = std::filesystem;

class TFormSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tarvel-fsock-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    setenv("TARVEL_ORVO_ROOT", dir_.c_str(), 1);
    fs::create_directories(dir_ / "Data");
    hub::TSocketHub::Options o;
    o.useASEM = false;
    hub_ = std::make_unique<hub::TSocketHub>(&data_, std::move(o));
    form_ = std::make_unique<TFormSocket>(*hub_, data_);
  }
  void TearDown() override {
    form_.reset();
    hub_.reset();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  template <typename T>
  T* Find(const char* name) {
    T* w = form_->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QString Label(const char* name) { return Find<QLabel>(name)->text(); }
  QColor PanelColour() {
    return Find<QWidget>("PnlBaseSystem2")->palette().color(QPalette::Window);
  }

  fs::path dir_;
  config::TSysInitData data_{
      [this](int) -> base::Result<std::string> { return (dir_ / "Data").string(); }};
  std::unique_ptr<hub::TSocketHub> hub_;
  std::unique_ptr<TFormSocket> form_;
};

TEST_F(TFormSocketTest, RefreshesOnlyTheVisiblePageOnTop) {
  hub_->SetDebugMode(true);  // refresh allowed without Connect, and no version requests
  form_->RefreshPages();
  EXPECT_TRUE(Label("TxtSysTime1").isEmpty()) << "hidden window refreshed";

  // The hub's own main timer refreshes too: keep the System page off the top until asked.
  form_->SelectPage("net");
  form_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  form_->RefreshPages();
  EXPECT_EQ(Label("TxtNetSts2"), "FALSE");
  EXPECT_TRUE(Label("TxtSysTime1").isEmpty()) << "a page not on top was refreshed";

  form_->SelectPage("sys");
  form_->RefreshPages();
  EXPECT_FALSE(Label("TxtSysTime1").isEmpty());
  EXPECT_EQ(Label("LblMachinType"), "ORVO");

  form_->showMinimized();
  QApplication::processEvents();
  hub_->SetDebugMode(false);
  Find<QLabel>("TxtSysTime1")->setText("untouched");  // a refresh would write the PC clock
  form_->RefreshPages();
  EXPECT_EQ(Label("TxtSysTime1"), "untouched");
}

TEST_F(TFormSocketTest, NeitherDebugNorConnectKeepsThePageAsItWas) {
  form_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  form_->SelectPage("net");
  form_->RefreshPages();
  EXPECT_TRUE(Label("TxtNetSts2").isEmpty());
}

TEST_F(TFormSocketTest, ClockPanelColours) {
  const QDateTime ctl(QDate(2001, 1, 1), QTime(10, 0, 0));
  const QColor face = PanelColour();
  form_->ApplyClockCheck("2001/01/01 10:00:00", ctl.addSecs(6));
  EXPECT_EQ(PanelColour(), QColor(Qt::yellow));
  form_->ApplyClockCheck("2001/01/0a 10:00:00", ctl);  // invalid: unchanged
  EXPECT_EQ(PanelColour(), QColor(Qt::yellow));
  form_->ApplyClockCheck("2001/13/01 10:00:00", ctl);  // no real date: unchanged
  EXPECT_EQ(PanelColour(), QColor(Qt::yellow));
  form_->ApplyClockCheck("2001/01/01 10:00:00", ctl.addSecs(4));
  EXPECT_EQ(PanelColour(), face);
}

TEST_F(TFormSocketTest, MemoLimits) {
  for (int i = 0; i < 150; ++i) hub_->AddListMessage("m" + std::to_string(i));
  EXPECT_EQ(Find<QListWidget>("ListMsg")->count(), 99);
  EXPECT_TRUE(Find<QListWidget>("ListMsg")->item(98)->text().endsWith(": m149"));
  for (int i = 0; i < 1005; ++i) hub_->AddCmdInfoLine("c");
  EXPECT_EQ(Find<QPlainTextEdit>("MemoCmdInfo")->document()->blockCount(), 1000);

  auto* memo = Find<QPlainTextEdit>("MemoSocket");
  for (int i = 0; i < 1011; ++i) hub_->MemoSocket().Add("line " + std::to_string(i));
  hub_->TrimMemos();
  EXPECT_EQ(memo->document()->blockCount(), 1001);
  EXPECT_EQ(memo->document()->firstBlock().text(), "line 10");
}

TEST_F(TFormSocketTest, ClearMemoClearsOnlyTheRightClickedMemo) {
  form_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  hub_->MemoSocket().Add("socket line");
  hub_->MemoHist().Add("history line");
  auto* menu = Find<QMenu>("PopupMenuCommon");
  auto clearMemo = [&] {
    for (QAction* a : menu->actions()) {
      if (a->text() == "Clear Memo") a->trigger();
    }
  };
  // Opened over another control: nothing is marked, nothing cleared.
  clearMemo();
  EXPECT_EQ(hub_->MemoSocket().Count(), 1u);
  EXPECT_EQ(hub_->MemoHist().Count(), 1u);

  form_->SelectPage("data");
  QTest::mousePress(Find<QPlainTextEdit>("MemoSocket")->viewport(), Qt::RightButton);
  menu->hide();
  clearMemo();
  EXPECT_EQ(hub_->MemoSocket().Count(), 0u);
  EXPECT_TRUE(Find<QPlainTextEdit>("MemoSocket")->toPlainText().isEmpty());
  EXPECT_EQ(hub_->MemoHist().Count(), 1u);
  EXPECT_FALSE(Find<QPlainTextEdit>("MemoHist")->toPlainText().isEmpty());
}

TEST_F(TFormSocketTest, ClosingHidesAndTheTreeHasEveryPage) {
  form_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  EXPECT_EQ(form_->windowTitle(), "ORVO Communication");
  form_->close();
  EXPECT_FALSE(form_->isVisible());
  auto tabs = [&](const char* name) {
    QStringList t;
    auto* w = Find<QTabWidget>(name);
    for (int i = 0; w && i < w->count(); ++i) t << w->tabText(i);
    return t;
  };
  EXPECT_EQ(tabs("PageMain"), (QStringList{"Sys.", "Net.", "Serial", "Hardware", "Service"}));
  EXPECT_EQ(tabs("PageSystem"),
            (QStringList{"System", "Version Info.", "Error Info.", "Cmd. Info."}));
  EXPECT_EQ(tabs("PageNet"), (QStringList{"IP Address", "Socket Data"}));
  EXPECT_EQ(tabs("PageHardware"), (QStringList{"Vacuum", "Optics", "Aperture", "Stage", "Beam",
                                               "Scan", "Hard3", "Hard2"}));
  EXPECT_EQ(tabs("PageHard3"),
            (QStringList{"Status/Control", "Data", "Op.Panel", "M.SEM", "Power2"}));
  // A capture of the window for the record.
  form_->showNormal();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  EXPECT_TRUE(form_->grab().save("form_socket.png"));
}

}  // namespace
}  // namespace tarvel::ui
