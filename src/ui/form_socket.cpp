#include "ui/form_socket.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <cstdio>

#include "hub/hub_texts.h"
#include "link/socket_errors.h"
#include "model/orvo_system_info.h"
#include "ui/form_sys_init_data.h"

namespace tarvel::ui {
namespace {

const QColor kYellow(Qt::yellow);

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

QString Fmt(const char* fmt, long long a, long long b) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, a, b);
  return buf;
}

void SetTextIfChanged(QLabel* l, const QString& t) {
  if (l->text() != t) l->setText(t);
}

QColor ButtonFace() {
  return QApplication::palette().color(QPalette::Button);
}

void Colour(QWidget* w, const QColor& c) {
  QPalette p = w->palette();
  p.setColor(QPalette::Window, c);
  w->setPalette(p);
  w->setAutoFillBackground(true);
}

constexpr std::array<std::pair<const char*, int>, 5> kCommLog = {
    {{"Vacuum", 9}, {"Stage", 10}, {"Hard3", 23}, {"System", 1}, {"Optics", 2}}};

}  // namespace

TFormSocket::TFormSocket(hub::TSocketHub& hub, config::TSysInitData& initData, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      hub_(hub),
      initData_(initData) {
  setObjectName("FormSocket");
  setWindowTitle("ORVO Communication");
  QFont f("Arial");
  f.setBold(true);
  setFont(f);
  resize(742, 467);
  move(10, 400);
  OpenHelp = [](const QString& path, int) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
  };

  auto* top = new QVBoxLayout(this);
  PageMain = new QTabWidget(this);
  PageMain->setObjectName("PageMain");
  top->addWidget(PageMain);

  auto* sys = new QWidget;
  sys->setObjectName("TabShtSystem");
  PageSystem = new QTabWidget(sys);
  PageSystem->setObjectName("PageSystem");
  (new QVBoxLayout(sys))->addWidget(PageSystem);
  auto* sysSystem = new QWidget;
  sysSystem->setObjectName("TabSysSystem");
  BuildSystemPage(sysSystem);
  PageSystem->addTab(sysSystem, "System");
  auto* version = new QWidget;
  version->setObjectName("TabSysVersion");
  PageSystem->addTab(version, "Version Info.");
  auto* error = new QWidget;
  error->setObjectName("TabSysError");
  auto* memoSysErr = new QPlainTextEdit(error);
  memoSysErr->setObjectName("MemoSysErr");
  memoSysErr->setReadOnly(true);
  (new QVBoxLayout(error))->addWidget(memoSysErr);
  Mirror(hub_.MemoSysErr(), memoSysErr);
  PageSystem->addTab(error, "Error Info.");
  auto* cmdInfo = new QWidget;
  cmdInfo->setObjectName("ShtCmdInfo");
  BuildCmdInfoPage(cmdInfo);
  PageSystem->addTab(cmdInfo, "Cmd. Info.");
  PageMain->addTab(sys, "Sys.");

  auto* net = new QWidget;
  net->setObjectName("TabShtNetWork");
  PageNet = new QTabWidget(net);
  PageNet->setObjectName("PageNet");
  (new QVBoxLayout(net))->addWidget(PageNet);
  auto* ip = new QWidget;
  ip->setObjectName("ShtNetIPAdrs");
  BuildNetIPPage(ip);
  PageNet->addTab(ip, "IP Address");
  auto* data = new QWidget;
  data->setObjectName("ShtNetData");
  BuildNetDataPage(data);
  PageNet->addTab(data, "Socket Data");
  PageMain->addTab(net, "Net.");

  auto* serial = new QWidget;
  serial->setObjectName("TabShtSerial");
  BuildSerialPage(serial);
  PageMain->addTab(serial, "Serial");
  auto* hardware = new QWidget;
  hardware->setObjectName("TabShtHardware");
  BuildHardwarePage(hardware);
  PageMain->addTab(hardware, "Hardware");
  auto* service = new QWidget;
  service->setObjectName("TabShtService");
  BuildServicePage(service);
  PageMain->addTab(service, "Service");

  BuildMenus();
  PageMain->setCurrentIndex(0);
  PageSystem->setCurrentIndex(0);
  hub_.SetView(this);
  HubChanged();
}

TFormSocket::~TFormSocket() {
  hub_.SetView(nullptr);
  for (hub::TMemoLines* m : {&hub_.MemoSocket(), &hub_.MemoCmdInfo(), &hub_.ListMsg(),
                             &hub_.MemoSysErr(), &hub_.MemoOS9(), &hub_.MemoHist()}) {
    m->OnAdded = nullptr;
    m->OnRemovedFront = nullptr;
    m->OnCleared = nullptr;
  }
}

