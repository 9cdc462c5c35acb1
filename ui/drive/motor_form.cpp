#include "ui/drive/motor_form.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>

#include "core/common.h"
#include "core/param_access.h"
#include "core/read_back.h"
#include "core/texts.h"
#include "platform/gui/gui_services.h"
#include "ui/common/extra_texts.h"
#include "ui/common/grid_look.h"
#include "ui/common/message_loop.h"
#include "ui/common/qt_text.h"
#include "ui/drive/user_messages.h"

namespace ui {

using platform::gui::Buttons;
using platform::gui::Gui;
using platform::gui::Icon;
using platform::gui::IdAbort;
using platform::gui::IdNo;
using platform::gui::IdOk;
using platform::gui::IdYes;

namespace {
// The window's own name: the caption of its input and message boxes.
const QString kFormName = QStringLiteral("MotorForm");
constexpr std::uint16_t kNoWord = 0xFFFF;
}  // namespace

TMotorForm::TMotorForm(QWidget* parent) : QDialog(parent) {
  setObjectName(kFormName);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(792, 464);
  GroupBox1 = new QGroupBox(this);
  GroupBox1->setObjectName("GroupBox1");
  GroupBox1->setGeometry(8, 4, 697, 452);
  parGrid = new QTableWidget(GroupBox1);
  parGrid->setObjectName("parGrid");
  SetUpDocumentGrid(parGrid, 2, 12);
  parGrid->verticalHeader()->setDefaultSectionSize(20);
  parGrid->setGeometry(8, 20, 681, 424);
  parGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
  parGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  parGrid->setItemDelegate(new OwnerDrawDelegate(parGrid, [this](QPainter* p, int column, int row, const QRect& r) {
    parGridDrawCell(p, column, row + 1, r);
  }));
  auto button = [this](const char* name, int y) {
    auto* b = new QPushButton(this);
    b->setObjectName(name);
    b->setGeometry(714, y, 70, 28);
    b->setAutoDefault(false);
    return b;
  };
  InsButton = button("InsButton", 24);
  DelButton = button("DelButton", 64);
  ChgButton = button("ChgButton", 104);
  UpdButton = button("UpdButton", 144);
  CloseButton = button("CloseButton", 420);
  connect(InsButton, &QPushButton::clicked, this, &TMotorForm::InsButtonClick);
  connect(DelButton, &QPushButton::clicked, this, &TMotorForm::DelButtonClick);
  connect(ChgButton, &QPushButton::clicked, this, &TMotorForm::ChgButtonClick);
  connect(UpdButton, &QPushButton::clicked, this, &TMotorForm::UpdButtonClick);
  connect(CloseButton, &QPushButton::clicked, this, [this] { done(IdOk); });
  FormCreate();
}

void TMotorForm::FormCreate() {
  auto& s = core::State();
  Model = s.LinkedModel;
  const bool known = Model >= 1 && Model <= static_cast<int>(s.Models.size());
  const core::smod empty;
  const core::smod& m = known ? s.Models[static_cast<std::size_t>(Model - 1)] : empty;
  MotorRegister = m.motorRegister;
  RecordCount = m.motorRecordCount;
  FileName = known ? Qs(core::MotorFileName(s, Model)) : QString();
  core::LoadMotorTable(Ss(FileName), RecordCount, s.MotorRecords);

  QStringList heads{"--", L(82)};
  columnWords_.clear();
  columnDecimals_.clear();
  const int lang = std::clamp(s.LanguageIndex, 1, 4);
  for (const core::MonitorItem& item : m.motorColumns) {
    if (item.reg < 1 || item.reg > 16) continue;
    columnWords_.push_back(item.reg);
    columnDecimals_.push_back(item.decimals);
    heads << Qs(item.labels[static_cast<std::size_t>(lang - 1)].view());
  }
  parGrid->setColumnCount(static_cast<int>(heads.size()));
  parGrid->setHorizontalHeaderLabels(heads);
  // Column 0 is 30 pixels; the others share the rest equally, but a header that needs more than
  // its share ("cos phi" beside "Hz") takes it from the columns whose headers are short.
  parGrid->setColumnWidth(0, 30);
  std::vector<int> needs;
  for (int c = 1; c < parGrid->columnCount(); ++c) needs.push_back(HeaderNeeds(parGrid->font(), heads[c]));
  const std::vector<int> widths = ShareColumnWidths(needs, parGrid->width() - 30 - 25);
  for (int c = 1; c < parGrid->columnCount(); ++c) parGrid->setColumnWidth(c, widths[static_cast<std::size_t>(c - 1)]);
  parGrid->setRowCount(RecordCount);

  setWindowTitle(L(209));
  GroupBox1->setTitle(MenuText(L(170)));
  InsButton->setText(MenuText(L(210)));
  DelButton->setText(MenuText(L(211)));
  ChgButton->setText(MenuText(L(212)));
  UpdButton->setText(MenuText(L(213)));
  CloseButton->setText(MenuText(L(155)));
  FillGrid();
}

void TMotorForm::FillGrid() {
  const auto& records = core::State().MotorRecords;
  auto set = [this](int column, int r, const QString& text) { SetGridCell(parGrid, column, r + 1, text); };
  for (int r = 0; r < RecordCount && r < static_cast<int>(records.size()); ++r) {
    const core::MotorRecord& record = records[static_cast<std::size_t>(r)];
    set(0, r, QString::number(r + 1));
    set(1, r, QString::fromLatin1(core::MotorCode(record).c_str()));
    for (std::size_t k = 0; k < columnWords_.size(); ++k) {
      const std::uint16_t word = core::MotorWord(record, columnWords_[k]);
      set(static_cast<int>(k) + 2, r,
          word == kNoWord ? QString() : Qs(core::FormatScaled(word, columnDecimals_[k])));
    }
  }
  parGrid->viewport()->update();
}

int TMotorForm::RowCount() const { return parGrid->rowCount() + 1; }

QString TMotorForm::Cell(int column, int row) const { return GridCell(parGrid, column, row); }

int TMotorForm::SelectedRow() const {
  const QModelIndex current = parGrid->currentIndex();
  return current.isValid() && parGrid->selectionModel()->isRowSelected(current.row(), QModelIndex()) ? current.row() + 1
                                                                                                      : 0;
}

void TMotorForm::SelectRow(int row) {
  if (row >= 1 && row <= parGrid->rowCount()) parGrid->selectRow(row - 1);
}

void TMotorForm::parGridDrawCell(QPainter* painter, int column, int row, const QRect& rect) {
  const QString text = Cell(column, row);
  const QFont& font = parGrid->font();
  if (parGrid->selectionModel()->isRowSelected(row - 1, QModelIndex())) {
    painter->fillRect(rect, kCurrentBlue);
    DrawCellText(painter, rect, text, font, Qt::white);
    return;
  }
  painter->fillRect(rect, Qt::white);
  const QColor color = column == 5 ? kDefaultRed : column == 6 ? kCurrentBlue : QColor(Qt::black);
  DrawCellText(painter, rect, text, font, color);
}

bool TMotorForm::ReadCurrentMotor(core::MotorWords& words) {
  const int station = core::State().LinkedStation;
  const auto address = static_cast<std::uint16_t>(MotorRegister + RecordCount);
  const core::TransactionResult result = core::ReadBlock16(static_cast<std::uint8_t>(station), address, words);
  if (result == core::kResultPortFailed) {
    done(IdAbort);
    return false;
  }
  if (result != core::kResultOk) {
    Gui().MessageBox(L(78) + "\n" + extra::TransactionFailure(result, extra::Exchange::Read), L(76), Buttons::Ok, Icon::Warning);
    return false;
  }
  if (!core::UsableMotorData(words)) {
    Gui().MessageBox(L(108), kFormName, Buttons::Ok, Icon::Warning);
    return false;
  }
  return true;
}

bool TMotorForm::AskCode(std::string& field) {
  for (;;) {
    QString entry;
    if (!Gui().InputQuery(kFormName, L(109), entry)) return false;
    // Codes are 8-bit text in the file and the drive: Latin-1 keeps what cannot be stored
    // recognisable as such (it is refused below).
    const QByteArray bytes = entry.toLatin1();
    const bool representable = QString::fromLatin1(bytes) == entry;
    if (representable && core::AcceptMotorCode(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                                                core::State().MotorRecords, field))
      return true;
    Gui().MessageBox(L(110), kFormName, Buttons::Ok, Icon::Warning);
  }
}

bool TMotorForm::PasswordGiven() {
  const auto& s = core::State();
  if (Model < 1 || Model > static_cast<int>(s.Models.size())) return false;
  const std::string& password = s.Models[static_cast<std::size_t>(Model - 1)].motorPassword;
  if (password.empty()) return true;
  QString entry;
  Gui().InputQuery(kFormName, L(88), entry, platform::gui::Echo::Password);
  return Ss(entry.trimmed().toUpper()) == password;
}

bool TMotorForm::StoreTable(int index, const core::MotorRecord& before) {
  auto& records = core::State().MotorRecords;
  const core::FileResult result = core::SaveMotorTable(Ss(FileName), records);
  if (!result) {
    records[static_cast<std::size_t>(index)] = before;
    Gui().MessageBox(Qs(result.error), L(73), Buttons::Ok, Icon::Stop);
  }
  FillGrid();
  return static_cast<bool>(result);
}

int TMotorForm::SelectedRecordInUse() const {
  const int row = SelectedRow();
  const auto& records = core::State().MotorRecords;
  if (row < 1 || row > RecordCount || row > static_cast<int>(records.size())) return -1;
  return core::MotorRecordInUse(records[static_cast<std::size_t>(row - 1)]) ? row - 1 : -1;
}

bool TMotorForm::TakeCurrentMotor(int index) {
  core::MotorWords words{};
  if (!ReadCurrentMotor(words)) return false;
  std::string field;
  if (!AskCode(field)) return false;
  auto& records = core::State().MotorRecords;
  const core::MotorRecord before = records[static_cast<std::size_t>(index)];
  core::MotorRecord record = core::RecordOf(words);
  core::SetMotorCodeField(record, field);
  records[static_cast<std::size_t>(index)] = record;
  return StoreTable(index, before);
}

void TMotorForm::InsButtonClick() {
  const int free = core::FirstFreeMotorRecord(core::State().MotorRecords);
  if (free < 0) {
    Gui().MessageBox(L(105), L(76), Buttons::Ok, Icon::Warning);
    return;
  }
  if (TakeCurrentMotor(free)) SelectRow(free + 1);
}

void TMotorForm::ChgButtonClick() {
  const int index = SelectedRecordInUse();
  if (index < 0 || !PasswordGiven()) return;
  // The row stays selected whatever happens (it was selected to be changed).
  TakeCurrentMotor(index);
  SelectRow(index + 1);
}

void TMotorForm::DelButtonClick() {
  const int index = SelectedRecordInUse();
  if (index < 0 || !PasswordGiven()) return;
  auto& records = core::State().MotorRecords;
  const core::MotorRecord before = records[static_cast<std::size_t>(index)];
  records[static_cast<std::size_t>(index)] = core::FreeMotorRecord();
  StoreTable(index, before);
}

void TMotorForm::UpdButtonClick() {
  if (Gui().MessageBox(L(111), kFormName, Buttons::YesNo, Icon::Warning) != IdYes) return;
  TWriteMotorForm progress(this);
  progress.Station = core::State().LinkedStation;
  progress.StartRegister = MotorRegister;
  progress.Count = RecordCount;
  if (Gui().ExecDialog(progress) == IdYes) return;
  if (progress.FailedResult == core::kResultPortFailed) {
    PortFailure = extra::MotorRecordNotWritten(progress.FailedRecord, progress.FailedResult);
    done(IdAbort);
    return;
  }
  QString text = L(78);
  if (progress.FailedRecord > 0)
    text += "\n" + extra::MotorRecordNotWritten(progress.FailedRecord, progress.FailedResult);
  if (!progress.ReadBack.isEmpty()) text += "\n" + progress.ReadBack;
  Gui().MessageBox(text, L(75), Buttons::Ok, Icon::Information);
}

// ---- download progress

TWriteMotorForm::TWriteMotorForm(QWidget* parent) : TProgressBox(parent, "WriteMotorForm") {}

void TWriteMotorForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  QCoreApplication::postEvent(this, new QEvent(WM_STARTDOWNLOAD));
}

