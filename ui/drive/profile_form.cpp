#include "ui/drive/profile_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "controls/edit/typed_edit.h"
#include "core/common.h"
#include "core/modbus.h"
#include "core/param_access.h"
#include "core/read_back.h"
#include "core/serial_link.h"
#include "platform/gui/gui_services.h"
#include "ui/common/extra_texts.h"
#include "ui/common/qt_text.h"
#include "ui/drive/lamps.h"

namespace ui {

using platform::gui::Gui;

namespace {

constexpr int kModeValues[] = {1, 2, 3};
constexpr int kF257Values[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 35};

struct LampBit {
  const char* caption;
  int bit;
  bool alarm;
};
constexpr LampBit kLamps[7] = {{"ENABLE", 0, false}, {"RUN", 1, false},  {"TARGET", 4, false}, {"HOMING", 5, false},
                               {"ALARM", 7, true},   {"OVER", 8, true},  {"BATT", 9, true}};

std::uint8_t Station() { return static_cast<std::uint8_t>(core::State().LinkedStation); }

// One register read, or two combined (low word first as ReadWord gives it).
bool ReadRegister(std::uint16_t reg, int count, std::int64_t& value) {
  std::uint32_t raw = 0;
  if (core::ReadWord(Station(), reg, static_cast<std::uint16_t>(count), raw) != core::kResultOk) return false;
  value = count == 2 ? static_cast<std::int64_t>(static_cast<std::int32_t>(raw)) : static_cast<std::int64_t>(raw & 0xFFFF);
  return true;
}

QLabel* NewLabel(QWidget* parent, const QString& name, const QString& text, int x, int y, int w) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setGeometry(x, y, w, 16);
  return label;
}

// The entry value of a combo's table, 0 when none is chosen.
int ChosenValue(const QComboBox* combo, const int* table, int count) {
  const int i = combo->currentIndex();
  return i >= 0 && i < count ? table[i] : 0;
}

std::int64_t FieldValue(const controls::TTypedEdit* edit) {
  bool ok = false;
  const qlonglong v = edit->Text().toLongLong(&ok);
  return ok ? v : (edit->Text().isEmpty() ? 0 : edit->IntegerValue());
}

}  // namespace