QLabel* TFormSocket::Value(QWidget* page, int row, const QString& caption, const char* name) {
  auto* grid = static_cast<QGridLayout*>(page->layout());
  grid->addWidget(new QLabel(caption), row, 0);
  auto* v = new QLabel;
  v->setObjectName(name);
  grid->addWidget(v, row, 1);
  return v;
}

void TFormSocket::Mirror(hub::TMemoLines& memo, QPlainTextEdit* edit) {
  for (const auto& l : memo.Lines()) edit->appendPlainText(Q(l));
  memo.OnAdded = [edit](const std::string& line) { edit->appendPlainText(Q(line)); };
  memo.OnRemovedFront = [edit](std::size_t n) {
    QTextCursor c(edit->document());
    c.movePosition(QTextCursor::Start);
    c.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, static_cast<int>(n));
    if (c.atEnd()) c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    c.removeSelectedText();
  };
  memo.OnCleared = [edit] { edit->clear(); };
}

void TFormSocket::BuildSystemPage(QWidget* page) {
  auto* grid = new QGridLayout(page);
  int r = 0;
  TxtProtocol2 = Value(page, r++, "Protocol", "TxtProtocol2");
  PnlBaseSystem2 = new QFrame;
  PnlBaseSystem2->setObjectName("PnlBaseSystem2");
  PnlBaseSystem2->setFrameShape(QFrame::Panel);
  Colour(PnlBaseSystem2, ButtonFace());
  auto* dateRow = new QHBoxLayout(PnlBaseSystem2);
  TxtDate2 = new QLabel;
  TxtDate2->setObjectName("TxtDate2");
  TxtSysTime1 = new QLabel;
  TxtSysTime1->setObjectName("TxtSysTime1");
  dateRow->addWidget(TxtDate2);
  dateRow->addWidget(new QLabel("PC:"));
  dateRow->addWidget(TxtSysTime1);
  grid->addWidget(new QLabel("Date"), r, 0);
  grid->addWidget(PnlBaseSystem2, r++, 1);
  TxtName2 = Value(page, r++, "Name", "TxtName2");
  TxtSoft2 = Value(page, r++, "Software", "TxtSoft2");
  TxtHard2 = Value(page, r++, "Hardware", "TxtHard2");
  TxtHard2->installEventFilter(this);
  TxtMod2 = Value(page, r++, "Modify", "TxtMod2");
  TxtVacGauge2 = Value(page, r++, "Vac. Gauge", "TxtVacGauge2");
  TxtApType2 = Value(page, r++, "Aperture Type", "TxtApType2");
  TxtApType2->installEventFilter(this);
  TxtDetType2 = Value(page, r++, "Detector", "TxtDetType2");
  TxtEGunType2 = Value(page, r++, "E-Gun", "TxtEGunType2");
  PnlCLType = new QFrame;
  PnlCLType->setObjectName("PnlCLType");
  auto* clRow = new QHBoxLayout(PnlCLType);
  clRow->setContentsMargins(0, 0, 0, 0);
  TxtCLType2 = new QLabel;
  TxtCLType2->setObjectName("TxtCLType2");
  TxtCLType2->setToolTip("Double click to change CL-Type.");
  TxtCLType2->installEventFilter(this);
  BtnCLType = new QPushButton("Save CL Type");
  BtnCLType->setObjectName("BtnCLType");
  BtnCLType->hide();
  clRow->addWidget(TxtCLType2);
  clRow->addWidget(BtnCLType);
  grid->addWidget(new QLabel("CL Type"), r, 0);
  grid->addWidget(PnlCLType, r++, 1);
  connect(BtnCLType, &QPushButton::clicked, this, [this] {
    Colour(PnlCLType, ButtonFace());
    TxtCLType2->setStyleSheet("");
    BtnCLType->hide();
    // The record writes it on to its initial-data file; a failure (no file loaded yet, a
    // record that cannot be held) is shown, not swallowed.
    const int clType = hub_.Link().SystemInfo().SysInformation().CLType;
    const base::Status s = hub_.Records().Monitor.SetCLType(clType);
    if (!s.ok()) {
      hub_.MemoSocket().Add(
          hub::StampedLine("Save CL Type: " + s.message(), QDateTime::currentDateTime()));
    }
  });
  TxtDataInit2 = Value(page, r++, "Data Init.", "TxtDataInit2");
  LblStgType2 = Value(page, r++, "Stage Type", "LblStgType2");
  LblStgVer2 = Value(page, r++, "Stage Ver.", "LblStgVer2");
  LblVacVer2 = Value(page, r++, "Vacuum Ver.", "LblVacVer2");
  LblMessage = Value(page, r++, "Message", "LblMessage");
  LblMachinType = Value(page, r++, "Machine", "LblMachinType");

  PnlErrMsg = new QFrame;
  PnlErrMsg->setObjectName("PnlErrMsg");
  auto* err = new QHBoxLayout(PnlErrMsg);
  ScrollBarErrMsg = new QScrollBar(Qt::Horizontal);
  ScrollBarErrMsg->setObjectName("ScrollBarErrMsg");
  ScrollBarErrMsg->setRange(0, 100);
  ScrollBarErrMsg->setPageStep(5);
  LblErrCnt = new QLabel("0");
  LblErrCnt->setObjectName("LblErrCnt");
  LblErrSts = new QLabel("False");
  LblErrSts->setObjectName("LblErrSts");
  BtnErrSet = new QPushButton("SET");
  BtnErrSet->setObjectName("BtnErrSet");
  err->addWidget(ScrollBarErrMsg);
  err->addWidget(LblErrCnt);
  err->addWidget(LblErrSts);
  err->addWidget(BtnErrSet);
  grid->addWidget(PnlErrMsg, r++, 0, 1, 2);
  PnlErrMsg->setVisible(false);
  connect(ScrollBarErrMsg, &QScrollBar::valueChanged, this, [this] { ShowErrorFlag(); });
  connect(BtnErrSet, &QPushButton::clicked, this, [this] { ErrSetClicked(); });
  grid->setRowStretch(r, 1);
  PnlBaseSystem2->installEventFilter(this);
}

