#include "ui/form_sys_init_data.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "base/code_page.h"

namespace tarvel::ui {
namespace {

// File texts are CP932; widgets want UTF-16.
QString Text(const std::string& cp932) {
  return QString::fromStdString(base::Cp932ToUtf8(cp932));
}

const char* const kAxisNames[config::kAxisCount] = {
    "BtnStgAxisX",   "BtnStgAxisY",   "BtnStgAxisZ",    "BtnStgAxisT",   "BtnStgAxisR",
    "BtnStgAxisAPX", "BtnStgAxisAPY", "BtnStgAxisAP2X", "BtnStgAxisAP2Y"};
const char* const kAxisCaptions[config::kAxisCount] = {"X",    "Y",    "Z",     "T",    "R",
                                                       "AP-X", "AP-Y", "AP2-X", "AP2-Y"};
const char* const kGaugeHints[config::kGaugeCount] = {"Main Chamber", "Sub Chamber", "Ion Chamber",
                                                      "Sem 1", "Sem 2"};

QStringList InvFrameItems() {
  QStringList items;
  for (int f = 5; f <= 20; ++f) items << QString::number(f);
  return items;
}

}  // namespace

TFormSysInitData::TFormSysInitData(config::TSysInitData& data, QWidget* parent)
    : QWidget(parent), data_(data) {
  setObjectName("FormSysInitData");
  setWindowTitle("System Initial Data");
  // Texts of the installation may be Japanese: prefer a font that has the glyphs.
  QFont f = font();
  f.setFamilies({f.family(), "IPAGothic", "IPAPGothic", "Noto Sans CJK JP"});
  setFont(f);

  PopupSystem = MakeMenu("PopupSystem",
                         {"ORVO410", "ORVO420", "ORVO430", "ORVO440", "PADO510", "PADO530",
                          "PADO520", "K4_SEM", "K4_FIB", "PADO540", "PADO-5", "PADO-6"},
                         &TFormSysInitData::OnSystemChosen);
  PopupOptics = MakeMenu("PopupOptics", {"IOS", "IOS2"}, &TFormSysInitData::OnOpticsChosen);
  PopupV1Close =
      MakeMenu("PopupV1Close", {"Enable", "Disable"}, &TFormSysInitData::OnV1CloseChosen);
  PopupScanType = MakeMenu("PopupScanType", {"VME", "PC"}, &TFormSysInitData::OnScanTypeChosen);
  PopupInvFrame = MakeMenu("PopupInvFrame", InvFrameItems(), &TFormSysInitData::OnInvFrameChosen);
  PopupStage = MakeMenu("PopupStage",
                        {"ORVO410", "PADO_TYPE1", "PADO_TYPE2", "PADO_TYPE3", "PADO_TYPE4(510B)",
                         "PADO_TYPE5(510)", "PADO_TYPE6", "PADO_TYPE7(530)", "PADO_TYPE8(WEAVER)"},
                        &TFormSysInitData::OnStageChosen);
  PopupVacuum = MakeMenu("PopupVacuum", {"ORVO410", "PADO_TYPE1", "PADO_TYPE2"},
                         &TFormSysInitData::OnVacuumChosen);
  PopupSubChamber =
      MakeMenu("PopupSubChamber", {"None", "Exist"}, &TFormSysInitData::OnSubChamberChosen);
  PopupTransfer = MakeMenu("PopupTransfer", {"None", "Manual", "Auto_Rod", "Robot_Arm"},
                           &TFormSysInitData::OnTransferChosen);
  // The captions are as the operators know them, misspelling included.
  PopupGauge =
      MakeMenu("PopupGauge", {"Calc. No.1", "Cacl. No.2", "Calc No.3", "Calc No.4", "Calc No.5"},
               &TFormSysInitData::OnGaugeChosen);

  connect(PopupSystem, &QMenu::aboutToShow, this,
          [this] { CheckCurrent(PopupSystem, data_.SystemType()); });
  connect(PopupOptics, &QMenu::aboutToShow, this,
          [this] { CheckCurrent(PopupOptics, data_.OpticsType()); });
  connect(PopupV1Close, &QMenu::aboutToShow, this,
          [this] { CheckCurrent(PopupV1Close, data_.V1CloseText() == "Enable" ? 0 : 1); });
  connect(PopupScanType, &QMenu::aboutToShow, this,
          [this] { CheckCurrent(PopupScanType, data_.ScanType()); });
  connect(PopupInvFrame, &QMenu::aboutToShow, this, [this] {
    CheckCurrent(PopupInvFrame, data_.InvFrame() - 5);  // out of range checks nothing
  });
  connect(PopupStage, &QMenu::aboutToShow, this,
          [this] { CheckCurrent(PopupStage, data_.StageType()); });
  connect(PopupVacuum, &QMenu::aboutToShow, this,
          [this] { CheckCurrent(PopupVacuum, data_.VacuumType()); });
  connect(PopupSubChamber, &QMenu::aboutToShow, this,
          [this] { CheckCurrent(PopupSubChamber, data_.SubChamber()); });
  connect(PopupTransfer, &QMenu::aboutToShow, this,
          [this] { CheckCurrent(PopupTransfer, data_.Transfer()); });
  connect(PopupGauge, &QMenu::aboutToShow, this, [this] {
    int index = -1;
    if (gaugeTarget_ >= 0) {
      const std::string text = data_.GaugeText(gaugeTarget_);
      for (std::size_t k = 0; k < config::kGaugeTypeNames.size(); ++k) {
        if (config::kGaugeTypeNames[k] == text) index = static_cast<int>(k);
      }
    }
    CheckCurrent(PopupGauge, index);
  });

  tabs_ = new QTabWidget(this);

  auto* system = new QWidget;
  auto* systemGrid = new QGridLayout(system);
  LblDirectory = AddRow(system, 0, "Directory  ", "LblDirectory");
  LblFileName = AddRow(system, 1, "FileName", "LblFileName");
  LblFileDate = AddRow(system, 2, "Date", "LblFileDate");
  LblSysType = AddRow(system, 3, "Type", "LblSysType", PopupSystem);
  LblOpticsType = AddRow(system, 4, "Optics", "LblOpticsType", PopupOptics);
  LblV1CloseUse = AddRow(system, 5, "V1Close", "LblV1CloseUse", PopupV1Close);
  systemGrid->itemAtPosition(5, 0)->widget()->setToolTip("Enable/Disable V1 Close Timer");
  LblScanType = AddRow(system, 6, "ScanType", "LblScanType", PopupScanType);
  LblInvFrmTimer = AddRow(system, 7, "Inv.Frame", "LblInvFrmTimer", PopupInvFrame);
  LblInvFrmTimer->setToolTip("Scan DSP Invalid Frame Timer");
  CheckBox_ASEM = new QCheckBox("ASEM", system);
  CheckBox_ASEM->setObjectName("CheckBox_ASEM");
  CheckBox_2ndFIB = new QCheckBox("2nd FIB", system);
  CheckBox_2ndFIB->setObjectName("CheckBox_2ndFIB");
  systemGrid->addWidget(CheckBox_ASEM, 8, 0);
  systemGrid->addWidget(CheckBox_2ndFIB, 8, 1);
  systemGrid->setRowStretch(9, 1);
  tabs_->addTab(system, "System");

  auto* stage = new QWidget;
  auto* stageGrid = new QGridLayout(stage);
  LblStageType = AddRow(stage, 0, "Type", "LblStageType", PopupStage);
  LblStageAxisNo = AddRow(stage, 1, "Axis No.", "LblStageAxisNo");
  stageGrid->addWidget(new QLabel("Axis", stage), 2, 0);
  auto* axisRow = new QHBoxLayout;
  for (int i = 0; i < config::kAxisCount; ++i) {
    auto* b = new QToolButton(stage);
    b->setObjectName(kAxisNames[i]);
    b->setText(kAxisCaptions[i]);
    b->setCheckable(true);  // each releases independently
    connect(b, &QToolButton::clicked, this, &TFormSysInitData::OnAxisClicked);
    axisButtons_[static_cast<std::size_t>(i)] = b;
    axisRow->addWidget(b);
  }
  stageGrid->addLayout(axisRow, 2, 1);
  stageGrid->setRowStretch(3, 1);
  tabs_->addTab(stage, "Stage");

  auto* vacuum = new QWidget;
  auto* vacuumLayout = new QVBoxLayout(vacuum);
  auto* vacuumTop = new QWidget(vacuum);
  new QGridLayout(vacuumTop);
  LblVacType = AddRow(vacuumTop, 0, "Type", "LblVacType", PopupVacuum);
  LblVacSub = AddRow(vacuumTop, 1, "Sub Chamber", "LblVacSub", PopupSubChamber);
  LblVacTransfer = AddRow(vacuumTop, 2, "Transfer System", "LblVacTransfer", PopupTransfer);
  vacuumLayout->addWidget(vacuumTop);
  auto* gauges = new QGroupBox("Vacuum  Gauge Calc. ", vacuum);
  new QGridLayout(gauges);
  for (int i = 0; i < config::kGaugeCount; ++i) {
    const QByteArray name = "LblGauge" + QByteArray::number(i + 1);
    QLabel* l = AddRow(gauges, i, QString("Gauge %1 ").arg(i + 1), name.constData(), PopupGauge);
    l->setToolTip(kGaugeHints[i]);
    l->installEventFilter(this);
    gaugeLabels_[static_cast<std::size_t>(i)] = l;
  }
  vacuumLayout->addWidget(gauges);
  vacuumLayout->addStretch(1);
  tabs_->addTab(vacuum, "Vacuum");

  connect(CheckBox_ASEM, &QCheckBox::clicked, this,
          [this](bool on) { Apply(data_.SetUseASEM(on)); });
  connect(CheckBox_2ndFIB, &QCheckBox::clicked, this,
          [this](bool on) { Apply(data_.SetSecondFIB(on)); });

  LblStatus = new QLabel(this);
  LblStatus->setObjectName("LblStatus");
  LblStatus->setWordWrap(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addWidget(LblStatus);
  tabs_->setCurrentIndex(0);
  Refresh();
}

QLabel* TFormSysInitData::AddRow(QWidget* page, int row, const QString& caption, const char* name,
                                 QMenu* menu) {
  auto* grid = static_cast<QGridLayout*>(page->layout());
  grid->addWidget(new QLabel(caption, page), row, 0);
  auto* value = new QLabel(page);
  value->setObjectName(name);
  value->setFrameShape(QFrame::Panel);
  value->setFrameShadow(QFrame::Sunken);
  grid->addWidget(value, row, 1);
  if (menu) {
    value->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(value, &QLabel::customContextMenuRequested, menu,
            [value, menu](const QPoint& pos) { menu->popup(value->mapToGlobal(pos)); });
  }
  return value;
}

QMenu* TFormSysInitData::MakeMenu(const char* name, const QStringList& items,
                                  void (TFormSysInitData::*chosen)(int)) {
  auto* menu = new QMenu(this);
  menu->setObjectName(name);
  auto* group = new QActionGroup(menu);
  group->setExclusive(true);
  for (int i = 0; i < items.size(); ++i) {
    QAction* a = menu->addAction(items[i]);
    a->setCheckable(true);
    a->setData(i);  // the row of the value table this item stands for
    group->addAction(a);
    connect(a, &QAction::triggered, this, [this, chosen, i] { (this->*chosen)(i); });
  }
  return menu;
}

void TFormSysInitData::CheckCurrent(QMenu* menu, int index) {
  const QList<QAction*> actions = menu->actions();
  for (int i = 0; i < actions.size(); ++i) {
    actions[i]->setChecked(data_.Loaded() && i == index);
  }
}

void TFormSysInitData::Apply(const base::Status& s) {
  Refresh();  // also puts back check boxes and buttons whose change was refused
  // The holder keeps the text of a failed write; a refusal before loading is shown here too.
  if (!s.ok()) LblStatus->setText(Text(s.message()));
}

base::Status TFormSysInitData::LoadInitData(int machineType) {
  base::Status s = data_.LoadInitData(machineType);
  Refresh();
  return s;
}

void TFormSysInitData::Refresh() {
  LblDirectory->setText(Text(data_.DirectoryText()));
  LblFileName->setText(Text(data_.FileNameText()));
  LblFileDate->setText(Text(data_.FileDateText()));
  LblSysType->setText(Text(data_.SysTypeText()));
  LblOpticsType->setText(Text(data_.OpticsTypeText()));
  LblV1CloseUse->setText(Text(data_.V1CloseText()));
  LblScanType->setText(Text(data_.ScanTypeText()));
  LblInvFrmTimer->setText(Text(data_.InvFrameText()));
  CheckBox_ASEM->setChecked(data_.UseASEM());
  CheckBox_2ndFIB->setChecked(data_.SecondFIB());
  LblStageType->setText(Text(data_.StageTypeText()));
  LblStageAxisNo->setText(Text(data_.AxisNoText()));
  for (int i = 0; i < config::kAxisCount; ++i) {
    axisButtons_[static_cast<std::size_t>(i)]->setChecked(data_.AxisEnabled(i));
  }
  LblVacType->setText(Text(data_.VacTypeText()));
  LblVacSub->setText(Text(data_.VacSubText()));
  LblVacTransfer->setText(Text(data_.VacTransferText()));
  for (int i = 0; i < config::kGaugeCount; ++i) {
    gaugeLabels_[static_cast<std::size_t>(i)]->setText(Text(data_.GaugeText(i)));
  }
  LblStatus->setText(Text(data_.StatusText()));
}

void TFormSysInitData::closeEvent(QCloseEvent* event) {
  event->ignore();
  hide();
  emit Closed();
  if (OnClosed) OnClosed();
}

void TFormSysInitData::showEvent(QShowEvent* event) {
  Refresh();
  QWidget::showEvent(event);
}

bool TFormSysInitData::eventFilter(QObject* watched, QEvent* event) {
  for (int i = 0; i < config::kGaugeCount; ++i) {
    if (watched != gaugeLabels_[static_cast<std::size_t>(i)]) continue;
    if (event->type() == QEvent::MouseButtonPress) {
      auto* m = static_cast<QMouseEvent*>(event);
      if (m->button() == Qt::RightButton) gaugeTarget_ = i;
    } else if (event->type() == QEvent::MouseButtonRelease) {
      // Releasing the left button while the right one is held cancels the choice of target.
      auto* m = static_cast<QMouseEvent*>(event);
      if (m->button() == Qt::LeftButton && (m->buttons() & Qt::RightButton)) gaugeTarget_ = -1;
    }
    break;
  }
  return QWidget::eventFilter(watched, event);
}

void TFormSysInitData::OnSystemChosen(int i) {
  Apply(data_.ChooseSystemType(i));
}
void TFormSysInitData::OnOpticsChosen(int i) {
  Apply(data_.ChooseOpticsType(i));
}
void TFormSysInitData::OnV1CloseChosen(int i) {
  Apply(data_.SetV1CloseUse(i == 0));
}
void TFormSysInitData::OnScanTypeChosen(int i) {
  Apply(data_.ChooseScanType(i));
}
void TFormSysInitData::OnInvFrameChosen(int i) {
  Apply(data_.ChooseInvFrame(5 + i));
}
void TFormSysInitData::OnStageChosen(int i) {
  Apply(data_.ChooseStageType(i));
}
void TFormSysInitData::OnVacuumChosen(int i) {
  Apply(data_.ChooseVacuumType(i));
}
void TFormSysInitData::OnSubChamberChosen(int i) {
  Apply(data_.ChooseSubChamber(i));
}
void TFormSysInitData::OnTransferChosen(int i) {
  Apply(data_.ChooseTransfer(i));
}

void TFormSysInitData::OnGaugeChosen(int type) {
  if (gaugeTarget_ < 0) return;  // no gauge label was right-pressed
  const int gauge = gaugeTarget_;
  gaugeTarget_ = -1;
  Apply(data_.ChooseGauge(gauge, type));
}

void TFormSysInitData::OnAxisClicked() {
  std::array<bool, config::kAxisCount> down{};
  for (int i = 0; i < config::kAxisCount; ++i) {
    down[static_cast<std::size_t>(i)] = axisButtons_[static_cast<std::size_t>(i)]->isChecked();
  }
  Apply(data_.SetAxes(down));  // a refused change puts the buttons back
}

}  // namespace tarvel::ui