TProfileForm::TProfileForm(QWidget* parent) : QDialog(parent) {
  setObjectName("ProfileForm");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFixedSize(411, 324);

  GroupSetting = new QGroupBox("Setting", this);
  GroupSetting->setObjectName("GroupSetting");
  GroupSetting->setGeometry(8, 8, 395, 212);
  QLabel** modeLabels[4] = {&Label1, &Label2, &Label3, &Label4};
  QComboBox** combos[4] = {&comboF001, &comboF002, &comboF003, &comboF257};
  static const char* const kModeNames[4] = {"F001", "F002", "F003", "F257"};
  for (int i = 0; i < 4; ++i) {
    *modeLabels[i] = NewLabel(GroupSetting, QString("Label%1").arg(i + 1), kModeNames[i], 12 + 96 * i, 20, 88);
    auto* combo = new QComboBox(GroupSetting);
    combo->setObjectName(QString("combo") + kModeNames[i]);
    combo->setGeometry(12 + 96 * i, 38, 88, 22);
    combo->setEnabled(false);
    *combos[i] = combo;
  }
  QLabel** fieldLabels[5] = {&Label5, &Label6, &Label7, &Label8, &Label9};
  controls::TTypedEdit** fields[5] = {&EditAccel, &EditDecel, &EditSpeed, &EditTorque, &EditPosition};
  static const char* const kFieldNames[5] = {"Accel", "Decel", "Speed", "Torque", "Position"};
  for (int i = 0; i < 5; ++i) {
    *fieldLabels[i] = NewLabel(GroupSetting, QString("Label%1").arg(i + 5), kFieldNames[i], 12 + 76 * i, 72, 70);
    auto* edit = new controls::TTypedEdit(GroupSetting);
    edit->setObjectName(QString("Edit") + kFieldNames[i]);
    edit->setGeometry(12 + 76 * i, 90, 70, 22);
    edit->SetEditType(controls::etNumeric);
    edit->SetPrecision(0);
    edit->SetEditAlign(controls::eaCenter);
    edit->SetSigned(i == 4);
    edit->SetText("0");
    edit->Loaded();
    *fields[i] = edit;
  }
  QCheckBox** checks[5] = {&CheckEnable, &CheckRun, &CheckReset, &CheckHome, &CheckDir};
  static const char* const kCheckNames[5] = {"ENABLE", "RUN", "RESET", "HOME", "DIR"};
  static const char* const kCheckObjects[5] = {"CheckEnable", "CheckRun", "CheckReset", "CheckHome", "CheckDir"};
  for (int i = 0; i < 5; ++i) {
    auto* check = new QCheckBox(kCheckNames[i], GroupSetting);
    check->setObjectName(kCheckObjects[i]);
    check->setGeometry(12 + 76 * i, 128, 72, 20);
    *checks[i] = check;
  }
  Button1 = new QPushButton("Send", GroupSetting);
  Button1->setObjectName("Button1");
  Button1->setGeometry(296, 172, 87, 27);
  Button1->setAutoDefault(false);

  GroupStatus = new QGroupBox("Status", this);
  GroupStatus->setObjectName("GroupStatus");
  GroupStatus->setGeometry(8, 226, 395, 56);
  QFont lampFont = font();
  lampFont.setPointSize(7);
  for (std::size_t i = 0; i < Panel.size(); ++i) {
    auto* panel = new QLabel(kLamps[i].caption, GroupStatus);
    panel->setObjectName(QString("Panel%1").arg(i + 1));
    panel->setGeometry(10 + 54 * static_cast<int>(i), 20, 52, 25);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setAlignment(Qt::AlignCenter);
    panel->setFont(lampFont);
    SetLampColour(panel, QColor());
    Panel[i] = panel;
  }

  OK = new QPushButton(this);
  OK->setObjectName("OK");
  OK->setGeometry(236, 290, 80, 27);
  OK->setAutoDefault(false);
  Cancel = new QPushButton(this);
  Cancel->setObjectName("Cancel");
  Cancel->setGeometry(322, 290, 80, 27);
  Cancel->setAutoDefault(false);
  connect(OK, &QPushButton::clicked, this, [this] { done(platform::gui::IdOk); });
  connect(Cancel, &QPushButton::clicked, this, [this] { done(platform::gui::IdCancel); });
  // Only the user's choices count as changes: the reads set the same controls silently.
  connect(comboF003, &QComboBox::activated, this, &TProfileForm::comboF003Change);
  connect(CheckHome, &QCheckBox::clicked, this, &TProfileForm::CheckHomeClick);
  connect(Button1, &QPushButton::clicked, this, &TProfileForm::Button1Click);

  timer_ = new QTimer(this);
  timer_->setInterval(500);
  connect(timer_, &QTimer::timeout, this, &TProfileForm::TimerTimer);
  timer_->start();

  FormCreate();
}

TProfileForm::~TProfileForm() { closed_ = true; }

void TProfileForm::FormCreate() {
  failures_ = 0;
  for (QComboBox* combo : {comboF001, comboF002, comboF003}) {
    combo->clear();
    for (int v : kModeValues) combo->addItem(QString::number(v));
    combo->setCurrentIndex(-1);
  }
  comboF257->clear();
  for (int v : kF257Values) comboF257->addItem(QString::number(v));
  comboF257->setCurrentIndex(-1);
  for (controls::TTypedEdit* edit : {EditAccel, EditDecel, EditSpeed, EditTorque, EditPosition}) edit->SetText(QString());
  for (QWidget* w : std::initializer_list<QWidget*>{Label4, Label8, Label9, comboF257, EditTorque, EditPosition, CheckHome})
    w->setEnabled(false);
  OK->setText(MenuText(L(120)));
  Cancel->setText(MenuText(L(121)));
  setWindowTitle(L(67));
  busy_ = false;
  read_.fill(false);
  ReadSettings();
  ReadSetpoints();
}

int TProfileForm::Mode() const { return ChosenValue(comboF003, kModeValues, 3); }

