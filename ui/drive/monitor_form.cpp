#include "ui/drive/monitor_form.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <functional>

#include "core/common.h"
#include "core/modbus.h"
#include "core/param_access.h"
#include "core/read_back.h"
#include "core/serial_link.h"
#include "platform/gui/gui_services.h"
#include "ui/common/extra_texts.h"
#include "ui/common/message_loop.h"
#include "ui/common/qt_text.h"
#include "ui/drive/lamps.h"

namespace ui {

using platform::gui::Buttons;
using platform::gui::Gui;
using platform::gui::Icon;

namespace {

constexpr int kAdvancedShift = 88;  // the room GroupBox4 takes back when there is no advanced list

// The drive's command word: the command buttons toggle its bits. While bit 0 of the status word
// is set the drive takes no command there; the value 4 ends the session (the window closes and
// the link with it).
constexpr std::uint16_t kCommandRegister = 948;
constexpr std::uint8_t kEndSessionCommand = 4;
// A command at this register changes what the set-points mean: they are read again after it.
constexpr std::uint16_t kSetpointModeRegister = 428;

QString ItemLabel(const core::MonitorItem& item) {
  const int lang = core::State().LanguageIndex;
  return lang >= 1 && lang <= 4 ? Qs(item.labels[static_cast<std::size_t>(lang - 1)].view()) : QString();
}

QLabel* NewLabel(QWidget* parent, const QString& name, int x, int y, int w, int h = 16) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setGeometry(x, y, w, h);
  return label;
}

// A text field that shows a value read from the drive.
QLabel* NewStatic(QWidget* parent, const QString& name, int x, int y, int w, int h = 16) {
  QLabel* label = NewLabel(parent, name, x, y, w, h);
  label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  return label;
}

QLineEdit* NewEdit(QWidget* parent, const QString& name, int x, int y, int w, int maxLength) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setGeometry(x, y, w, 21);
  edit->setMaxLength(maxLength);
  return edit;
}

QPushButton* NewButton(QWidget* parent, const QString& name, const QString& caption, int x, int y, int w, int h = 21) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setGeometry(x, y, w, h);
  button->setAutoDefault(false);
  return button;
}

QGroupBox* NewBox(QWidget* parent, const QString& name, int x, int y, int w, int h) {
  auto* box = new QGroupBox(parent);
  box->setObjectName(name);
  box->setGeometry(x, y, w, h);
  return box;
}

bool IsInputLetter(char type) {
  return type == core::ParameterType::InputSigned || type == core::ParameterType::InputUnsigned ||
         type == core::ParameterType::Input32 || type == core::ParameterType::InputFloat;
}

// One bit word: from an input register for the input letters, else from a holding register.
core::TransactionResult ReadBitWord(int station, const core::MonitorItem& item, std::uint16_t& word) {
  std::uint32_t value = 0;
  const auto st = static_cast<std::uint8_t>(station);
  const core::TransactionResult r =
      IsInputLetter(item.type) ? core::ReadInput(st, item.reg, 1, value) : core::ReadWord(st, item.reg, 1, value);
  if (r == core::kResultOk) word = static_cast<std::uint16_t>(value & 0xFFFF);
  return r;
}

// The mask of a bit number 1..16 as the configuration gives it; 0 for other numbers.
std::uint16_t BitMask(int number) {
  return number >= 1 && number <= 16 ? static_cast<std::uint16_t>(1u << (number - 1)) : 0;
}

std::uint8_t Station() { return static_cast<std::uint8_t>(core::State().LinkedStation); }

// Says that a write of the window failed and why; where the drive may have done it all the
// same, `readBack` reads what the drive holds and gives the sentence that says so. Nothing for
// a failed port: the tick then ends the window and the main window says why.
void ShowWriteFailure(core::TransactionResult r, extra::Exchange exchange, const std::function<QString()>& readBack) {
  if (r == core::kResultPortFailed) return;
  QString text = L(99) + "\n" + extra::TransactionFailure(r, exchange);
  if (core::WriteMayHaveBeenDone(r)) {
    const QString readText = readBack();
    if (core::PortFailed()) return;
    text += "\n" + readText;
  }
  Gui().MessageBox(text, L(75), Buttons::Ok, Icon::Information);
}