void TFormSocket::BuildCmdInfoPage(QWidget* page) {
  auto* v = new QVBoxLayout(page);
  auto* row = new QHBoxLayout;
  BtnCmdInfoDisp = new QPushButton("Disp");
  BtnCmdInfoDisp->setObjectName("BtnCmdInfoDisp");
  BtnCmdInfoDisp->setCheckable(true);
  auto* clear = new QPushButton("Clear");
  clear->setObjectName("BtnCmdInfoClear");
  row->addWidget(BtnCmdInfoDisp);
  row->addWidget(clear);
  row->addStretch();
  v->addLayout(row);
  MemoCmdInfo = new QPlainTextEdit;
  MemoCmdInfo->setObjectName("MemoCmdInfo");
  MemoCmdInfo->setReadOnly(true);
  v->addWidget(MemoCmdInfo);
  Mirror(hub_.MemoCmdInfo(), MemoCmdInfo);
  connect(BtnCmdInfoDisp, &QPushButton::toggled, this,
          [this](bool on) { hub_.SetCmdInfoDisp(on); });
  connect(clear, &QPushButton::clicked, this, [this] { hub_.MemoCmdInfo().Clear(); });
}

void TFormSocket::BuildNetIPPage(QWidget* page) {
  auto* grid = new QGridLayout(page);
  BtnConnect = new QPushButton("Connect");
  BtnConnect->setObjectName("BtnConnect");
  BtnConnect->setCheckable(true);
  BtnDisconnect = new QPushButton("Disconnect");
  BtnDisconnect->setObjectName("BtnDisconnect");
  BtnDisconnect->setCheckable(true);
  auto* group = new QButtonGroup(this);
  group->addButton(BtnConnect);
  group->addButton(BtnDisconnect);
  group->setExclusive(true);
  EditIPAdrs = new QLineEdit;
  EditIPAdrs->setObjectName("EditIPAdrs");
  grid->addWidget(BtnConnect, 0, 0);
  grid->addWidget(BtnDisconnect, 0, 1);
  grid->addWidget(new QLabel("IP Address"), 1, 0);
  grid->addWidget(EditIPAdrs, 1, 1);
  int r = 2;
  TxtNetSts2 = Value(page, r++, "Connected", "TxtNetSts2");
  TxtPath2 = Value(page, r++, "Path", "TxtPath2");
  TxtFName2 = Value(page, r++, "File Name", "TxtFName2");
  TxtAdrs2 = Value(page, r++, "Address", "TxtAdrs2");
  grid->setRowStretch(r, 1);
  TxtFName2->setText(Q(hub_.Link().IniFileName));
  TxtPath2->setText(Q(hub_.Link().Path));
  TxtAdrs2->setText(Q(hub_.Link().IPAddr));
  // User actions only: a programmatic state change does not click.
  connect(BtnConnect, &QPushButton::clicked, this, [this] {
    if (!hub_.ConnectDown()) hub_.PressConnect();
  });
  connect(BtnDisconnect, &QPushButton::clicked, this, [this] {
    if (!hub_.DisconnectDown()) hub_.PressDisconnect();
  });
  connect(EditIPAdrs, &QLineEdit::textEdited, this,
          [this](const QString& t) { hub_.SetEditIPAdrs(t.toStdString()); });
}

