// The monitor window under the offscreen platform: the refresh rule, the clock panel colours,
// memo limits, "Clear Memo" acting only on the right-clicked memo, the initial-data window in
// place of the monitor, the deactivation handler, the help file and the alarm-flag panel.
#include "ui/form_socket.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTextBlock>
#include <filesystem>
#include <fstream>
#include <vector>

#include "link/loopback_peer.h"
#include "menu_item.h"
#include "support/headless_graph.h"
#include "support/temp_dir.h"
#include "ui/form_sys_init_data.h"

namespace tarvel::ui {
namespace {

namespace fs = std::filesystem;

class TFormSocketTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    fs::create_directories(dir_ / "Data");
    hub::TSocketHub::Options o;
    o.useASEM = false;
    graph_ = tarvel::testing::MakeHeadlessGraph(std::move(o), (dir_ / "Data").string());
    hub_ = &graph_->Hub();
    // Client notification is the automation server's; without a bus it still binds.
    (void)graph_->Start();
    form_ = std::make_unique<TFormSocket>(*hub_, graph_->InitData());
  }
  void TearDown() override {
    form_.reset();
    hub_ = nullptr;
    graph_.reset();
    TempDirTest::TearDown();
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
  void Choose(const char* menu, const QString& caption) {
    ChooseMenuItem(Find<QMenu>(menu), caption);
  }
  QAction* Item(const char* menu, const QString& caption) {
    for (QAction* a : Find<QMenu>(menu)->actions()) {
      if (a->text() == caption) return a;
    }
    return nullptr;
  }
  void ShowForm() {
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  }

  std::unique_ptr<app::TProductionGraph> graph_;
  hub::TSocketHub* hub_ = nullptr;
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

TEST_F(TFormSocketTest, ShowInitDataItemOnlyOnTheSysTab) {
  const struct {
    const char* page;
    bool visible;
  } cases[] = {{"sys", true},   {"version", true}, {"cmd", true},       {"net", false},
               {"data", false}, {"serial", false}, {"hardware", false}, {"service", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.page);
    form_->SelectPage(c.page);
    emit Find<QMenu>("PopupMenuOLE")->aboutToShow();
    QAction* item = Item("PopupMenuOLE", "Show Init Data");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->isVisible(), c.visible);
  }
}

TEST_F(TFormSocketTest, ShowInitDataTakesTheMonitorsPlaceUntilItCloses) {
  form_->move(123, 234);
  ShowForm();
  // No initial-data window handed over: the item leaves the monitor as it is.
  Choose("PopupMenuOLE", "Show Init Data");
  EXPECT_TRUE(form_->isVisible());

  TFormSysInitData init(graph_->InitData());
  form_->SetInitDataWindow(&init);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    Choose("PopupMenuOLE", "Show Init Data");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&init));
    EXPECT_EQ(init.pos(), form_->pos());
    EXPECT_EQ(init.pos(), QPoint(123, 234));
    EXPECT_FALSE(form_->isVisible());
    init.close();
    EXPECT_FALSE(init.isVisible());
    EXPECT_TRUE(form_->isVisible());
  }

  // The monitor gone first: closing the initial-data window must not reach it.
  Choose("PopupMenuOLE", "Show Init Data");
  form_.reset();
  init.close();
  EXPECT_FALSE(init.isVisible());
}

TEST_F(TFormSocketTest, DeactivationClosesTheInitWindowOnlyWhenItWasNotActive) {
  TFormSysInitData init(graph_->InitData());
  form_->SetInitDataWindow(&init);
  form_->InstallDeactivationHandler();
  int reasserted = 0;
  form_->ReassertZUpDialog = [&] { ++reasserted; };

  form_->ApplicationDeactivated();  // hidden: nothing to close
  EXPECT_FALSE(init.isVisible());
  EXPECT_EQ(reasserted, 1);

  ShowForm();
  Choose("PopupMenuOLE", "Show Init Data");
  init.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&init));
  // As at a real deactivation, Qt has taken the activation away before the handler runs.
  QApplication::setActiveWindow(nullptr);
  ASSERT_FALSE(init.isActiveWindow());
  form_->ApplicationDeactivated();  // the operator was working in it: it stays
  EXPECT_TRUE(init.isVisible());
  EXPECT_EQ(reasserted, 2);

  // Another window of the program had the focus when the activation went away.
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  QApplication::setActiveWindow(nullptr);
  form_->ApplicationDeactivated();
  EXPECT_FALSE(init.isVisible());
  EXPECT_TRUE(form_->isVisible()) << "closing it brings the monitor back";
  EXPECT_EQ(reasserted, 3);

  // The installed handler: only the step from active to not active runs it.
  const int before = reasserted;
  emit qGuiApp->applicationStateChanged(Qt::ApplicationActive);
  emit qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
  emit qGuiApp->applicationStateChanged(Qt::ApplicationHidden);
  EXPECT_EQ(reasserted, before + 1);
}