// One holding register, or two (`written` low word first), read back after a failed write:
// what it holds as the register panel shows it (two as one signed 32-bit number), and the
// sentence that says so. An empty `written` compares nothing (a command that toggles bits).
QString RegisterReadBack(std::uint16_t address, const std::vector<std::uint16_t>& written, int count, QString& held) {
  const core::RegistersReadBack back = core::ReadRegistersBack(Station(), address, count, written);
  held.clear();
  if (back.result == core::kResultOk)
    held = count == 2 ? QString::number(static_cast<std::int32_t>(back.words[0] | std::uint32_t{back.words[1]} << 16))
                      : QString::number(back.words[0]);
  const QString name = extra::RegisterName(address);
  return written.empty() ? extra::ValueReadBack(name, back.result, held)
                         : extra::WrittenValueReadBack(name, back.result, held, back.holdsWritten);
}

}  // namespace

TMonitorForm::TMonitorForm(QWidget* parent) : QDialog(parent) {
  setObjectName("MonitorForm");
  BuildLayout();
  FormCreate();
}

TMonitorForm::~TMonitorForm() { closed_ = true; }

const core::smod& TMonitorForm::Model() const {
  static const core::smod kNone;
  const auto& models = core::State().Models;
  return model_ >= 0 && static_cast<std::size_t>(model_) < models.size() ? models[static_cast<std::size_t>(model_)]
                                                                          : kNone;
}