void TFormSocket::BuildNetDataPage(QWidget* page) {
  auto* v = new QVBoxLayout(page);
  auto* box = new QWidget;
  auto* grid = new QGridLayout(box);
  int r = 0;
  TxtSockOut2 = Value(box, r++, "Send (errors)", "TxtSockOut2");
  TxtSockIn2 = Value(box, r++, "Receive (errors)", "TxtSockIn2");
  LblInErr2 = Value(box, r++, "Receive status", "LblInErr2");
  LblSockError2 = Value(box, r++, "Socket error", "LblSockError2");
  LblSockError3 = Value(box, r++, "", "LblSockError3");
  LblSockTst2 = Value(box, r++, "Duplicates", "LblSockTst2");
  LblSockIn2 = Value(box, r++, "Re-entries", "LblSockIn2");
  auto* log = new QWidget;
  auto* logRow = new QHBoxLayout(log);
  logRow->addWidget(new QLabel("Comm. Log  "));
  for (std::size_t i = 0; i < kCommLog.size(); ++i) {
    auto* c = new QCheckBox(kCommLog[i].first);
    c->setObjectName(QString("ChkCommLog") + kCommLog[i].first);
    c->setProperty("tag", kCommLog[i].second);
    commLogBoxes_[i] = c;
    logRow->addWidget(c);
    connect(c, &QCheckBox::clicked, this,
            [this, unit = kCommLog[i].second](bool on) { hub_.Link().SetLogged(unit, on); });
  }
  grid->addWidget(log, r, 0, 1, 2);
  v->addWidget(box);
  MemoSocket = new QPlainTextEdit;
  MemoSocket->setObjectName("MemoSocket");
  MemoSocket->setReadOnly(true);
  MemoSocket->setContextMenuPolicy(Qt::NoContextMenu);
  MemoSocket->viewport()->installEventFilter(this);
  v->addWidget(MemoSocket, 1);
  Mirror(hub_.MemoSocket(), MemoSocket);
}

void TFormSocket::BuildSerialPage(QWidget* page) {
  auto* v = new QVBoxLayout(page);
  auto* row = new QHBoxLayout;
  auto* quit = new QPushButton("QUIT ORVO");
  quit->setObjectName("BtnQuit");
  auto* restart = new QPushButton("START ORVO");
  restart->setObjectName("BtnRestart");
  row->addWidget(quit);
  row->addWidget(restart);
  row->addStretch();
  v->addLayout(row);
  MemoOS9 = new QPlainTextEdit;
  MemoOS9->setObjectName("MemoOS9");
  v->addWidget(MemoOS9);
  Mirror(hub_.MemoOS9(), MemoOS9);
  connect(quit, &QPushButton::clicked, this, [this] {
    hub_.BtnQuitClick();
    MemoOS9->setFocus();
  });
  connect(restart, &QPushButton::clicked, this, [this] {
    hub_.BtnRestartClick();
    MemoOS9->setFocus();
  });
}

void TFormSocket::BuildHardwarePage(QWidget* page) {
  PageHardware = new QTabWidget(page);
  PageHardware->setObjectName("PageHardware");
  (new QVBoxLayout(page))->addWidget(PageHardware);
  struct Sub {
    const char* name;
    const char* caption;
    const char* pages;
    QStringList tabs;
  };
  const Sub subs[] = {
      {"ShtHardVacuum", "Vacuum", "PageVacuum", {"Status", "Command"}},
      {"ShtHardOptics", "Optics", nullptr, {}},
      {"ShtHardAperture", "Aperture", nullptr, {}},
      {"ShtHardStage", "Stage", "PageStage", {"Control", "Parameter", "Parameter2"}},
      {"ShtHardBeam", "Beam", nullptr, {}},
      {"ShtHardScan", "Scan", "PageScan", {"Status", "Data", "BitMap"}},
      {"ShtHardHard3",
       "Hard3",
       "PageHard3",
       {"Status/Control", "Data", "Op.Panel", "M.SEM", "Power2"}},
      {"ShtHardHard2", "Hard2", nullptr, {}},
  };
  for (const Sub& s : subs) {
    auto* w = new QWidget;
    w->setObjectName(s.name);
    auto* v = new QVBoxLayout(w);
    if (s.pages) {
      auto* tabs = new QTabWidget;
      tabs->setObjectName(s.pages);
      for (const QString& t : s.tabs) tabs->addTab(new QWidget, t);
      v->addWidget(tabs);
      if (std::string_view(s.caption) == "Scan") {
        MemoHist = new QPlainTextEdit;
        MemoHist->setObjectName("MemoHist");
        MemoHist->setReadOnly(true);
        MemoHist->setContextMenuPolicy(Qt::NoContextMenu);
        MemoHist->viewport()->installEventFilter(this);
        static_cast<QVBoxLayout*>(tabs->widget(0)->layout() ? tabs->widget(0)->layout()
                                                            : new QVBoxLayout(tabs->widget(0)))
            ->addWidget(MemoHist);
        Mirror(hub_.MemoHist(), MemoHist);
      }
    }
    PageHardware->addTab(w, s.caption);
  }
}