// Runs the test body with `dir` as the current directory and restores the old one.
class CurrentDir {
 public:
  explicit CurrentDir(const fs::path& dir) : old_(fs::current_path()) { fs::current_path(dir); }
  ~CurrentDir() {
    std::error_code ec;
    fs::current_path(old_, ec);
  }

 private:
  fs::path old_;
};

TEST_F(TFormSocketTest, ShowHelpOpensTheHelpFileOrSaysWhereItIsMissing) {
  fs::create_directories(dir_ / "Bin");
  fs::create_directories(dir_ / "Help");
  const QString helpPath = QString::fromStdString((dir_ / "Help" / "Tarvel.Hlp").string());
  const struct {
    const char* name;
    bool fileExists;
    bool openerTakesIt;
    const char* memo;  // expected start of the memo line's text; nullptr: no line
  } cases[] = {
      {"found and opened", true, true, nullptr},
      {"found, opener fails", true, false, "Help file could not be opened: "},
      {"missing", false, true, "Help file not found: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(dir_ / "Help" / "Tarvel.Hlp");
    if (c.fileExists) std::ofstream(dir_ / "Help" / "Tarvel.Hlp") << "help";
    hub_->MemoSocket().Clear();
    std::vector<std::pair<QString, int>> opened;
    form_->OpenHelp = [&](const QString& path, int context) {
      opened.emplace_back(path, context);
      return c.openerTakesIt;
    };
    {
      const CurrentDir cwd(dir_ / "Bin");
      Choose("PopupMenuOLE", "Show Help");
    }
    if (c.fileExists) {
      ASSERT_EQ(opened.size(), 1u);
      EXPECT_EQ(opened[0].first, helpPath);
      EXPECT_EQ(opened[0].second, 3);
    } else {
      EXPECT_TRUE(opened.empty());
    }
    if (!c.memo) {
      EXPECT_EQ(hub_->MemoSocket().Count(), 0u);
      continue;
    }
    ASSERT_EQ(hub_->MemoSocket().Count(), 1u);
    const std::string line = hub_->MemoSocket().Lines().back();
    EXPECT_NE(line.find(c.memo + helpPath.toStdString()), std::string::npos) << line;
  }
}

TEST_F(TFormSocketTest, AlarmPanelSetsAndResetsTheMonitorRecordFlag) {
  shm::TOrvoMonitData& record = hub_->Records().Monitor;
  std::vector<int> sent;
  QObject::connect(&hub_->Link(), &link::TOrvoComAna::OnDataChanged,
                   [&](int id) { sent.push_back(id); });
  hub_->SetDebugMode(true);
  auto* bar = Find<QScrollBar>("ScrollBarErrMsg");
  auto* set = Find<QPushButton>("BtnErrSet");

  bar->setValue(42);
  EXPECT_EQ(Label("LblErrCnt"), "42");
  EXPECT_EQ(Label("LblErrSts"), "False");
  set->click();
  EXPECT_EQ(Label("LblErrSts"), "True");
  EXPECT_TRUE(record.GetAlarm(42).ok() && *record.GetAlarm(42) != 0);
  EXPECT_EQ(sent, (std::vector<int>{1150, 1145}));
  EXPECT_EQ(hub_->Link().CurrentAlarm(), 42);

  // Raised from elsewhere while the panel showed another number: SET on it now resets it.
  (void)record.SetAlarm(7);
  bar->setValue(7);
  EXPECT_EQ(Label("LblErrSts"), "True");
  sent.clear();
  set->click();
  EXPECT_EQ(Label("LblErrSts"), "False");
  EXPECT_EQ(*record.GetAlarm(7), 0);
  EXPECT_EQ(sent, (std::vector<int>{1151}));
  EXPECT_NE(*record.GetAlarm(42), 0) << "another alarm was touched";

  // The panel still reads "False" but the flag was raised meanwhile: set again, no new alarm.
  bar->setValue(9);
  (void)record.SetAlarm(9);
  sent.clear();
  set->click();
  EXPECT_EQ(Label("LblErrSts"), "True");
  EXPECT_TRUE(sent.empty());
}

TEST_F(TFormSocketTest, SaveClTypeStoresTheSteppedTypeOrSaysWhyNot) {
  auto* text = Find<QLabel>("TxtCLType2");
  auto* save = Find<QPushButton>("BtnCLType");
  shm::TOrvoMonitData& record = hub_->Records().Monitor;
  auto memoHas = [&](const std::string& part) {
    for (const auto& l : hub_->MemoSocket().Lines()) {
      if (l.find(part) != std::string::npos) return true;
    }
    return false;
  };
  hub_->Link().SystemInfo().SetCLType(0);
  QTest::mouseDClick(text, Qt::LeftButton);
  EXPECT_EQ(hub_->Link().SystemInfo().SysInformation().CLType, 1);
  EXPECT_FALSE(save->isHidden());

  // Before any initial-data file was loaded the record cannot write one: said, not swallowed.
  save->click();
  EXPECT_TRUE(save->isHidden());
  EXPECT_EQ(*record.GetCLType(), 1);
  EXPECT_TRUE(memoHas("Save CL Type: ")) << "no memo line for the failed save";

  ASSERT_TRUE(record.LoadInitData((dir_ / "Data").string()).ok());
  QTest::mouseDClick(text, Qt::LeftButton);
  save->click();
  EXPECT_EQ(*record.GetCLType(), 2);
  std::ifstream ini(dir_ / "Data" / "ORVOInitData.INI");
  const std::string file((std::istreambuf_iterator<char>(ini)), std::istreambuf_iterator<char>());
  EXPECT_NE(file.find("[OPTICS]\nCL_TYPE = "), std::string::npos) << file;
}

}  // namespace
}  // namespace tarvel::ui