void TMonitorForm::BuildLayout() {
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setFont(QFont("MS Sans Serif", 8));
  setFixedSize(560, 565);

  Label5 = NewLabel(this, "Label5", 8, 10, 70);
  StaticIDFIR = NewStatic(this, "StaticIDFIR", 80, 8, 70, 18);
  Label6 = NewLabel(this, "Label6", 158, 10, 70);
  StaticIDENC = NewStatic(this, "StaticIDENC", 230, 8, 70, 18);

  GroupBox1 = NewBox(this, "GroupBox1", 8, 32, 297, 113);
  GroupBox6 = NewBox(this, "GroupBox6", 8, 152, 297, 113);
  static const char* const kNames[8] = {"Label8", "Label10", "Label12", "Label14", "Label21", "Label23", "Label25", "Label27"};
  static const char* const kUnits[8] = {"Label9", "Label11", "Label13", "Label15", "Label22", "Label24", "Label26", "Label28"};
  for (int k = 0; k < 8; ++k) {
    QGroupBox* box = k < 4 ? GroupBox1 : GroupBox6;
    const int y = 18 + 23 * (k % 4);
    const auto i = static_cast<std::size_t>(k);
    setpointName[i] = NewLabel(box, kNames[k], 8, y + 3, 86);
    QLineEdit* edit = NewEdit(box, k < 4 ? QString("editSpeed%1").arg(k + 1) : QString("editPos%1").arg(k - 3), 96, y, 66,
                              k == 4 ? 11 : 8);
    (k < 4 ? editSpeed[i] : editPos[i - 4]) = edit;
    setpointUnit[i] = NewLabel(box, kUnits[k], 166, y + 3, 86);
    setpointButton[i] = NewButton(box, QString("Button%1").arg(k + 3), "SET", 254, y, 36);
    connect(setpointButton[i], &QPushButton::clicked, this, [this, k] { SetpointClick(k + 1); });
  }

  GroupBox5 = NewBox(this, "GroupBox5", 8, 272, 297, 73);
  Label4 = NewLabel(GroupBox5, "Label4", 8, 21, 86);
  editControl = NewEdit(GroupBox5, "editControl", 96, 18, 66, 8);
  ButtonConSet = NewButton(GroupBox5, "ButtonConSet", QString(), 166, 18, 124);
  // The register field holds at most five digits: its caption takes the room it does not need.
  Label2 = NewLabel(GroupBox5, "Label2", 8, 47, 56);
  editAdd = NewEdit(GroupBox5, "editAdd", 64, 44, 50, 8);
  Button1 = NewButton(GroupBox5, "Button1", "SET", 116, 44, 34);
  Label3 = NewLabel(GroupBox5, "Label3", 154, 47, 44);
  editVal = NewEdit(GroupBox5, "editVal", 198, 44, 58, 11);
  Button2 = NewButton(GroupBox5, "Button2", "SET", 258, 44, 34);
  connect(ButtonConSet, &QPushButton::clicked, this, &TMonitorForm::ButtonConSetClick);
  connect(Button1, &QPushButton::clicked, this, &TMonitorForm::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TMonitorForm::Button2Click);

  GroupBox7 = NewBox(this, "GroupBox7", 312, 8, 241, 65);
  for (int k = 0; k < 3; ++k) {
    const auto i = static_cast<std::size_t>(k);
    statusLabel[i] = NewLabel(GroupBox7, QString("Label%1").arg(29 + k), 8, 16 + 15 * k, 110, 15);
    StaticStatus[i] = NewLabel(GroupBox7, QString("StaticStatus%1").arg(k + 1), 120, 16 + 15 * k, 113, 15);
  }

  GroupBox2 = NewBox(this, "GroupBox2", 312, 80, 241, 113);
  for (int k = 0; k < 8; ++k) {
    const auto i = static_cast<std::size_t>(k);
    ButtonCmd[i] = NewButton(GroupBox2, QString("ButtonCmd%1").arg(k + 1), QString(), k < 4 ? 8 : 124, 18 + 23 * (k % 4), 109);
    connect(ButtonCmd[i], &QPushButton::clicked, this, [this, k] { ButtonCmdClick(k + 1); });
  }

  GroupBox8 = NewBox(this, "GroupBox8", 312, 200, 241, 145);
  static const int kMonLabels[7] = {7, 16, 17, 18, 19, 20, 32};
  for (int k = 0; k < 7; ++k) {
    const auto i = static_cast<std::size_t>(k);
    // A value's name is often longer than the value (a German "Zwischenkreisspannung" against a
    // right-aligned "560"): the name takes 150 pixels, the value the 75 left of the row.
    monLabel[i] = NewLabel(GroupBox8, QString("Label%1").arg(kMonLabels[k]), 8, 16 + 15 * k, 150, 15);
    StaticMon[i] = NewLabel(GroupBox8, QString("StaticMon%1").arg(k + 1), 158, 16 + 15 * k, 75, 15);
    StaticMon[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  }
  Label33 = NewLabel(GroupBox8, "Label33", 8, 124, 62);
  comboPar = new QComboBox(GroupBox8);
  comboPar->setObjectName("comboPar");
  // The list shows what fits of a parameter's name; its value's caption ("Valore") is whole.
  comboPar->setGeometry(70, 120, 72, 21);
  Label34 = NewLabel(GroupBox8, "Label34", 145, 124, 40);
  StaticMonValue = NewStatic(GroupBox8, "StaticMonValue", 186, 122, 47, 17);
  StaticMonValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  connect(comboPar, &QComboBox::currentIndexChanged, this, &TMonitorForm::comboParChange);

  GroupBox3 = NewBox(this, "GroupBox3", 8, 352, 545, 81);
  advGrid = new QTableWidget(GroupBox3);
  advGrid->setObjectName("advGrid");
  advGrid->setGeometry(8, 16, 529, 58);
  advGrid->setColumnCount(1);
  advGrid->setColumnWidth(0, 500);
  advGrid->horizontalHeader()->hide();
  advGrid->verticalHeader()->hide();
  advGrid->verticalHeader()->setDefaultSectionSize(16);
  advGrid->verticalHeader()->setMinimumSectionSize(16);
  advGrid->setShowGrid(true);
  advGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  advGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  advGrid->setFont(QFont("Courier New", 8));

  GroupBox4 = NewBox(this, "GroupBox4", 8, 440, 545, 121);
  QFont lampFont = font();
  lampFont.setPointSize(6);
  auto lamp = [&](const QString& name, int x, int y) {
    QLabel* panel = NewLabel(GroupBox4, name, x, y, 26, 25);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setAlignment(Qt::AlignCenter);
    panel->setFont(lampFont);
    panel->setAutoFillBackground(true);
    return panel;
  };
  for (int k = 0; k < 5; ++k) {
    const auto i = static_cast<std::size_t>(k);
    ButtonSet[i] = NewButton(GroupBox4, QString("ButtonSet%1").arg(k + 1), QString(), 8 + 32 * k, 16, 26, 25);
    ButtonReset[i] = NewButton(GroupBox4, QString("ButtonReset%1").arg(k + 1), QString(), 8 + 32 * k, 48, 26, 25);
    ButtonSet[i]->setFont(lampFont);
    ButtonReset[i]->setFont(lampFont);
    PanelInput[i] = lamp(QString("PanelInput%1").arg(k + 1), 8 + 32 * k, 84);
    connect(ButtonSet[i], &QPushButton::clicked, this, [this, k] { ForceClick(k + 1, true); });
    connect(ButtonReset[i], &QPushButton::clicked, this, [this, k] { ForceClick(k + 1, false); });
  }
  PanelOutput1 = lamp("PanelOutput1", 8 + 32 * 5, 84);
  constexpr int kRight = 545 - 8 - (7 * 32 + 26);
  for (int k = 0; k < 16; ++k)
    PanelAlarm[static_cast<std::size_t>(k)] = lamp(QString("PanelAlarm%1").arg(k + 1), kRight + 32 * (k % 8), k < 8 ? 16 : 48);
  for (int k = 0; k < 8; ++k) PanelStato[static_cast<std::size_t>(k)] = lamp(QString("PanelStato%1").arg(k + 1), kRight + 32 * k, 84);
  Label35 = NewLabel(GroupBox4, "Label35", 208, 20, kRight - 212);
  Label1 = NewLabel(GroupBox4, "Label1", 208, 52, kRight - 212);
  Label37 = NewLabel(GroupBox4, "Label37", 208, 88, kRight - 212);

  timer_ = new QTimer(this);
  timer_->setInterval(300);
  connect(timer_, &QTimer::timeout, this, &TMonitorForm::TimerTimer);
}

void TMonitorForm::FormCreate() {
  const auto& s = core::State();
  failures_ = 0;
  model_ = s.LinkedModel - 1;
  requests_.fill(false);
  const core::smod& m = Model();

  for (QLabel* l : {StaticIDFIR, StaticIDENC, StaticMonValue}) l->clear();
  for (QLineEdit* e : editSpeed) e->clear();
  for (QLineEdit* e : editPos) e->clear();
  for (QLineEdit* e : {editControl, editAdd, editVal}) e->clear();
  for (QLabel* l : StaticStatus) l->clear();
  for (QLabel* l : StaticMon) l->clear();
  alarmWord_ = inputWord_ = outputWord_ = statusWord_ = 0;

  auto single = [](const core::MonitorItem& item, QWidget* main, QLabel* label, std::initializer_list<QWidget*> companions) {
    const bool present = !item.empty();
    main->setVisible(present);
    if (label) label->setText(ItemLabel(item));
    for (QWidget* w : companions) w->setVisible(present);
  };
  single(m.firmwareId, StaticIDFIR, Label5, {Label5});
  single(m.encoderId, StaticIDENC, Label6, {Label6});
  for (std::size_t k = 0; k < 8; ++k)
    single(SetpointItem(static_cast<int>(k)), SetpointEdit(static_cast<int>(k)), setpointName[k],
           {setpointName[k], setpointUnit[k], setpointButton[k]});
  single(m.connectionType, editControl, Label4, {Label4, ButtonConSet});
  for (std::size_t k = 0; k < 3; ++k) single(m.status[k], StaticStatus[k], statusLabel[k], {statusLabel[k]});
  for (std::size_t k = 0; k < 8; ++k) {
    single(m.commandButtons[k], ButtonCmd[k], nullptr, {});
    ButtonCmd[k]->setText(MenuText(ItemLabel(m.commandButtons[k])));
  }
  for (std::size_t k = 0; k < 7; ++k) single(m.monitorValues[k], StaticMon[k], monLabel[k], {monLabel[k]});

  for (std::size_t k = 0; k < 16; ++k) {
    PanelAlarm[k]->setVisible(!m.alarmBits[k].empty());
    PanelAlarm[k]->setText(ItemLabel(m.alarmBits[k]));
    PanelAlarm[k]->setToolTip(ItemLabel(m.alarmBits2[k]));
    SetLit(PanelAlarm[k], false);
  }
  for (std::size_t k = 0; k < 5; ++k) {
    PanelInput[k]->setVisible(!m.inputBits[k].empty());
    PanelInput[k]->setText(ItemLabel(m.inputBits[k]));
    PanelInput[k]->setToolTip(ItemLabel(m.inputBits2[k]));
    SetLit(PanelInput[k], false);
  }
  PanelOutput1->setVisible(!m.outputBits[0].empty());
  PanelOutput1->setText(ItemLabel(m.outputBits[0]));
  PanelOutput1->setToolTip(ItemLabel(m.outputBits2[0]));
  SetLit(PanelOutput1, false);
  for (std::size_t k = 0; k < 8; ++k) {
    PanelStato[k]->setVisible(!m.statusBits[k].empty());
    PanelStato[k]->setText(ItemLabel(m.statusBits[k]));
    SetLit(PanelStato[k], false);
  }
  const bool forcing = m.regIF.reg > 0;
  for (std::size_t k = 0; k < 5; ++k) {
    ButtonReset[k]->setText(MenuText(PanelInput[k]->text()));
    ButtonSet[k]->setText(MenuText(PanelInput[k]->text()));
    ButtonReset[k]->setVisible(forcing);
    ButtonSet[k]->setVisible(forcing);
  }

  comboPar->blockSignals(true);
  comboPar->clear();
  parIndex_.clear();
  for (std::size_t n = 0; n < m.parameters.size(); ++n) {
    if (m.parameters[n].empty()) continue;
    parIndex_.push_back(static_cast<int>(n) + 1);
    comboPar->addItem(Qs(m.parameters[n].labels[0].view()));
  }
  comboPar->setCurrentIndex(-1);
  comboPar->blockSignals(false);

  advancedRows_ = 0;
  for (const auto& item : m.advanced)
    if (!item.empty()) ++advancedRows_;
  if (advancedRows_ > 0) {
    advGrid->setRowCount(advancedRows_);
    for (int r = 0; r < advancedRows_; ++r) advGrid->setRowHeight(r, 16);
  } else {
    GroupBox3->hide();
    const int moved = GroupBox4->y() - GroupBox3->y();
    GroupBox4->move(GroupBox4->x(), GroupBox3->y());
    setFixedSize(width(), height() - moved);
  }

  ApplyCaptions();

  setpointRead_.fill(false);
  RefreshSetpoints();
}

void TMonitorForm::ApplyCaptions() {
  setWindowTitle(L(184));
  GroupBox1->setTitle(MenuText(L(190)));
  setpointUnit[0]->setText(L(191));
  setpointUnit[1]->setText(L(192));
  setpointUnit[2]->setText(L(193));
  setpointUnit[3]->setText(L(194));
  GroupBox6->setTitle(MenuText(L(195)));
  setpointUnit[4]->setText(L(196));
  setpointUnit[5]->setText(L(197));
  setpointUnit[6]->setText(L(198));
  setpointUnit[7]->setText(L(199));
  GroupBox5->setTitle(MenuText(L(200)));
  Label2->setText(L(201));
  Label3->setText(L(202));
  ButtonConSet->setText(MenuText(L(203)));
  GroupBox3->setTitle(MenuText(L(204)));
  GroupBox4->setTitle(MenuText(L(205)));
  GroupBox7->setTitle(MenuText(L(206)));
  GroupBox2->setTitle(MenuText(L(211)));
  GroupBox8->setTitle(MenuText(L(212)));
  Label33->setText(L(213));
  Label34->setText(L(202));
  Label1->setText(L(215));
  Label35->setText(L(216));
  Label37->setText(L(217));
}

void TMonitorForm::SetLit(QLabel* panel, bool lit) { SetLampColour(panel, lit ? kLampRed : QColor()); }

const core::MonitorItem& TMonitorForm::SetpointItem(int k) const {
  const core::smod& m = Model();
  return k < 4 ? m.speeds[static_cast<std::size_t>(k)] : m.positions[static_cast<std::size_t>(k - 4)];
}

QLineEdit* TMonitorForm::SetpointEdit(int k) const {
  return k < 4 ? editSpeed[static_cast<std::size_t>(k)] : editPos[static_cast<std::size_t>(k - 4)];
}

void TMonitorForm::StartTimer() {
  if (!ticking_ && !closed_) timer_->start();
}

void TMonitorForm::reject() { done(platform::gui::IdCancel); }

void TMonitorForm::done(int result) {
  closed_ = true;
  timer_->stop();
  QDialog::done(result);
}

// --- Handlers: they only raise requests ------------------------------------------------------

void TMonitorForm::ButtonCmdClick(int k) { requests_[static_cast<std::size_t>(kCommand1 + k - 1)] = true; }

void TMonitorForm::ButtonConSetClick() { requests_[kControlType] = true; }

void TMonitorForm::Button1Click() {
  int address = 0;
  if (!ParseInteger(editAdd->text(), address)) {
    editAdd->clear();
    return;
  }
  if (address >= 0 && address <= 65000)
    requests_[kRegisterRead] = true;
  else
    editAdd->clear();
  editVal->clear();
}

void TMonitorForm::Button2Click() {
  int address = 0, value = 0;
  if (!ParseInteger(editAdd->text(), address) || address < 0 || address > 65000) return;
  if (ParseInteger(editVal->text(), value))
    requests_[kRegisterWrite] = true;
  else
    editVal->clear();
}

void TMonitorForm::SetpointClick(int k) {
  requests_[static_cast<std::size_t>(k <= 4 ? kSpeed1 + k - 1 : kPosition1 + k - 5)] = true;
}

void TMonitorForm::ForceClick(int k, bool set) {
  const int bit = 2 * (k - 1) + (set ? 0 : 1);
  forceWord_ = static_cast<std::uint16_t>(forceWord_ ^ (1u << bit));
  requests_[kForce] = true;
}

void TMonitorForm::comboParChange() { StaticMonValue->clear(); }

// --- Set-points ----------------------------------------------------------------------------

void TMonitorForm::RefreshSetpoints() {
  setpointRead_.fill(false);
  ReadSetpointEdits();
}

void TMonitorForm::ReadSetpointEdits() {
  timer_->stop();
  // An absent item, an edit the user has typed into and a failed read all count as done: the
  // refresh never overwrites what the user typed, and a failure is not retried forever. The
  // first failed read ends the reads: a drive that does not answer is not asked for the other
  // set-points, so against a dead drive the window opens after one read, not eight.
  bool answered = true;
  for (int k = 0; k < 8 && answered; ++k) {
    const core::MonitorItem& item = SetpointItem(k);
    QLineEdit* edit = SetpointEdit(k);
    if (item.empty() || edit->isModified()) continue;
    std::string text;
    answered = core::ReadMonitorItem(Station(), item, text) == core::kResultOk;
    if (answered && !edit->isModified()) edit->setText(Qs(text));
  }
  setpointRead_.fill(true);
  refreshPending_ = false;
  for (int k = 0; k < 8; ++k)
    if (!SetpointItem(k).empty() && !setpointRead_[static_cast<std::size_t>(k)]) refreshPending_ = true;
  StartTimer();
}

// Writes the text of a set-point edit to its item, scaled as the item is shown. A text that is
// no number empties the edit; a value the register cannot hold is refused with a message and
// stays for the user to correct. A failed write says why and keeps the text; where the drive
// may have done it all the same, the item is read back and the edit shows what the drive holds
// (or keeps the text when that read fails too, the message saying the value is unknown).
static void WriteSetpoint(const core::MonitorItem& item, QLineEdit* edit) {
  double value = 0;
  const QString text = edit->text();
  if (!ParseDecimal(text, value)) {
    edit->clear();
    return;
  }
  const core::TransactionResult r = core::WriteMonitorItem(Station(), item, value);
  if (r == core::kResultOk) {
    edit->setModified(false);
    return;
  }
  if (r == core::kResultBadValue) {
    double low = 0, high = 0;
    QString lowText = "-3.4E38", highText = "3.4E38";
    if (core::MonitorItemLimits(item, low, high)) {
      lowText = FormatNumber(item.decimals <= 8 ? item.decimals : 0, static_cast<float>(low));
      highText = FormatNumber(item.decimals <= 8 ? item.decimals : 0, static_cast<float>(high));
    }
    Gui().MessageBox(extra::ValueDoesNotFit(ItemLabel(item), text, lowText, highText), L(73), Buttons::Ok, Icon::Information);
    return;
  }
  ShowWriteFailure(r, extra::Exchange::Write, [&] {
    const core::ItemReadBack back = core::ReadMonitorItemBack(Station(), item, value);
    if (back.result == core::kResultOk) {
      edit->setText(Qs(back.text));
      edit->setModified(false);
    }
    return extra::WrittenValueReadBack(ItemLabel(item), back.result, Qs(back.text), back.holdsWritten);
  });
}

void TMonitorForm::ServeSetpoint(int k) { WriteSetpoint(SetpointItem(k), SetpointEdit(k)); }

// --- The tick --------------------------------------------------------------------------------

void TMonitorForm::TimerTimer() {
  // The transactions let messages run, so a timer message may arrive inside a tick: ticks
  // never nest.
  if (ticking_ || closed_) return;
  ticking_ = true;
  timer_->stop();
  const bool restart = ServeTick();
  ticking_ = false;
  // A port that failed ends the session at once; the main window says why.
  if (core::PortFailed() && !closed_) {
    done(platform::gui::IdAbort);
    return;
  }
  if (restart) StartTimer();
}

char TMonitorForm::ParameterLetterAt(int address) const {
  const auto& s = core::State();
  for (const auto& def : s.ParamDefs)
    if (def.model == s.LinkedModel && def.reg == address) return def.type;
  return 0;
}

bool TMonitorForm::ServeTick() {
  const core::smod& m = Model();
  const std::uint8_t st = Station();

  if (refreshPending_) ReadSetpointEdits();

  // Commands.
  for (int k = 0; k < 8; ++k) {
    const auto i = static_cast<std::size_t>(kCommand1 + k);
    if (!requests_[i]) continue;
    requests_[i] = false;
    const core::MonitorItem& item = m.commandButtons[static_cast<std::size_t>(k)];
    if (item.empty()) continue;
    const std::uint16_t reg = item.reg;
    const std::uint8_t value = item.decimals;
    if (reg == kCommandRegister && (statusWord_ & 1)) {
      Gui().MessageBox(L(105), L(73), Buttons::Ok, Icon::Information);
      return true;
    }
    if (reg == kCommandRegister && value == kEndSessionCommand) {
      core::ToggleWord(st, kCommandRegister, kEndSessionCommand);
      done(platform::gui::IdRetry);
      LetMessagesRun(3);
      return false;
    }
    core::TransactionResult r;
    if (reg == kSetpointModeRegister) {
      r = core::ToggleWord(st, kSetpointModeRegister, value);
      if (r == core::kResultOk) RefreshSetpoints();
    } else if (item.type == core::ParameterType::Coil) {
      r = core::ToggleBit(st, reg);
    } else {
      r = core::ToggleWord(st, reg, value);
    }
    if (r != core::kResultOk)
      ShowWriteFailure(r, extra::Exchange::ReadThenWrite, [&] {
        QString held;
        if (item.type != core::ParameterType::Coil) return RegisterReadBack(reg, {}, 1, held);
        const core::RegistersReadBack back = core::ReadCoilBack(st, reg);
        if (back.result == core::kResultOk) held = QString::number(back.words[0]);
        return extra::ValueReadBack(extra::CoilName(reg), back.result, held);
      });
    LetMessagesRun();
  }

  // Identification: the firmware poll counts the failures that end the window.
  if (!m.firmwareId.empty()) {
    std::string text;
    if (core::ReadMonitorItem(st, m.firmwareId, text) == core::kResultOk) {
      StaticIDFIR->setText(Qs(text));
      failures_ = 0;
    } else if (++failures_ >= 10) {
      done(platform::gui::IdAbort);
    }
  }
  if (!m.encoderId.empty()) {
    std::string text;
    if (core::ReadMonitorItem(st, m.encoderId, text) != core::kResultOk) return true;
    StaticIDENC->setText(Qs(text));
  }

  // Set-points, control type.
  for (int k = 0; k < 4; ++k) {
    if (!requests_[static_cast<std::size_t>(kSpeed1 + k)]) continue;
    requests_[static_cast<std::size_t>(kSpeed1 + k)] = false;
    ServeSetpoint(k);
  }
  LetMessagesRun();
  for (int k = 0; k < 4; ++k) {
    if (!requests_[static_cast<std::size_t>(kPosition1 + k)]) continue;
    requests_[static_cast<std::size_t>(kPosition1 + k)] = false;
    ServeSetpoint(4 + k);
  }
  LetMessagesRun();
  if (requests_[kControlType]) {
    requests_[kControlType] = false;
    WriteSetpoint(m.connectionType, editControl);
    LetMessagesRun();
  }

  // Register read and write panel.
  if (requests_[kRegisterRead]) {
    requests_[kRegisterRead] = false;
    int address = 0;
    if (!ParseInteger(editAdd->text(), address) || address < 0 || address > 65535) {
      editAdd->clear();
    } else {
      const bool wide = ParameterLetterAt(address) == core::ParameterType::Holding32;
      std::uint32_t value = 0;
      if (core::ReadWord(st, static_cast<std::uint16_t>(address), wide ? 2 : 1, value) == core::kResultOk)
        editVal->setText(wide ? QString::number(static_cast<std::int32_t>(value)) : QString::number(value));
      else
        editVal->clear();
    }
    LetMessagesRun();
  }
  if (requests_[kRegisterWrite]) {
    requests_[kRegisterWrite] = false;
    int address = 0, value = 0;
    if (ParseInteger(editAdd->text(), address) && address >= 0 && address <= 65535) {
      const QString text = editVal->text();
      const auto reg = static_cast<std::uint16_t>(address);
      const bool wide = ParameterLetterAt(address) == core::ParameterType::Holding32;
      if (!ParseInteger(text, value)) {
        editVal->clear();
      } else if (!wide && (value < -32768 || value > 65535)) {
        Gui().MessageBox(extra::ValueDoesNotFit(QString::number(address), text, "-32768", "65535"), L(73), Buttons::Ok,
                         Icon::Information);
      } else {
        // A failed write keeps the value typed, or shows what the drive holds when it may have
        // been done all the same.
        const std::uint32_t bits = static_cast<std::uint32_t>(value);
        const core::TransactionResult r = wide ? core::WriteLong(st, reg, bits)
                                               : core::WriteWord(st, reg, static_cast<std::uint16_t>(bits & 0xFFFF));
        if (r != core::kResultOk)
          ShowWriteFailure(r, extra::Exchange::Write, [&] {
            QString held;
            const std::vector<std::uint16_t> written =
                wide ? std::vector<std::uint16_t>{static_cast<std::uint16_t>(bits & 0xFFFF), static_cast<std::uint16_t>(bits >> 16)}
                     : std::vector<std::uint16_t>{static_cast<std::uint16_t>(bits & 0xFFFF)};
            const QString said = RegisterReadBack(reg, written, wide ? 2 : 1, held);
            if (!held.isEmpty()) editVal->setText(held);
            return said;
          });
      }
    }
  }

  // Advanced list.
  for (int n = 0; n < advancedRows_; ++n) {
    const core::MonitorItem& item = m.advanced[static_cast<std::size_t>(n)];
    if (item.empty()) continue;
    std::string text;
    if (core::ReadMonitorItem(st, item, text) != core::kResultOk) return true;
    auto* cell = advGrid->item(n, 0);
    if (!cell) {
      cell = new QTableWidgetItem;
      advGrid->setItem(n, 0, cell);
    }
    cell->setText(ItemLabel(item) + " = " + Qs(text));
  }

  // Bit words and lamps.
  const core::MonitorItem* words[4] = {&m.regA, &m.regI, &m.regO, &m.regS};
  std::uint16_t* targets[4] = {&alarmWord_, &inputWord_, &outputWord_, &statusWord_};
  for (int w = 0; w < 4; ++w)
    if (!words[w]->empty() && ReadBitWord(st, *words[w], *targets[w]) != core::kResultOk) return true;
  std::size_t stato = 0;
  for (int b = 1; b <= 16; ++b) {
    const std::uint16_t mask = BitMask(b);
    SetLit(PanelAlarm[static_cast<std::size_t>(b - 1)], alarmWord_ & mask);
    if (b <= 5) SetLit(PanelInput[static_cast<std::size_t>(b - 1)], inputWord_ & mask);
    if (b == 1) SetLit(PanelOutput1, outputWord_ & mask);
    for (std::size_t n = 0; n < m.statusBits.size(); ++n) {
      if (m.statusBits[n].empty() || m.statusBits[n].reg != b) continue;
      if (stato < PanelStato.size()) {
        SetLit(PanelStato[stato], statusWord_ & mask);
        PanelStato[stato]->setToolTip(ItemLabel(m.statusBits2[n]));
        ++stato;
      }
      break;
    }
  }
  LetMessagesRun();

  // Forced inputs.
  if (requests_[kForce]) {
    requests_[kForce] = false;
    const core::TransactionResult r = core::WriteWord(st, m.regIF.reg, forceWord_);
    if (r != core::kResultOk) {
      ShowWriteFailure(r, extra::Exchange::Write, [&] {
        QString held;
        return RegisterReadBack(m.regIF.reg, {forceWord_}, 1, held);
      });
      return true;
    }
  }

  // Status texts.
  if (!StaticStatus[0]->isHidden()) StaticStatus[0]->setText(L(statusWord_ & BitMask(m.status[0].reg) ? 208 : 207));
  if (!StaticStatus[1]->isHidden()) StaticStatus[1]->setText(L(statusWord_ & BitMask(m.status[1].reg) ? 210 : 209));
  if (!StaticStatus[2]->isHidden()) {
    std::string text;
    if (core::ReadMonitorItem(st, m.status[2], text) != core::kResultOk) return true;
    StaticStatus[2]->setText(Qs(text));
  }

  // Monitor values and the chosen parameter.
  for (std::size_t k = 0; k < 7; ++k) {
    if (m.monitorValues[k].empty()) continue;
    std::string text;
    if (core::ReadMonitorItem(st, m.monitorValues[k], text) != core::kResultOk) return true;
    StaticMon[k]->setText(Qs(text));
  }
  const int entry = comboPar->currentIndex();
  if (entry >= 0 && static_cast<std::size_t>(entry) < parIndex_.size()) {
    const core::MonitorItem& item = m.parameters[static_cast<std::size_t>(parIndex_[static_cast<std::size_t>(entry)] - 1)];
    std::string text;
    if (core::ReadMonitorItem(st, item, text) == core::kResultOk)
      StaticMonValue->setText(Qs(text));
    else
      StaticMonValue->clear();
  }
  LetMessagesRun();
  return true;
}

}  // namespace ui