void TFormSocket::BuildServicePage(QWidget* page) {
  auto* h = new QHBoxLayout(page);
  GridInfo = new QTableWidget(20, 2);
  GridInfo->setObjectName("GridInfo");
  GridInfo->horizontalHeader()->hide();
  GridInfo->verticalHeader()->hide();
  const char* names[20] = {"System",
                           "Optics(FIB)",
                           "Optics(FIB)Mon",
                           "Optics(SEM)",
                           "Optics(SEM)Mon",
                           "ION",
                           "SEM",
                           "SCAN",
                           "VACUUM",
                           "STAGE",
                           "DATA",
                           "OM_Scope",
                           "Wafermap",
                           "DIO",
                           "ADC64",
                           "",
                           "",
                           "Power",
                           "SCAN3",
                           "Aperture"};
  for (int i = 0; i < 20; ++i) {
    GridInfo->setItem(i, 0, new QTableWidgetItem(names[i]));
    GridInfo->setItem(i, 1, new QTableWidgetItem);
  }
  GridInfo->setEditTriggers(QAbstractItemView::NoEditTriggers);
  h->addWidget(GridInfo);

  auto* right = new QVBoxLayout;
  GridMsgCnt = new QTableWidget(20, 2);
  GridMsgCnt->setObjectName("GridMsgCnt");
  GridMsgCnt->horizontalHeader()->hide();
  GridMsgCnt->verticalHeader()->hide();
  GridMsgCnt->setEditTriggers(QAbstractItemView::NoEditTriggers);
  const char* msgs[19] = {
      "Alarm Stage",    "Change Stage",      "Alarm Vacuum",       "Change Vacuum",
      "Alarm H.V.",     "Change H.V.",       "Alarm Scan",         "Start Scan",
      "Stop  Scan",     "Change Aperture",   "Change Optics",      "Change Mag",
      "Change Rot_Deg", "Scan Param. Error", "Stage Seq. TimeOut", "Stage Seq. Error",
      "Stage Alarm",    "Change Acc_Ref",    "Show Alarm"};
  GridMsgCnt->setItem(0, 0, new QTableWidgetItem("Message"));
  GridMsgCnt->setItem(0, 1, new QTableWidgetItem("Count"));
  for (int i = 0; i < 19; ++i) {
    GridMsgCnt->setItem(i + 1, 0, new QTableWidgetItem(msgs[i]));
    GridMsgCnt->setItem(i + 1, 1, new QTableWidgetItem);
  }
  right->addWidget(new QLabel("Message Handle Name"));
  right->addWidget(GridMsgCnt);
  BtnMsgCntUp = new QPushButton("Msg Count Up");
  BtnMsgCntUp->setObjectName("BtnMsgCntUp");
  BtnMsgCntUp->setCheckable(true);
  right->addWidget(BtnMsgCntUp);
  // The delivery switch is the hub's: down, notifications go to the client window as
  // messages and are counted.
  connect(BtnMsgCntUp, &QPushButton::toggled, this,
          [this](bool on) { hub_.Clients().SetMessageCountUp(on); });
  right->addWidget(new QLabel("Message"));
  ListMsg = new QListWidget;
  ListMsg->setObjectName("ListMsg");
  right->addWidget(ListMsg);
  h->addLayout(right);
  for (const auto& l : hub_.ListMsg().Lines()) ListMsg->addItem(Q(l));
  hub_.ListMsg().OnAdded = [this](const std::string& l) { ListMsg->addItem(Q(l)); };
  hub_.ListMsg().OnRemovedFront = [this](std::size_t n) {
    for (std::size_t i = 0; i < n && ListMsg->count() > 0; ++i) delete ListMsg->takeItem(0);
  };
  hub_.ListMsg().OnCleared = [this] { ListMsg->clear(); };
}

void TFormSocket::BuildMenus() {
  PopupMenuOLE = new QMenu(this);
  PopupMenuOLE->setObjectName("PopupMenuOLE");
  PopupMenuOLE->addAction("Hide OLE Server", this, [this] { hide(); });
  actShowInitData_ = PopupMenuOLE->addAction("Show Init Data", this, [this] { ShowInitData(); });
  PopupMenuOLE->addAction("Show Help", this, [this] { ShowHelp(); });
  connect(PopupMenuOLE, &QMenu::aboutToShow, this,
          [this] { actShowInitData_->setVisible(PageMain->currentIndex() == 0); });

  PopupMenuCommon = new QMenu(this);
  PopupMenuCommon->setObjectName("PopupMenuCommon");
  actAdjustTime_ = PopupMenuCommon->addAction("Adjust Time", this,
                                              [this] { (void)hub_.Link().CmdSysSetTime(); });
  actClearMemo_ = PopupMenuCommon->addAction("Clear Memo", this, [this] { ClearMarkedMemos(); });
  // Items of the hardware pages; their actions come with those pages.
  for (const char* t : {"Clear Vac. Changed Flag", "Mag Unlock", "Force Blanking",
                        "BlankingControl", "Debug IOS2 Unit"}) {
    commonActions_.push_back(PopupMenuCommon->addAction(t));
  }
  QMenu* acc = PopupMenuCommon->addMenu("Change AccV ");
  for (const char* kv : {"5kV", "10kV", "15kV", "20kV", "25kV", "30kV"}) acc->addAction(kv);
  commonActions_.push_back(acc->menuAction());
  connect(PopupMenuCommon, &QMenu::aboutToShow, this, [this] { CommonMenuShown(); });
}