void TProfileForm::ApplyModeEnabling(int mode) {
  const bool f257 = mode == 3 && CheckHome->isChecked();
  Label4->setEnabled(f257);
  comboF257->setEnabled(f257);
  Label8->setEnabled(mode == 2);
  EditTorque->setEnabled(mode == 2);
  Label9->setEnabled(mode == 3);
  EditPosition->setEnabled(mode == 3);
  CheckHome->setEnabled(mode == 3);
  CheckDir->setEnabled(mode != 3);
}

void TProfileForm::StartTimer() {
  if (!busy_ && !closed_) timer_->start();
}

void TProfileForm::reject() { done(platform::gui::IdCancel); }

void TProfileForm::done(int result) {
  closed_ = true;
  queued_.clear();
  timer_->stop();
  QDialog::done(result);
}

void TProfileForm::RunExclusive(std::function<void()> action) {
  if (closed_) return;
  if (busy_) {
    queued_.push_back(std::move(action));
    return;
  }
  busy_ = true;
  timer_->stop();
  action();
  busy_ = false;
  if (EndedByPortFailure()) return;
  RunQueued();
  StartTimer();
}

bool TProfileForm::EndedByPortFailure() {
  // The main window says why.
  if (!core::PortFailed()) return false;
  if (!closed_) done(platform::gui::IdAbort);
  return true;
}

void TProfileForm::RunQueued() {
  while (!queued_.empty() && !busy_ && !closed_) {
    std::function<void()> action = std::move(queued_.front());
    queued_.erase(queued_.begin());
    busy_ = true;
    action();
    busy_ = false;
  }
}

void TProfileForm::ReadSettings() {
  timer_->stop();
  std::int64_t v = 0;
  QComboBox* modes[3] = {comboF001, comboF002, comboF003};
  for (int i = 0; i < 3; ++i) {
    if (!ReadRegister(static_cast<std::uint16_t>(i + 1), 1, v)) continue;
    if (v >= 1 && v <= 3) modes[i]->setCurrentIndex(static_cast<int>(v) - 1);
    read_[static_cast<std::size_t>(i)] = true;
    if (i == 2) ApplyModeEnabling(static_cast<int>(v));
  }
  if (ReadRegister(257, 1, v)) {
    read_[3] = true;
    for (int i = 0; i < static_cast<int>(std::size(kF257Values)); ++i)
      if (kF257Values[i] == v) comboF257->setCurrentIndex(i);
  }
  if (ReadRegister(911, 1, v)) {
    read_[4] = true;
    CheckEnable->setChecked(v & 1);
    CheckRun->setChecked(v & 2);
    CheckReset->setChecked(v & 4);
    CheckHome->setChecked(v & 8);
    CheckDir->setChecked(v & 16);
    // F257 belongs to mode 3 with HOME: it follows the HOME just read.
    const bool f257 = Mode() == 3 && CheckHome->isChecked();
    Label4->setEnabled(f257);
    comboF257->setEnabled(f257);
  }
  settingsPending_ = false;
  for (bool done : read_)
    if (!done) settingsPending_ = true;
  if (settingsPending_) read_.fill(false);  // all five are read again, together
  StartTimer();
}

void TProfileForm::ReadSetpoints() {
  struct Read {
    std::uint16_t reg;
    int count;
    controls::TTypedEdit* field;
  };
  std::vector<Read> reads;
  switch (Mode()) {
    case 1:
      reads = {{16, 1, EditAccel}, {17, 1, EditDecel}, {4, 1, EditSpeed}};
      break;
    case 2:
      reads = {{16, 1, EditAccel}, {17, 1, EditDecel}, {4, 1, EditSpeed}, {5, 1, EditTorque}};
      break;
    case 3:
      if (CheckHome->isChecked())
        reads = {{262, 1, EditAccel}, {263, 1, EditDecel}, {260, 1, EditSpeed}, {258, 2, EditPosition}};
      else
        reads = {{30, 1, EditAccel}, {31, 1, EditDecel}, {32, 1, EditSpeed}, {34, 2, EditPosition}};
      break;
    default:
      return;
  }
  for (const Read& r : reads) {
    std::int64_t v = 0;
    if (ReadRegister(r.reg, r.count, v)) r.field->SetText(QString::number(v));
  }
}

