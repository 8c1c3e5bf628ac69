// TFormSocket: the monitor window, a view over the hub.
//
// Shows the hub (hub::TSocketHub) and edits it: the page tree with its five tabs, the System,
// Cmd. Info., IP Address, Socket Data and Service pages, the memos mirrored from the hub's memo
// lines, the two popup menus. The hub owns every state and timer; the window only answers the
// hub's THubView questions (visible, minimised, raise, refresh). Closing hides the window. The
// hardware, version and error pages are frames that their own subsystems fill.
//
// Refresh rule: only while visible, not minimised, the hub allows it and either debug mode is
// on or Connect is down; only the page on top. Main thread only; the hub and the configuration
// holder are borrowed and outlive the window.
#pragma once

#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>
#include <string>

#include "config/sys_init_data.h"
#include "hub/socket_hub.h"

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;
class QTabWidget;
class QTableWidget;
class QWindow;

namespace tarvel::ui {

class TFormSysInitData;

class TFormSocket : public QWidget, public hub::THubView {
  Q_OBJECT

 public:
  TFormSocket(hub::TSocketHub& hub, config::TSysInitData& initData, QWidget* parent = nullptr);
  ~TFormSocket() override;

  // THubView
  bool WindowVisible() const override;
  bool WindowHiddenAndMinimised() const override;
  void RestoreWindow() override;
  void RestoreApplication() override;
  void HideWindow() override;
  void SelectNetPage() override;
  void RefreshPages() override;
  void RefreshScanStatus() override {}
  void HubChanged() override;

  // Brings a page to the top: "sys", "version", "error", "cmd", "net", "data", "serial",
  // "hardware", "service".
  void SelectPage(const std::string& name);
  // The date panel's colour by the controller clock text against the PC clock: yellow when more
  // than 5 s off, button face when in step, only when it is the other of the two; an invalid
  // text changes nothing.
  void ApplyClockCheck(const std::string& controllerClock, const QDateTime& pc);

  // The initial-data window that "Show Init Data" shows in place of this one. Borrowed; null
  // (the default) makes the item do nothing, and a destroyed window reads as null.
  void SetInitDataWindow(TFormSysInitData* window);
  // "Show Init Data": the initial-data window at this window's left and top, this one hidden
  // until that one closes.
  void ShowInitData();

  // Connects ApplicationDeactivated to the application's loss of activation and starts
  // remembering which window had the focus last. Call once, at the end of start-up.
  void InstallDeactivationHandler();
  // Another application became active: closes the initial-data window if it is visible and was
  // not the active window, then runs ReassertZUpDialog.
  void ApplicationDeactivated();
  // Makes the stage Z-up confirmation dialog topmost again (without moving, sizing or
  // activating it) when it is visible; empty until that dialog exists.
  std::function<void()> ReassertZUpDialog;

  // The help file of "Show Help", relative to the current directory, and its context.
  static constexpr const char* kHelpFile = "../Help/Tarvel.Hlp";
  static constexpr int kHelpContext = 3;
  // Opens an existing help file (absolute path) at a context; false when nothing took it. The
  // default hands the file to the desktop's opener, which has no contexts, and does not wait
  // for the viewer.
  std::function<bool(const QString& path, int context)> OpenHelp;
  // "Show Help": opens kHelpFile; a missing file or a failed opener becomes a MemoSocket line
  // with the absolute path.
  void ShowHelp();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildSystemPage(QWidget* page);
  void BuildCmdInfoPage(QWidget* page);
  void BuildNetIPPage(QWidget* page);
  void BuildNetDataPage(QWidget* page);
  void BuildSerialPage(QWidget* page);
  void BuildHardwarePage(QWidget* page);
  void BuildServicePage(QWidget* page);
  void BuildMenus();
  QLabel* Value(QWidget* page, int row, const QString& caption, const char* name);
  void Mirror(hub::TMemoLines& memo, QPlainTextEdit* edit);

  void RefreshSystem();
  void RefreshNet();
  void RefreshService();
  void CommonMenuShown();
  void ClearMarkedMemos();
  bool AlarmFlag(int n);
  void RefreshMessageCounts();
  void ShowErrorFlag();
  void ErrSetClicked();

  hub::TSocketHub& hub_;
  config::TSysInitData& initData_;

  QTabWidget* PageMain = nullptr;
  QTabWidget* PageSystem = nullptr;
  QTabWidget* PageNet = nullptr;
  QTabWidget* PageHardware = nullptr;

  // System page.
  QLabel *TxtProtocol2, *TxtDate2, *TxtName2, *TxtSoft2, *TxtHard2, *TxtMod2, *TxtVacGauge2,
      *TxtApType2, *TxtDetType2, *TxtEGunType2, *TxtCLType2, *TxtDataInit2, *LblStgType2,
      *LblStgVer2, *LblVacVer2, *LblMessage, *LblMachinType, *TxtSysTime1;
  QFrame* PnlBaseSystem2 = nullptr;
  QFrame* PnlCLType = nullptr;
  QPushButton* BtnCLType = nullptr;
  QFrame* PnlErrMsg = nullptr;
  QScrollBar* ScrollBarErrMsg = nullptr;
  QLabel* LblErrCnt = nullptr;
  QLabel* LblErrSts = nullptr;
  QPushButton* BtnErrSet = nullptr;

  // Cmd. Info.
  QPushButton* BtnCmdInfoDisp = nullptr;
  QPlainTextEdit* MemoCmdInfo = nullptr;

  // Net.
  QPushButton* BtnConnect = nullptr;
  QPushButton* BtnDisconnect = nullptr;
  QLineEdit* EditIPAdrs = nullptr;
  QLabel *TxtNetSts2, *TxtPath2, *TxtFName2, *TxtAdrs2;
  QLabel *TxtSockOut2, *TxtSockIn2, *LblInErr2, *LblSockError2, *LblSockError3, *LblSockTst2,
      *LblSockIn2;
  QPlainTextEdit* MemoSocket = nullptr;
  std::array<QCheckBox*, 5> commLogBoxes_{};

  // Serial, hardware and service.
  QPlainTextEdit* MemoOS9 = nullptr;
  QPlainTextEdit* MemoHist = nullptr;
  QTableWidget* GridInfo = nullptr;
  QTableWidget* GridMsgCnt = nullptr;
  QPushButton* BtnMsgCntUp = nullptr;
  QListWidget* ListMsg = nullptr;

  QMenu* PopupMenuOLE = nullptr;
  QMenu* PopupMenuCommon = nullptr;
  QAction* actShowInitData_ = nullptr;
  QAction* actAdjustTime_ = nullptr;
  QAction* actClearMemo_ = nullptr;
  QList<QAction*> commonActions_;
  bool memoSocketMarked_ = false;
  bool memoHistMarked_ = false;

  QPointer<TFormSysInitData> initDataWindow_;
  // The last window that had the focus: by the time the application reports its deactivation
  // no window has it any more.
  QPointer<QWindow> lastFocusWindow_;
  bool deactivationInstalled_ = false;
};

}  // namespace tarvel::ui