void TFormSocket::SetInitDataWindow(TFormSysInitData* window) {
  initDataWindow_ = window;
}

void TFormSocket::ShowInitData() {
  TFormSysInitData* w = initDataWindow_;
  if (!w) return;
  // The monitor may be gone before the initial-data window is closed at the end.
  w->OnClosed = [self = QPointer<TFormSocket>(this)] {
    if (self) self->show();
  };
  w->move(pos());
  w->show();
  hide();
}

void TFormSocket::InstallDeactivationHandler() {
  if (deactivationInstalled_ || !qGuiApp) return;
  deactivationInstalled_ = true;
  lastFocusWindow_ = QGuiApplication::focusWindow();
  connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* w) {
    if (w) lastFocusWindow_ = w;
  });
  // Only the step from active to not active counts: inactive to hidden is no new deactivation.
  connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
          [this, wasActive = QGuiApplication::applicationState() ==
                             Qt::ApplicationActive](Qt::ApplicationState s) mutable {
            const bool active = s == Qt::ApplicationActive;
            if (wasActive && !active) ApplicationDeactivated();
            wasActive = active;
          });
}

void TFormSocket::ApplicationDeactivated() {
  TFormSysInitData* w = initDataWindow_;
  if (w && w->isVisible()) {
    // Qt has already taken the activation away; the window that had the focus last was the
    // active one.
    const bool wasActive =
        w->isActiveWindow() || (lastFocusWindow_ && lastFocusWindow_ == w->windowHandle());
    if (!wasActive) w->close();
  }
  if (ReassertZUpDialog) ReassertZUpDialog();
}

void TFormSocket::ShowHelp() {
  const QString path = QDir::cleanPath(QDir::current().absoluteFilePath(kHelpFile));
  QString problem;
  if (!QFileInfo(path).isFile()) {
    problem = "Help file not found: " + path;
  } else if (!OpenHelp || !OpenHelp(path, kHelpContext)) {
    problem = "Help file could not be opened: " + path;
  }
  if (problem.isEmpty()) return;
  hub_.MemoSocket().Add(hub::StampedLine(problem.toStdString(), QDateTime::currentDateTime()));
}

void TFormSocket::CommonMenuShown() {
  for (QAction* a : PopupMenuCommon->actions()) a->setVisible(false);
  const QString tab = PageMain->tabText(PageMain->currentIndex());
  if (tab == "Sys.") actAdjustTime_->setVisible(true);
  if (tab == "Net.") actClearMemo_->setVisible(true);
  if (tab == "Hardware") {
    const QString sub = PageHardware->tabText(PageHardware->currentIndex());
    if (sub == "Scan") actClearMemo_->setVisible(true);
    for (QAction* a : commonActions_) {
      const QString t = a->text();
      if ((sub == "Vacuum" && t == "Clear Vac. Changed Flag") ||
          (sub == "Optics" && t == "Change AccV ") ||
          (sub == "Stage" && (t == "Force Blanking" || t == "BlankingControl"))) {
        a->setVisible(true);
      }
    }
  }
}

void TFormSocket::ClearMarkedMemos() {
  if (memoHistMarked_) hub_.MemoHist().Clear();
  if (memoSocketMarked_) hub_.MemoSocket().Clear();
  memoHistMarked_ = false;
  memoSocketMarked_ = false;
}