void TProfileForm::comboF003Change() {
  const int mode = Mode();
  if (mode == 0) return;
  if (mode != 3) CheckHome->setChecked(false);
  ApplyModeEnabling(mode);
  RunExclusive([this] { ReadSetpoints(); });
}

void TProfileForm::CheckHomeClick() {
  const int mode = Mode();
  if (mode == 0) return;
  const bool f257 = mode == 3 && CheckHome->isChecked();
  Label4->setEnabled(f257);
  comboF257->setEnabled(f257);
  RunExclusive([this] { ReadSetpoints(); });
}

ProfileEntry TProfileForm::Entry() const {
  ProfileEntry e;
  e.f001 = ChosenValue(comboF001, kModeValues, 3);
  e.f002 = ChosenValue(comboF002, kModeValues, 3);
  e.f003 = ChosenValue(comboF003, kModeValues, 3);
  e.f257Enabled = comboF257->isEnabled();
  e.f257 = ChosenValue(comboF257, kF257Values, static_cast<int>(std::size(kF257Values)));
  e.enable = CheckEnable->isChecked();
  e.run = CheckRun->isChecked();
  e.reset = CheckReset->isChecked();
  e.home = CheckHome->isChecked();
  e.dir = CheckDir->isChecked();
  e.accel = FieldValue(EditAccel);
  e.decel = FieldValue(EditDecel);
  e.speed = FieldValue(EditSpeed);
  e.torqueEnabled = EditTorque->isEnabled();
  e.torque = FieldValue(EditTorque);
  e.positionEnabled = EditPosition->isEnabled();
  e.position = FieldValue(EditPosition);
  return e;
}

void TProfileForm::Button1Click() {
  if (comboF001->currentIndex() < 0 || comboF002->currentIndex() < 0 || comboF003->currentIndex() < 0) return;
  const ProfileEntry entry = Entry();
  if ((entry.f257Enabled && entry.f257 == 0) || !ProfileInRange(entry)) {
    Gui().Beep();
    return;
  }
  const std::array<std::uint16_t, 7> words = ProfileWords(entry);
  RunExclusive([this, words] {
    const core::TransactionResult r = core::WriteProfile(Station(), 910, words);
    if (r == core::kResultOk || r == core::kResultPortFailed) return;
    // A failed exchange keeps its headline; where the drive may have taken the profile all the
    // same, the seven registers are read back and the message says what they hold.
    const bool exchange = core::WriteMayHaveBeenDone(r);
    QString text = (exchange ? L(78) + "\n" : QString()) + extra::TransactionFailure(r, extra::Exchange::Write);
    if (exchange) {
      const std::vector<std::uint16_t> written(words.begin(), words.end());
      const core::RegistersReadBack back = core::ReadRegistersBack(Station(), 910, 7, written);
      if (core::PortFailed()) return;
      text += "\n" + extra::WrittenValueReadBack(extra::ProfileName(910), back.result, extra::WordsText(back.words), back.holdsWritten);
    }
    Gui().MessageBox(text, L(76), platform::gui::Buttons::Ok, platform::gui::Icon::Information);
  });
}

void TProfileForm::TimerTimer() {
  if (busy_ || closed_) return;
  busy_ = true;
  timer_->stop();
  if (settingsPending_) ReadSettings();
  std::int64_t status = 0;
  if (ReadRegister(900, 1, status)) {
    failures_ = 0;
    // Bit 0 (enabled) locks the mode choices and RESET. A failed poll keeps the last lock.
    const bool unlocked = (status & 1) == 0;
    for (QWidget* w : std::initializer_list<QWidget*>{comboF001, comboF002, comboF003, Label1, Label2, Label3, CheckReset})
      w->setEnabled(unlocked);
  } else {
    status = 0;
    if (!EndedByPortFailure() && ++failures_ >= 10) done(platform::gui::IdAbort);
  }
  for (std::size_t i = 0; i < Panel.size(); ++i) {
    const bool lit = (status >> kLamps[i].bit) & 1;
    SetLampColour(Panel[i], lit ? (kLamps[i].alarm ? kLampRed : kLampGreen) : QColor());
  }
  busy_ = false;
  RunQueued();
  StartTimer();
}

}  // namespace ui
