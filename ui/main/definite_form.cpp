#include "ui/main/definite_form.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "core/common.h"
#include "core/settings.h"
#include "core/texts.h"
#include "platform/gui/gui_services.h"
#include "ui/common/qt_text.h"

namespace ui {

using platform::gui::Gui;
using platform::gui::IdCancel;
using platform::gui::IdOk;

namespace {
const std::string kListName = "ParameterDefinite";

bool InDocument(int index) { return index >= 0 && index < static_cast<int>(core::State().Document.size()); }

// "code:description", 221 characters at most.
QString EntryText(const core::ParameterDefinition& d) { return (Qs(d.code.view()) + ":" + Description(d)).left(221); }
}  // namespace

std::vector<std::string> ReadFavourites() {
  std::vector<std::string> codes;
  const int n = core::ReadSettingInt(kListName);
  for (int i = 1; i <= n; ++i) codes.push_back(core::ReadSettingStr(kListName + std::to_string(i)));
  return codes;
}

bool WriteFavourites(const std::vector<std::string>& codes) {
  core::SettingsBatch batch;
  core::WriteSettingInt(kListName, static_cast<std::int32_t>(codes.size()));
  for (std::size_t i = 0; i < codes.size(); ++i) core::WriteSettingStr(kListName + std::to_string(i + 1), codes[i]);
  return batch.Finish();
}

TDefiniteForm::TDefiniteForm(QWidget* owner) : QDialog(owner), owner_(owner) {
  setObjectName("DefiniteForm");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFixedSize(760, 440);
  GroupBox1 = new QGroupBox(this);
  GroupBox1->setObjectName("GroupBox1");
  GroupBox1->setGeometry(8, 4, 744, 388);
  parGrid = new SettingGrid(this, GroupBox1, 12);
  parGrid->verticalHeader()->setDefaultSectionSize(20);
  parGrid->setGeometry(8, 20, 728, 360);
  AddButton = new QPushButton(this);
  AddButton->setObjectName("AddButton");
  AddButton->setGeometry(8, 402, 120, 28);
  AddButton->setAutoDefault(false);
  CloseButton = new QPushButton("Close", this);
  CloseButton->setObjectName("CloseButton");
  CloseButton->setGeometry(652, 402, 100, 28);
  CloseButton->setAutoDefault(false);
  connect(AddButton, &QPushButton::clicked, this, &TDefiniteForm::AddButtonClick);
  connect(CloseButton, &QPushButton::clicked, this, [this] {
    CommitEditor();
    done(IdOk);
  });
  FormCreate();
}

void TDefiniteForm::FormCreate() {
  CurrentRow = 1;
  parGrid->setColumnHidden(0, true);
  QStringList heads{QString()};
  for (int id = 81; id <= 86; ++id) heads << L(id);
  parGrid->setHorizontalHeaderLabels(heads);
  const int q = (parGrid->width() - 25) / 8;
  parGrid->setColumnWidth(1, 3 * q);
  for (int c = 2; c <= 6; ++c) parGrid->setColumnWidth(c, q);
  AddButton->setEnabled(!core::State().Document.empty());
  FillGrid();
  setWindowTitle(L(169));
  GroupBox1->setTitle(MenuText(L(170)));
  AddButton->setText(MenuText(L(171)));
}

void TDefiniteForm::FillRow(int row, int index) {
  const std::array<QString, 7> cells = SettingRowCells(index);
  for (int c = 0; c < 7; ++c) SetCell(c, row, cells[c]);
}

void TDefiniteForm::FillGrid() {
  CommitEditor();
  const bool was = quiet_;
  quiet_ = true;
  int n = 0;
  for (const std::string& code : ReadFavourites()) {
    int j = -1;
    if (!core::FindInDocument(code, j) || !InDocument(j)) continue;
    ++n;
    parGrid->setRowCount(n);
    if (n == 1) SelectedIndex = j;
    FillRow(n, j);
  }
  if (n == 0) {
    parGrid->setRowCount(1);
    for (int c = 0; c < 7; ++c) SetCell(c, 1, QString());
    SelectedIndex = -1;
  }
  CurrentRow = 1;
  parGrid->setCurrentCell(0, kSettingColumn);
  quiet_ = was;
  parGrid->viewport()->update();
}

int TDefiniteForm::RowCount() const { return parGrid->rowCount() + 1; }

QString TDefiniteForm::Cell(int column, int row) const { return parGrid->Cell(column, row); }
void TDefiniteForm::SetCell(int column, int row, const QString& text) { parGrid->SetCell(column, row, text); }
void TDefiniteForm::SelectRow(int row) { parGrid->setCurrentCell(row - 1, kSettingColumn); }
bool TDefiniteForm::OpenEditor() { return parGrid->OpenEditor(); }
QLineEdit* TDefiniteForm::Editor() const { return parGrid->Editor(); }
void TDefiniteForm::CommitEditor() { parGrid->CommitEditor(); }

bool TDefiniteForm::parGridSelectCell(int column, int row) {
  if (quiet_) return true;
  if (column != kSettingColumn && row >= 1) {
    parGrid->setCurrentCell(row - 1, kSettingColumn);
    return false;
  }
  int index = -1;
  SelectedIndex = ParseInteger(Cell(0, row), index) ? index : -1;
  CommitEditor();
  if (row != CurrentRow) {
    CurrentRow = row;
    parGrid->viewport()->update();
  }
  return true;
}

EditorOpening TDefiniteForm::parGridGetEditMask(int column, int row) {
  const auto& s = core::State();
  EditIndex = SelectedIndex;
  if (!InDocument(SelectedIndex) || column != kSettingColumn) return EditorOpening::Refused;
  const auto& line = s.Document[static_cast<std::size_t>(SelectedIndex)];
  if (line.editable == 0) return EditorOpening::Refused;
  TextBeforeEdit = Cell(column, row);
  // Here the password is asked every time, and the one the parameter view keeps is not used.
  const int level = line.accessLevel, model = line.model;
  if (level >= 1 && level <= 4 && model >= 1 && model <= static_cast<int>(s.Models.size())) {
    const std::string& password = s.Models[static_cast<std::size_t>(model - 1)].passwords[static_cast<std::size_t>(level - 1)];
    if (!password.empty()) {
      QString entry;
      if (!Gui().InputQuery(L(86), L(88), entry, platform::gui::Echo::Password)) return EditorOpening::Refused;
      if (Ss(entry.trimmed().toUpper()) != password) return EditorOpening::Refused;
      return EditorOpening::OpenAfterPassword;
    }
  }
  return EditorOpening::Open;
}

void TDefiniteForm::parGridSetEditText(int column, int row, const QString& text, bool closing) {
  if (!InDocument(EditIndex)) return;
  const auto& line = core::State().Document[static_cast<std::size_t>(EditIndex)];
  if (line.editable == 0) {
    SetCell(column, row, FormatNumber(line.decimals, line.value));
    return;
  }
  if (!closing) {
    FilterTypedSetting(line, text, LastAcceptedText, Editor());
    return;
  }
  if (committing_) return;
  committing_ = true;
  CommitEntry(row, text);
  committing_ = false;
}

void TDefiniteForm::CommitEntry(int row, const QString& text) {
  bool stored = false;
  SetCell(kSettingColumn, row, CommitSetting(EditIndex, text, TextBeforeEdit, Cell(2, row), Cell(4, row), stored));
  if (stored && owner_) QMetaObject::invokeMethod(owner_, "RefreshSettings", Qt::QueuedConnection);
}

void TDefiniteForm::parGridDrawCell(QPainter* painter, int column, int row, const QRect& rect) {
  DrawSettingCell(painter, rect, column, row == CurrentRow, Cell(column, row), parGrid->font(),
                  column == kSettingColumn && SettingUnknown(*parGrid, row));
}

Qt::CursorShape TDefiniteForm::parGridMouseMove(int column, int row) const {
  int index = -1;
  if (column != kSettingColumn || row < 1 || !ParseInteger(Cell(0, row), index) || !InDocument(index))
    return Qt::ArrowCursor;
  return core::State().Document[static_cast<std::size_t>(index)].editable >= 1 ? Qt::PointingHandCursor
                                                                                : Qt::ForbiddenCursor;
}

void TDefiniteForm::AddButtonClick() {
  CommitEditor();
  TDefiniteAddForm dialog(this);
  if (Gui().ExecDialog(dialog) != IdOk) return;
  if (!WriteFavourites(dialog.Codes())) return;  // the settings reporter has told why
  FillGrid();
}

// ---- the add dialog

TDefiniteAddForm::TDefiniteAddForm(QWidget* parent) : QDialog(parent) {
  setObjectName("DefiniteAddForm");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFixedSize(760, 420);
  GroupBox1 = new QGroupBox(this);
  GroupBox1->setGeometry(8, 4, 320, 364);
  listPar = new QListWidget(GroupBox1);
  listPar->setObjectName("listPar");
  listPar->setGeometry(8, 20, 304, 336);
  GroupBox2 = new QGroupBox(this);
  GroupBox2->setGeometry(432, 4, 320, 364);
  listDef = new QListWidget(GroupBox2);
  listDef->setObjectName("listDef");
  listDef->setGeometry(8, 20, 304, 300);
  auto button = [this](QWidget* parent, const char* name, int x, int y, int w) {
    auto* b = new QPushButton(parent);
    b->setObjectName(name);
    b->setGeometry(x, y, w, 28);
    b->setAutoDefault(false);
    return b;
  };
  AddAllButton = button(GroupBox2, "AddAllButton", 8, 328, 72);
  RemoveAllButton = button(GroupBox2, "RemoveAllButton", 84, 328, 76);
  UpButton = button(GroupBox2, "UpButton", 164, 328, 72);
  DownButton = button(GroupBox2, "DownButton", 240, 328, 72);
  AddButton = button(this, "AddButton", 336, 140, 88);
  RemoveButton = button(this, "RemoveButton", 336, 180, 88);
  OK = button(this, "OK", 560, 380, 92);
  Cancel = button(this, "Cancel", 660, 380, 92);
  connect(AddButton, &QPushButton::clicked, this, &TDefiniteAddForm::AddButtonClick);
  connect(RemoveButton, &QPushButton::clicked, this, &TDefiniteAddForm::RemoveButtonClick);
  connect(AddAllButton, &QPushButton::clicked, this, &TDefiniteAddForm::AddAllButtonClick);
  connect(RemoveAllButton, &QPushButton::clicked, this, &TDefiniteAddForm::RemoveAllButtonClick);
  connect(UpButton, &QPushButton::clicked, this, &TDefiniteAddForm::UpButtonClick);
  connect(DownButton, &QPushButton::clicked, this, &TDefiniteAddForm::DownButtonClick);
  connect(OK, &QPushButton::clicked, this, [this] { done(IdOk); });
  connect(Cancel, &QPushButton::clicked, this, [this] { done(IdCancel); });
  FormCreate();
}

void TDefiniteAddForm::FormCreate() {
  const auto& s = core::State();
  ParameterIndexes.clear();
  FavouriteIndexes.clear();
  FavouriteSet.clear();
  DocumentModel = s.Document.empty() ? 0 : s.Document.front().model;
  for (const std::string& code : ReadFavourites()) {
    int j = -1;
    if (!core::FindDefinition(code, DocumentModel, j)) continue;
    // A code stored twice (by an older list) is listed once.
    if (FavouriteSet.count(j)) continue;
    Append(j);
  }
  RefreshLists();
  setWindowTitle(L(171));
  GroupBox1->setTitle(MenuText(L(172)));
  GroupBox2->setTitle(MenuText(L(173)));
  AddButton->setText(MenuText(L(174)));
  RemoveButton->setText(MenuText(L(175)));
  AddAllButton->setText(MenuText(L(176)));
  RemoveAllButton->setText(MenuText(L(177)));
  UpButton->setText(MenuText(L(178)));
  DownButton->setText(MenuText(L(179)));
  OK->setText(MenuText(L(120)));
  Cancel->setText(MenuText(L(121)));
}

void TDefiniteAddForm::Append(int index) {
  FavouriteIndexes.push_back(index);
  FavouriteSet.insert(index);
  listDef->addItem(EntryText(core::State().ParamDefs[static_cast<std::size_t>(index)]));
}

void TDefiniteAddForm::RefreshLists() {
  const auto& s = core::State();
  listPar->clear();
  ParameterIndexes.clear();
  for (int j = 0; j < static_cast<int>(s.ParamDefs.size()); ++j) {
    const auto& d = s.ParamDefs[static_cast<std::size_t>(j)];
    if (d.model != DocumentModel || FavouriteSet.count(j)) continue;
    ParameterIndexes.push_back(j);
    listPar->addItem(EntryText(d));
  }
}

void TDefiniteAddForm::AddButtonClick() {
  const int k = listPar->currentRow();
  if (k < 0 || k >= static_cast<int>(ParameterIndexes.size())) return;
  const int j = ParameterIndexes[static_cast<std::size_t>(k)];
  if (j < 0 || j >= static_cast<int>(core::State().ParamDefs.size()) || FavouriteSet.count(j)) return;
  Append(j);
  RefreshLists();
}

void TDefiniteAddForm::RemoveButtonClick() {
  const int k = listDef->currentRow();
  if (k < 0 || k >= static_cast<int>(FavouriteIndexes.size())) return;
  FavouriteSet.erase(FavouriteIndexes[static_cast<std::size_t>(k)]);
  FavouriteIndexes.erase(FavouriteIndexes.begin() + k);
  delete listDef->takeItem(k);
  RefreshLists();
}

void TDefiniteAddForm::AddAllButtonClick() {
  listDef->clear();
  FavouriteIndexes.clear();
  FavouriteSet.clear();
  const auto& defs = core::State().ParamDefs;
  for (int j = 0; j < static_cast<int>(defs.size()); ++j)
    if (defs[static_cast<std::size_t>(j)].model == DocumentModel) Append(j);
  RefreshLists();
}

void TDefiniteAddForm::RemoveAllButtonClick() {
  listDef->clear();
  FavouriteIndexes.clear();
  FavouriteSet.clear();
  RefreshLists();
}

void TDefiniteAddForm::UpButtonClick() {
  const int k = listDef->currentRow();
  if (k <= 0 || k >= static_cast<int>(FavouriteIndexes.size())) return;
  std::swap(FavouriteIndexes[static_cast<std::size_t>(k - 1)], FavouriteIndexes[static_cast<std::size_t>(k)]);
  listDef->insertItem(k - 1, listDef->takeItem(k));
  listDef->setCurrentRow(k - 1);
}

void TDefiniteAddForm::DownButtonClick() {
  const int k = listDef->currentRow();
  if (k < 0 || k >= static_cast<int>(FavouriteIndexes.size()) - 1) return;
  std::swap(FavouriteIndexes[static_cast<std::size_t>(k)], FavouriteIndexes[static_cast<std::size_t>(k + 1)]);
  listDef->insertItem(k + 1, listDef->takeItem(k));
  listDef->setCurrentRow(k + 1);
}

std::vector<std::string> TDefiniteAddForm::Codes() const {
  std::vector<std::string> codes;
  const auto& defs = core::State().ParamDefs;
  for (int j : FavouriteIndexes)
    if (j >= 0 && j < static_cast<int>(defs.size())) codes.push_back(defs[static_cast<std::size_t>(j)].code.str());
  return codes;
}

}  // namespace ui