namespace tarvel::ui {
namespace {

TEST_F(TFormSocketTest, MsgCountUpSwitchesDeliveryAndShowsTheCounts) {
  auto* button = Find<QPushButton>("BtnMsgCntUp");
  auto* grid = Find<QTableWidget>("GridMsgCnt");
  // Row 2 is 1128 ("Change Stage").
  button->click();
  EXPECT_TRUE(hub_->Clients().MessageCountUp()) << "the button did not switch the hub's delivery";
  hub_->Link().NotifyDataChanged(1128);
  hub_->Link().NotifyDataChanged(1128);
  hub_->Link().NotifyDataChanged(1140);  // recorded, never delivered nor counted
  EXPECT_EQ(hub_->Clients().MessageCount(1128), 2);
  EXPECT_EQ(grid->item(2, 1)->text(), "2");
  EXPECT_EQ(grid->item(1, 1)->text(), "0");

  // A client's put (the hub's state) moves the button; going down again clears the counts.
  hub_->Clients().SetMessageCountUp(false);
  EXPECT_FALSE(button->isChecked());
  hub_->Clients().SetMessageCountUp(true);
  EXPECT_TRUE(button->isChecked());
  EXPECT_EQ(grid->item(2, 1)->text(), "0");
}

}  // namespace
}  // namespace tarvel::ui

namespace tarvel::ui {
namespace {

class MonitorWindowStartTest : public testing::TempDirTest {};

TEST_F(MonitorWindowStartTest, HiddenWindowComesUpWhenTheControllerCannotBeReached) {
  app::TGraphOptions o;
  o.window = true;
  o.hub.useASEM = false;
  o.hub.intervals.mainMs = 20;
  o.hub.intervals.disconnectMs = 50;
  o.findDataDir = [this](int) -> base::Result<std::string> { return dir_.string(); };
  app::TProductionGraph graph(std::move(o));
  TFormSocket* window = graph.Window();
  ASSERT_NE(window, nullptr);
  // The window starts hidden and minimised, as the program starts it.
  EXPECT_FALSE(window->isVisible());
  hub::TSocketHub& hub = graph.Hub();
  hub.SetEditIPAdrs("127.0.0.1");
  graph.Link().Port = std::to_string(tarvel::testing::UnusedPort());
  // A client wants the link: refusals are retried until the hub gives up.
  hub.SetConnectWanted(true);
  hub.PressConnect();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }, 20000))
      << "a hidden window stayed hidden while the controller could not be reached";
  bool said = false;
  for (const auto& l : hub.MemoSocket().Lines())
    said |= l.find("can't connect!!!") != std::string::npos;
  EXPECT_TRUE(said);
  hub.PressDisconnect();
}

}  // namespace
}  // namespace tarvel::ui