bool TFormSocket::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
    const QPoint at = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
    if (watched == MemoSocket->viewport()) memoSocketMarked_ = true;
    if (MemoHist && watched == MemoHist->viewport()) memoHistMarked_ = true;
    if (watched == MemoSocket->viewport() || (MemoHist && watched == MemoHist->viewport()) ||
        watched == PnlBaseSystem2) {
      PopupMenuCommon->popup(at);
      return true;
    }
  }
  if (event->type() == QEvent::MouseButtonDblClick && watched == TxtCLType2) {
    auto& sys = hub_.Link().SystemInfo();
    const std::uint8_t next =
        sys.SysInformation().CLType >= 5 ? 0 : sys.SysInformation().CLType + 1;
    sys.SetCLType(next);
    Colour(PnlCLType, Qt::black);
    TxtCLType2->setStyleSheet("color: yellow");
    BtnCLType->show();
    return true;
  }
  if (event->type() == QEvent::MouseButtonRelease && hub_.DebugMode()) {
    auto& sys = hub_.Link().SystemInfo();
    const auto info = sys.SysInformation();
    if (watched == TxtHard2) {
      if (info.SysHardType == "HARD2")
        sys.SetHardType("HARD3");
      else if (info.SysHardType == "HARD3")
        sys.SetHardType("HARD2");
      return true;
    }
    if (watched == TxtApType2) {
      sys.SetApertureType(info.SysApertureType + 1 > 4 ? 0 : info.SysApertureType + 1);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TFormSocket::contextMenuEvent(QContextMenuEvent* event) {
  PopupMenuOLE->popup(event->globalPos());
}

void TFormSocket::closeEvent(QCloseEvent* event) {
  // The server keeps running: closing only hides the monitor.
  event->ignore();
  hide();
}

void TFormSocket::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  hub_.FormShow();
}

bool TFormSocket::WindowVisible() const {
  return isVisible();
}

bool TFormSocket::WindowHiddenAndMinimised() const {
  return !isVisible() && isMinimized();
}

void TFormSocket::RestoreWindow() {
  showNormal();
  raise();
}

void TFormSocket::HideWindow() {
  hide();
}

void TFormSocket::RestoreApplication() {
  if (isVisible() && isMinimized()) showNormal();
}

void TFormSocket::SelectNetPage() {
  PageMain->setCurrentIndex(1);
}

void TFormSocket::SelectPage(const std::string& name) {
  struct P {
    const char* name;
    int main;
    QTabWidget* sub;
    int index;
  };
  const P pages[] = {
      {"sys", 0, PageSystem, 0}, {"version", 0, PageSystem, 1}, {"error", 0, PageSystem, 2},
      {"cmd", 0, PageSystem, 3}, {"net", 1, PageNet, 0},        {"data", 1, PageNet, 1},
      {"serial", 2, nullptr, 0}, {"hardware", 3, nullptr, 0},   {"service", 4, nullptr, 0}};
  for (const P& p : pages) {
    if (name != p.name) continue;
    PageMain->setCurrentIndex(p.main);
    if (p.sub) p.sub->setCurrentIndex(p.index);
  }
}

void TFormSocket::HubChanged() {
  const QSignalBlocker b1(BtnConnect), b2(BtnDisconnect);
  BtnConnect->setChecked(hub_.ConnectDown());
  BtnDisconnect->setChecked(hub_.DisconnectDown());
  EditIPAdrs->setEnabled(hub_.EditIPAdrsEnabled());
  if (EditIPAdrs->text() != Q(hub_.EditIPAdrs())) EditIPAdrs->setText(Q(hub_.EditIPAdrs()));
  PnlErrMsg->setVisible(hub_.DebugMode());
  {
    const QSignalBlocker b(BtnMsgCntUp);
    BtnMsgCntUp->setChecked(hub_.Clients().MessageCountUp());
  }
  RefreshMessageCounts();
  for (QCheckBox* c : commLogBoxes_) {
    const QSignalBlocker b(c);
    c->setChecked(hub_.Link().IsLogged(c->property("tag").toInt()));
  }
}

void TFormSocket::RefreshPages() {
  if (!isVisible() || isMinimized() || !hub_.RefreshEnabled()) return;
  if (!hub_.DebugMode() && !hub_.ConnectDown()) return;
  switch (PageMain->currentIndex()) {
    case 0:
      if (PageSystem->currentIndex() == 0) RefreshSystem();
      break;
    case 1:
      RefreshNet();
      break;
    case 3:
      break;  // the hardware pages refresh themselves through their own subsystems
    case 4:
      RefreshService();
      break;
    default:
      break;
  }
}

void TFormSocket::RefreshSystem() {
  link::TOrvoComAna& link = hub_.Link();
  const model::SysInformation info = link.SysInformation();
  if (!hub_.DebugMode()) {
    if (!hub::IsPado(info.SysName)) (void)link.CmdStageRequest(2);
    (void)link.CmdVacRequest(3);
  }
  SetTextIfChanged(TxtProtocol2, Q(info.SysProtocol));
  SetTextIfChanged(TxtDate2, Q(info.SysTime));
  SetTextIfChanged(TxtName2, Q(info.SysName));
  SetTextIfChanged(TxtSoft2, Q(info.SysVersion));
  SetTextIfChanged(TxtHard2, Q(info.SysHardType));
  SetTextIfChanged(TxtMod2, QString::number(info.SysModifyFlag ? 1 : 0));
  SetTextIfChanged(TxtVacGauge2, QString::number(info.SysVacGaugeType));
  SetTextIfChanged(TxtApType2, QString::number(info.SysApertureType));
  SetTextIfChanged(TxtDetType2, model::DetectorTypeText(info.DetectorType));
  SetTextIfChanged(TxtEGunType2, model::EGunTypeText(info.EGunType));
  const auto& voltages = hub_.PendingSteps().CLTypeVoltages;
  const std::string volts = voltages ? voltages() : "";
  SetTextIfChanged(TxtCLType2, Q(model::CLTypeText(info.CLType) + volts));
  SetTextIfChanged(TxtDataInit2, info.SysDataInitialized ? "True" : "False");
  SetTextIfChanged(LblStgType2, Q(initData_.StageTypeText()));
  // TODO(models): the stage and vacuum version texts come with their unit models.
  const bool assigned = hub_.Clients().UseEventFlag();
  SetTextIfChanged(LblMessage, assigned ? "Assigned" : "Not Assigned");
  const int mt = hub_.MachineType();
  SetTextIfChanged(LblMachinType, mt == 1 ? "ORVO" : mt == 2 ? "PADO" : "None");
  const QDateTime now = QDateTime::currentDateTime();
  SetTextIfChanged(TxtSysTime1, now.toString("yyyy/MM/dd hh:mm:ss"));
  ApplyClockCheck(info.SysTime, now);
}

void TFormSocket::ApplyClockCheck(const std::string& controllerClock, const QDateTime& pc) {
  const hub::ClockCheck c = hub::CheckControllerClock(controllerClock, pc);
  if (c == hub::ClockCheck::kInvalid) return;
  const QColor now = PnlBaseSystem2->palette().color(QPalette::Window);
  if (c == hub::ClockCheck::kOff && now == ButtonFace()) Colour(PnlBaseSystem2, kYellow);
  if (c == hub::ClockCheck::kInStep && now == kYellow) Colour(PnlBaseSystem2, ButtonFace());
}

void TFormSocket::RefreshNet() {
  const link::TOrvoComAna& link = hub_.Link();
  const QString sts = link.IsConnected() != 0 ? "TRUE" : "FALSE";
  SetTextIfChanged(TxtNetSts2, sts);
  SetTextIfChanged(TxtPath2, QDir::currentPath());
  SetTextIfChanged(TxtAdrs2, EditIPAdrs->text());
  SetTextIfChanged(TxtSockOut2, Fmt("%lld(%lld)", link.SendCount(), link.SendErrorCount()));
  SetTextIfChanged(TxtSockIn2, Fmt("%lld(%lld)", link.ReceiveCount(), link.RecvErrorCount()));
  SetTextIfChanged(LblInErr2, Q(link.StatusText()));
  SetTextIfChanged(LblSockError2, QString::number(link.LastSocketError()));
  SetTextIfChanged(LblSockError3, Q(link.LastSocketErrorText()));
  // The link manager does not detect repeated frames, so there is no duplicate count to show.
  SetTextIfChanged(LblSockTst2, "0");
  SetTextIfChanged(LblSockIn2, QString::number(hub_.SockInCount()));
}

void TFormSocket::RefreshService() {
  for (int i = 0; i < 20; ++i) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%6d", i + 1 <= 25 ? hub_.Link().CycleCount(i + 1) : 0);
    if (GridInfo->item(i, 1)->text() != buf) GridInfo->item(i, 1)->setText(buf);
  }
  RefreshMessageCounts();
}

