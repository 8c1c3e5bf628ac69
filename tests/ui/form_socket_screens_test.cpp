// The monitor window over a live link: a hub connected to the controller simulator on loopback
// fills the System, Net. and Service pages with the controller's values. The checks are on the
// widget texts; the PNG captures in the build folder's "screens" directory are for people to
// look at.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTest>
#include <filesystem>

#include "support/controller_sim.h"
#include "support/headless_graph.h"
#include "support/temp_dir.h"
#include "ui/form_socket.h"

namespace tarvel::ui {
namespace {

namespace fs = std::filesystem;

constexpr int kWaitMs = 10000;

class FormSocketScreensTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    fs::create_directories(dir_ / "Data");
    ASSERT_TRUE(sim_.start());
    hub::TSocketHub::Options o;
    o.useASEM = false;
    o.intervals.mainMs = 50;
    o.intervals.phase1Ms = 200;
    o.intervals.phase2Ms = 100;
    graph_ = tarvel::testing::MakeHeadlessGraph(std::move(o), (dir_ / "Data").string());
    hub_ = &graph_->Hub();
    // The stage type label reads the installation's configuration.
    ASSERT_TRUE(graph_->InitData().LoadInitData(1).ok());
    form_ = std::make_unique<TFormSocket>(*hub_, graph_->InitData());
    form_->showNormal();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    hub_->SetEditIPAdrs("127.0.0.1");
    hub_->Link().Port = std::to_string(sim_.port());
    hub_->PressConnect();
  }
  void TearDown() override {
    form_.reset();
    hub_ = nullptr;
    graph_.reset();
    TempDirTest::TearDown();
  }
  QString Label(const char* name) {
    auto* l = form_->findChild<QLabel*>(name);
    EXPECT_NE(l, nullptr) << name;
    return l ? l->text() : QString();
  }
  // Waits (bounded) until the hub's own refresh has written `want` into the label.
  bool WaitForLabel(const char* name, const QString& want) {
    return QTest::qWaitFor([&] { return Label(name) == want; }, kWaitMs);
  }
  // Writes the window as it shows now to screens/<file> and checks the file reads back whole.
  void Capture(const char* file) {
    const fs::path dir = TARVEL_SCREENS_DIR;
    fs::create_directories(dir);
    const QString path = QString::fromStdString((dir / file).string());
    // The layouts take the texts of the last refresh only when their posted requests run.
    QCoreApplication::processEvents();
    const QImage shot = form_->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    ASSERT_TRUE(shot.save(path)) << path.toStdString();
    const QImage back(path);
    EXPECT_FALSE(back.isNull()) << path.toStdString();
    EXPECT_EQ(back.size(), shot.size());
  }
  // "%d(%d)": the count and the error count.
  static std::pair<long long, long long> Counts(const QString& text) {
    const auto m = QRegularExpression(R"(^(\d+)\((\d+)\)$)").match(text);
    if (!m.hasMatch()) return {-1, -1};
    return {m.captured(1).toLongLong(), m.captured(2).toLongLong()};
  }

  // Declared first, so it outlives the hub that is connected to it.
  tarvel::testing::ControllerSim sim_{{"--sys-name", "ORVO-SCREENS", "--sys-version", "4.56-scr",
                                       "--protocol", "2.10", "--hard-type", "HARD2",
                                       "--aperture-type", "3", "--detector-type", "1"}};
  std::unique_ptr<app::TProductionGraph> graph_;
  hub::TSocketHub* hub_ = nullptr;
  std::unique_ptr<TFormSocket> form_;
};

TEST_F(FormSocketScreensTest, PagesShowTheControllersValues) {
  form_->SelectPage("sys");
  ASSERT_TRUE(WaitForLabel("TxtName2", "ORVO-SCREENS")) << Label("TxtName2").toStdString();
  EXPECT_EQ(Label("TxtSoft2"), "4.56-scr");
  EXPECT_EQ(Label("TxtProtocol2"), "2.10");
  EXPECT_EQ(Label("TxtHard2"), "HARD2");
  EXPECT_EQ(Label("TxtApType2"), "3");
  EXPECT_EQ(Label("TxtDetType2"), "CPD");
  EXPECT_EQ(Label("TxtDataInit2"), "True");
  EXPECT_EQ(Label("LblMachinType"), "ORVO");
  EXPECT_EQ(Label("LblStgType2"), QString::fromStdString(graph_->InitData().StageTypeText()));
  Capture("sys.png");

  form_->SelectPage("net");
  ASSERT_TRUE(WaitForLabel("TxtNetSts2", "TRUE"));
  EXPECT_EQ(Label("TxtAdrs2"), "127.0.0.1");
  Capture("net.png");

  form_->SelectPage("data");
  // Both directions have carried frames, none of them failed.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return Counts(Label("TxtSockIn2")).first > 0 && Counts(Label("TxtSockOut2")).first > 0;
      },
      kWaitMs))
      << Label("TxtSockOut2").toStdString() << " / " << Label("TxtSockIn2").toStdString();
  EXPECT_EQ(Counts(Label("TxtSockOut2")).second, 0);
  EXPECT_EQ(Counts(Label("TxtSockIn2")).second, 0);
  EXPECT_EQ(Label("LblSockTst2"), "0");
  Capture("net_data.png");

  // A client asks for cyclic stage reports: the STAGE row (unit 10) counts the request.
  hub_->Link().CycleRequest(10, true);
  form_->SelectPage("service");
  auto* grid = form_->findChild<QTableWidget*>("GridInfo");
  ASSERT_NE(grid, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return grid->item(9, 1)->text() == "     1"; }, kWaitMs))
      << grid->item(9, 1)->text().toStdString();
  EXPECT_EQ(grid->item(9, 0)->text(), "STAGE");
  EXPECT_EQ(grid->item(0, 1)->text(), "     0");
  Capture("service.png");
  hub_->Link().CycleRequest(10, false);
}

}  // namespace
}  // namespace tarvel::ui