bool TWriteMotorForm::event(QEvent* event) {
  if (event->type() == WM_STARTDOWNLOAD) {
    DownloadLoop();
    return true;
  }
  return QDialog::event(event);
}

void TWriteMotorForm::DownloadLoop() {
  const auto& records = core::State().MotorRecords;
  ProgBar->setRange(0, Count);
  ProgBar->setValue(0);
  for (int i = 0; i < Count; ++i) {
    Label1->setText(L(106) + QString::number(i + 1));
    LetMessagesRun();
    const core::MotorRecord record =
        i < static_cast<int>(records.size()) ? records[static_cast<std::size_t>(i)] : core::FreeMotorRecord();
    const auto words = core::WordsOf(record);
    const auto reg = static_cast<std::uint16_t>(StartRegister + i);
    core::TransactionResult result = core::WriteBlock16(static_cast<std::uint8_t>(Station), reg, words);
    // The drive may have stored the record although its answer was lost: a read tells.
    if (core::WriteMayHaveBeenDone(result)) {
      const core::RegistersReadBack back =
          core::ReadRegistersBack(Station, reg, 16, std::vector<std::uint16_t>(words.begin(), words.end()));
      if (back.holdsWritten) {
        result = core::kResultOk;
      } else if (back.result == core::kResultPortFailed) {
        result = back.result;
      } else {
        ReadBack = extra::WrittenValueReadBack(extra::MotorRecordName(i + 1), back.result, extra::WordsText(back.words), false);
      }
    }
    if (result != core::kResultOk) {
      FailedRecord = i + 1;
      FailedResult = result;
      done(IdNo);
      return;
    }
    ProgBar->setValue(i + 1);
    LetMessagesRun();
  }
  done(IdYes);
}

}  // namespace ui
