#include "ui/main/param_form.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QTabBar>
#include <QVBoxLayout>

#include "core/common.h"
#include "core/texts.h"
#include "platform/gui/gui_services.h"
#include "ui/common/grid_look.h"
#include "ui/common/page_keys.h"
#include "ui/common/message_loop.h"
#include "ui/common/qt_text.h"

namespace ui {

using platform::gui::Gui;

namespace {
// The current cell of the grid is always a setting cell: a move to another column of a row
// lands on the setting cell of that row instead.
class SettingColumnSelection : public QItemSelectionModel {
 public:
  using QItemSelectionModel::QItemSelectionModel;
  void setCurrentIndex(const QModelIndex& index, QItemSelectionModel::SelectionFlags command) override {
    QItemSelectionModel::setCurrentIndex(ToSettingColumn(index), command);
  }
  void select(const QModelIndex& index, QItemSelectionModel::SelectionFlags command) override {
    QItemSelectionModel::select(ToSettingColumn(index), command);
  }
  using QItemSelectionModel::select;

 private:
  static QModelIndex ToSettingColumn(const QModelIndex& index) {
    return index.isValid() && index.column() != kSettingColumn ? index.siblingAtColumn(kSettingColumn) : index;
  }
};

bool InDocument(int index) { return index >= 0 && index < static_cast<int>(core::State().Document.size()); }
}  // namespace

TParamForm::TParamForm(QWidget* owner) : QWidget(owner) {
  setObjectName("ParamForm");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  TabControl = MakeTabStrip(this, 15);
  parGrid = new SettingGrid(this, this, 15);
  QItemSelectionModel* previous = parGrid->selectionModel();
  parGrid->setSelectionModel(new SettingColumnSelection(parGrid->model(), parGrid));
  delete previous;
  layout->addWidget(TabControl);
  layout->addWidget(parGrid);
  connect(TabControl, &QTabBar::currentChanged, this, [this] {
    if (!quiet_) TabControlChange();
  });
  AddPageKeys(this, TabControl);

  // The view's own start: one tab per display group of the document, then headers and rows.
  CurrentRow = 1;
  parGrid->setColumnHidden(0, true);
  core::State().DocumentModified = false;
  quiet_ = true;
  while (TabControl->count() > 0) TabControl->removeTab(0);
  const std::array<bool, 9> present = core::DisplayGroupsUsed(core::State().Document);
  TabGroups.fill(0);
  tabCount_ = 0;
  for (int g = 1; g <= 9; ++g)
    if (present[g - 1]) {
      TabGroups[tabCount_++] = static_cast<std::uint8_t>(g);
      TabControl->addTab(QString());
    }
  if (tabCount_ > 0) TabControl->setCurrentIndex(0);
  quiet_ = false;
  TabControl->setVisible(tabCount_ >= 2);
  SetHeaders();
  FillGrid();
}

int TParamForm::TabCount() const { return tabCount_; }

void TParamForm::SetHeaders() {
  const int model = static_cast<int>(core::State().ParHeader.model);
  for (int t = 0; t < tabCount_; ++t) TabControl->setTabText(t, MenuText(PageCaption(model, TabGroups[t])));
  QStringList heads{QString()};
  for (int id = 81; id <= 86; ++id) heads << L(id);
  parGrid->setHorizontalHeaderLabels(heads);
}

void TParamForm::FillRow(int row, int index) {
  const std::array<QString, 7> cells = SettingRowCells(index);
  for (int c = 0; c < 7; ++c) SetCell(c, row, cells[c]);
}

void TParamForm::FillGrid() {
  // Window messages run during an online write's transactions (a tab change, a language
  // switch): the rows are replaced once the entry is in its cell and the editor closed.
  if (committing_) {
    QMetaObject::invokeMethod(this, [this] { FillGrid(); }, Qt::QueuedConnection);
    return;
  }
  // An entry still open belongs to the rows shown before: commit it before they are replaced.
  parGrid->CommitEditor();
  const auto& doc = core::State().Document;
  const int tab = TabControl->currentIndex();
  const int group = tab >= 0 && tab < tabCount_ ? TabGroups[tab] : 0;
  // Rows removed here move the grid's current cell: that is no selection by the user.
  const bool was = quiet_;
  quiet_ = true;
  int n = 0;
  if (group != 0) {
    for (int i = 0; i < static_cast<int>(doc.size()); ++i) {
      if (doc[i].displayGroup != group) continue;
      ++n;
      parGrid->setRowCount(n);
      if (n == 1) SelectedIndex = i;
      FillRow(n, i);
    }
  }
  if (n == 0) {
    parGrid->setRowCount(1);
    for (int c = 0; c < 7; ++c) SetCell(c, 1, QString());
    SelectedIndex = -1;
  }
  CurrentGroup = group;
  // Row 1 is selected, so it is also the row drawn as current: the highlighted row, the grid's
  // current cell and the line an entry edits are always the same one.
  CurrentRow = 1;
  SelectSettingCell(1);
  quiet_ = was;
  parGrid->viewport()->update();
}

void TParamForm::RefreshSettings() {
  const auto& doc = core::State().Document;
  for (int row = 1; row < RowCount(); ++row) {
    int index = -1;
    if (!ParseInteger(Cell(0, row), index) || index < 0 || index >= static_cast<int>(doc.size())) continue;
    SetCell(kSettingColumn, row, FormatNumber(doc[index].decimals, doc[index].value));
  }
}

void TParamForm::GotoRow(int index, int group) {
  if (index < 0 || !InDocument(index) || group < 1 || group > 9) return;
  for (int t = 0; t < tabCount_; ++t) {
    if (TabGroups[t] != group) continue;
    quiet_ = true;
    TabControl->setCurrentIndex(t);
    quiet_ = false;
    FillGrid();
    break;
  }
  LetMessagesRun();
  for (int row = 1; row < RowCount(); ++row) {
    int value = -1;
    if (ParseInteger(Cell(0, row), value) && value == index) {
      CurrentRow = row;
      SelectedIndex = index;
      SelectSettingCell(row);
      parGrid->scrollToItem(parGrid->item(row - 1, kSettingColumn));
      parGrid->viewport()->update();
    }
  }
}

int TParamForm::RowCount() const { return parGrid->rowCount() + 1; }

QString TParamForm::Cell(int column, int row) const { return parGrid->Cell(column, row); }

void TParamForm::SetCell(int column, int row, const QString& text) { parGrid->SetCell(column, row, text); }

void TParamForm::SelectSettingCell(int row) {
  const bool was = quiet_;
  quiet_ = true;
  parGrid->setCurrentCell(row - 1, kSettingColumn);
  quiet_ = was;
}

void TParamForm::SelectRow(int row) { parGrid->setCurrentCell(row - 1, kSettingColumn); }

bool TParamForm::parGridSelectCell(int column, int row) {
  if (quiet_) return true;
  if (column != kSettingColumn && row >= 1) {
    parGrid->setCurrentCell(row - 1, kSettingColumn);
    parGrid->viewport()->update();
    return false;
  }
  int index = -1;
  SelectedIndex = ParseInteger(Cell(0, row), index) ? index : -1;
  parGrid->CommitEditor();
  if (row != CurrentRow) {
    CurrentRow = row;
    parGrid->viewport()->update();
  }
  return true;
}

EditorOpening TParamForm::parGridGetEditMask(int column, int row) {
  auto& s = core::State();
  EditIndex = SelectedIndex;
  if (SelectedIndex < 0 || !InDocument(SelectedIndex) || column != kSettingColumn) return EditorOpening::Refused;
  const auto& line = s.Document[SelectedIndex];
  if (line.editable == 0) return EditorOpening::Refused;
  TextBeforeEdit = Cell(column, row);
  const int level = line.accessLevel;
  const int model = line.model;
  if (level >= 1 && level <= 4 && model >= 1 && model <= s.ModelCount && model <= static_cast<int>(s.Models.size())) {
    const std::string& password = s.Models[model - 1].passwords[level - 1];
    if (!password.empty() && password != s.EnteredPassword) {
      SetCell(column, row, TextBeforeEdit);
      QString entry;
      if (!Gui().InputQuery(L(86), L(88), entry, platform::gui::Echo::Password)) return EditorOpening::Refused;
      if (Ss(entry.trimmed().toUpper()) != password) return EditorOpening::Refused;
      s.EnteredPassword = password;
      return EditorOpening::OpenAfterPassword;
    }
  }
  return EditorOpening::Open;
}

void TParamForm::parGridSetEditText(int column, int row, const QString& text, bool closing) {
  const auto& s = core::State();
  if (!InDocument(EditIndex)) return;
  const auto& line = s.Document[EditIndex];
  if (line.editable == 0) {
    SetCell(column, row, FormatNumber(line.decimals, line.value));
    return;
  }
  if (!closing) {
    FilterTypedSetting(line, text, LastAcceptedText, parGrid->Editor());
    return;
  }
  if (committing_) return;
  committing_ = true;
  CommitEntry(row, text);
  committing_ = false;
}

void TParamForm::CommitEntry(int row, const QString& text) {
  bool stored = false;
  SetCell(kSettingColumn, row, CommitSetting(EditIndex, text, TextBeforeEdit, Cell(2, row), Cell(4, row), stored));
}

void TParamForm::parGridDrawCell(QPainter* painter, int column, int row, const QRect& rect) {
  DrawSettingCell(painter, rect, column, row == CurrentRow, Cell(column, row), parGrid->font(),
                  column == kSettingColumn && SettingUnknown(*parGrid, row));
}

Qt::CursorShape TParamForm::parGridMouseMove(int column, int row) const {
  int index = -1;
  if (column != kSettingColumn || row < 1 || row > static_cast<int>(core::State().Document.size()) ||
      !ParseInteger(Cell(0, row), index) || !InDocument(index))
    return Qt::ArrowCursor;
  return core::State().Document[index].editable >= 1 ? Qt::PointingHandCursor : Qt::ForbiddenCursor;
}

void TParamForm::TabControlChange() { FillGrid(); }

void TParamForm::LanguageChanged() {
  SetHeaders();
  FillGrid();
}

void TParamForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FormResize();
}

void TParamForm::FormResize() {
  const int q = (parGrid->width() - 25) / 8;
  parGrid->setColumnWidth(1, 3 * q);
  for (int c = 2; c <= 6; ++c) parGrid->setColumnWidth(c, q);
}

}  // namespace ui
