// TFormSysInitData: the "System Initial Data" window.
//
// Shows the installation configuration held by a config::TSysInitData on three tabs ("System",
// "Stage", "Vacuum") and edits it through popup menus on the value labels, two check boxes and
// nine axis toggle buttons. Every edit goes through the holder, which writes one key and updates
// its cache; the window then shows the holder's texts again. Until the holder is loaded the
// labels read "xxxxxxxxxxxx" and the menus, boxes and buttons change nothing.
//
// The holder is borrowed and must outlive the window. Closing only hides the window, emits
// Closed() and runs OnClosed (the monitor window shows itself again). Main thread only.
#pragma once

#include <QWidget>
#include <array>
#include <functional>

#include "config/sys_init_data.h"

class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QTabWidget;
class QToolButton;

namespace tarvel::ui {

class TFormSysInitData : public QWidget {
  Q_OBJECT

 public:
  explicit TFormSysInitData(config::TSysInitData& data, QWidget* parent = nullptr);

  // Loads the holder (only its first successful load does anything) and shows the result.
  base::Status LoadInitData(int machineType);
  // Shows the holder's current values; call after changing the holder from elsewhere.
  void Refresh();

  // Runs after every close; whoever showed the window last sets it (one owner at a time, so a
  // second "Show Init Data" replaces rather than adds).
  std::function<void()> OnClosed;

 signals:
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLabel* AddRow(QWidget* page, int row, const QString& caption, const char* name,
                 QMenu* menu = nullptr);
  QMenu* MakeMenu(const char* name, const QStringList& items,
                  void (TFormSysInitData::*chosen)(int));
  void CheckCurrent(QMenu* menu, int index);
  // Shows the holder again and the outcome of a change.
  void Apply(const base::Status& s);

  void OnSystemChosen(int i);
  void OnOpticsChosen(int i);
  void OnV1CloseChosen(int i);
  void OnScanTypeChosen(int i);
  void OnInvFrameChosen(int i);
  void OnStageChosen(int i);
  void OnVacuumChosen(int i);
  void OnSubChamberChosen(int i);
  void OnTransferChosen(int i);
  void OnGaugeChosen(int type);
  void OnAxisClicked();

  config::TSysInitData& data_;
  QTabWidget* tabs_ = nullptr;

  QLabel* LblDirectory = nullptr;
  QLabel* LblFileName = nullptr;
  QLabel* LblFileDate = nullptr;
  QLabel* LblSysType = nullptr;
  QLabel* LblOpticsType = nullptr;
  QLabel* LblV1CloseUse = nullptr;
  QLabel* LblScanType = nullptr;
  QLabel* LblInvFrmTimer = nullptr;
  QCheckBox* CheckBox_ASEM = nullptr;
  QCheckBox* CheckBox_2ndFIB = nullptr;
  QLabel* LblStageType = nullptr;
  QLabel* LblStageAxisNo = nullptr;
  std::array<QToolButton*, config::kAxisCount> axisButtons_{};
  QLabel* LblVacType = nullptr;
  QLabel* LblVacSub = nullptr;
  QLabel* LblVacTransfer = nullptr;
  std::array<QLabel*, config::kGaugeCount> gaugeLabels_{};
  QLabel* LblStatus = nullptr;

  QMenu* PopupSystem = nullptr;
  QMenu* PopupOptics = nullptr;
  QMenu* PopupV1Close = nullptr;
  QMenu* PopupScanType = nullptr;
  QMenu* PopupInvFrame = nullptr;
  QMenu* PopupStage = nullptr;
  QMenu* PopupVacuum = nullptr;
  QMenu* PopupSubChamber = nullptr;
  QMenu* PopupTransfer = nullptr;
  QMenu* PopupGauge = nullptr;

  int gaugeTarget_ = -1;  // the gauge whose label was right-pressed; -1 none
};

}  // namespace tarvel::ui