void TFormSocket::RefreshMessageCounts() {
  // Rows 1..19 are the counted ids 1127..1145; counts only move while Msg Count Up is down.
  const hub::THubClients& clients = hub_.Clients();
  for (int row = 1; row < GridMsgCnt->rowCount(); ++row) {
    const int id = hub::THubClients::kFirstCountedId + row - 1;
    const QString text = clients.MessageCountUp() ? QString::number(clients.MessageCount(id)) : "";
    if (GridMsgCnt->item(row, 1)->text() != text) GridMsgCnt->item(row, 1)->setText(text);
  }
}

// The debug panel's flags are the monitor record's, as clients and other processes see them.
bool TFormSocket::AlarmFlag(int n) {
  const auto flag = hub_.Records().Monitor.GetAlarm(n);
  return flag.ok() && *flag != 0;
}

void TFormSocket::ShowErrorFlag() {
  const int n = ScrollBarErrMsg->value();
  LblErrCnt->setText(QString::number(n));
  const bool set = n >= 0 && n <= 150 && AlarmFlag(n);
  LblErrSts->setText(set ? "True" : "False");
}

void TFormSocket::ErrSetClicked() {
  const int n = ScrollBarErrMsg->value();
  // The panel shows what it read last; SET acts on that, as the operator sees it.
  if (const base::Status s = hub_.PanelAlarm(n, LblErrSts->text() == "False"); !s.ok()) {
    hub_.MemoSocket().Add(hub::StampedLine("alarm " + std::to_string(n) + ": " + s.message(),
                                           QDateTime::currentDateTime()));
  }
  ShowErrorFlag();
}

}  // namespace tarvel::ui
