#include "ui/main/definite_form.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>

#include "core/common.h"
#include "core/param_access.h"
#include "core/settings.h"
#include "core/texts.h"
#include "platform/gui/gui_services.h"
#include "ui/common/extra_texts.h"
#include "ui/common/grid_look.h"
#include "ui/common/qt_text.h"

namespace ui {

using platform::gui::Buttons;
using platform::gui::Gui;
using platform::gui::Icon;
using platform::gui::IdCancel;
using platform::gui::IdOk;

namespace {
constexpr int kSettingColumn = 6;
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

// ---- the favourites grid

class DefiniteGrid : public QTableWidget {
 public:
  DefiniteGrid(TDefiniteForm* form, QWidget* parent) : QTableWidget(parent), form_(form) {}
  QLineEdit* editor = nullptr;

  void CommitEditor() {
    if (!editor) return;
    QLineEdit* e = editor;
    commitData(e);
    closeEditor(e, QAbstractItemDelegate::NoHint);
  }
  bool OpenEditor() { return edit(currentIndex(), EditKeyPressed, nullptr); }

 protected:
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override {
    const bool opening = trigger == QAbstractItemView::AllEditTriggers || (editTriggers() & trigger);
    if (opening && !editor && index.isValid() && !form_->parGridGetEditMask(index.column(), index.row() + 1))
      return false;
    return QTableWidget::edit(index, trigger, event);
  }
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override {
    QTableWidget::currentChanged(current, previous);  // closing the editor commits it
    if (current.isValid()) form_->parGridSelectCell(current.column(), current.row() + 1);
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    const QModelIndex index = indexAt(event->position().toPoint());
    viewport()->setCursor(index.isValid() ? form_->parGridMouseMove(index.column(), index.row() + 1)
                                          : Qt::ArrowCursor);
    QTableWidget::mouseMoveEvent(event);
  }

 private:
  TDefiniteForm* form_;
};

namespace {
class DefiniteDelegate : public OwnerDrawDelegate {
 public:
  DefiniteDelegate(TDefiniteForm* form, DefiniteGrid* grid)
      : OwnerDrawDelegate(grid, [form](QPainter* p, int column, int row, const QRect& r) {
          form->parGridDrawCell(p, column, row + 1, r);
        }),
        form_(form),
        grid_(grid) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override {
    auto* editor = new QLineEdit(parent);
    editor->setFrame(false);
    editor->setFont(grid_->font());
    grid_->editor = editor;
    const int column = index.column(), row = index.row() + 1;
    QObject::connect(editor, &QLineEdit::textEdited, editor,
                     [this, column, row](const QString& text) { form_->parGridSetEditText(column, row, text, false); });
    return editor;
  }
  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    auto* line = static_cast<QLineEdit*>(editor);
    if (line->property("opened").toBool()) return;
    line->setProperty("opened", true);
    line->setText(index.data().toString());
    form_->parGridSetEditText(index.column(), index.row() + 1, line->text(), false);
  }
  void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
    auto* line = static_cast<QLineEdit*>(editor);
    if (line->property("committed").toBool()) return;
    line->setProperty("committed", true);
    form_->parGridSetEditText(index.column(), index.row() + 1, line->text(), true);
  }
  void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
    if (grid_->editor == editor) grid_->editor = nullptr;
    OwnerDrawDelegate::destroyEditor(editor, index);
  }

 private:
  TDefiniteForm* form_;
  DefiniteGrid* grid_;
};
}  // namespace

TDefiniteForm::TDefiniteForm(QWidget* owner) : QDialog(owner), owner_(owner) {
  setObjectName("DefiniteForm");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFixedSize(760, 440);
  GroupBox1 = new QGroupBox(this);
  GroupBox1->setObjectName("GroupBox1");
  GroupBox1->setGeometry(8, 4, 744, 388);
  parGrid = new DefiniteGrid(this, GroupBox1);
  parGrid->setObjectName("parGrid");
  SetUpDocumentGrid(parGrid, 7, 12);
  parGrid->verticalHeader()->setDefaultSectionSize(20);
  parGrid->setGeometry(8, 20, 728, 360);
  parGrid->setItemDelegate(new DefiniteDelegate(this, parGrid));
  parGrid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed);
  parGrid->setMouseTracking(true);
  parGrid->viewport()->setMouseTracking(true);
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
  const auto& line = core::State().Document[static_cast<std::size_t>(index)];
  QString range;
  if (line.minimum == line.minimum && line.maximum == line.maximum)
    range = FormatNumber(line.decimals, line.minimum) + "~" + FormatNumber(line.decimals, line.maximum);
  const QString cells[7] = {QString::number(index),
                            Description(line),
                            Qs(line.code.view()),
                            Qs(line.unit.view()),
                            range,
                            FormatNumber(line.decimals, line.defaultValue),
                            FormatNumber(line.decimals, line.value)};
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

QString TDefiniteForm::Cell(int column, int row) const {
  if (row == 0) {
    const QTableWidgetItem* head = parGrid->horizontalHeaderItem(column);
    return head ? head->text() : QString();
  }
  const QTableWidgetItem* item = parGrid->item(row - 1, column);
  return item ? item->text() : QString();
}

void TDefiniteForm::SetCell(int column, int row, const QString& text) {
  QTableWidgetItem* item = parGrid->item(row - 1, column);
  if (!item) {
    item = new QTableWidgetItem;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (column == kSettingColumn) flags |= Qt::ItemIsEditable;
    item->setFlags(flags);
    parGrid->setItem(row - 1, column, item);
  }
  item->setText(text);
}

void TDefiniteForm::SelectRow(int row) { parGrid->setCurrentCell(row - 1, kSettingColumn); }
bool TDefiniteForm::OpenEditor() { return parGrid->OpenEditor(); }
QLineEdit* TDefiniteForm::Editor() const { return parGrid->editor; }
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

bool TDefiniteForm::parGridGetEditMask(int column, int row) {
  const auto& s = core::State();
  EditIndex = SelectedIndex;
  if (!InDocument(SelectedIndex) || column != kSettingColumn) return false;
  const auto& line = s.Document[static_cast<std::size_t>(SelectedIndex)];
  if (line.editable == 0) return false;
  TextBeforeEdit = Cell(column, row);
  // Here the password is asked every time, and the one the parameter view keeps is not used.
  const int level = line.accessLevel, model = line.model;
  if (level >= 1 && level <= 4 && model >= 1 && model <= static_cast<int>(s.Models.size())) {
    const std::string& password = s.Models[static_cast<std::size_t>(model - 1)].passwords[static_cast<std::size_t>(level - 1)];
    if (!password.empty()) {
      QString entry;
      if (!Gui().InputQuery(L(86), L(88), entry, platform::gui::Echo::Password)) return false;
      if (Ss(entry.trimmed().toUpper()) != password) return false;
    }
  }
  return true;
}

void TDefiniteForm::parGridSetEditText(int column, int row, const QString& text, bool closing) {
  if (!InDocument(EditIndex)) return;
  const auto& line = core::State().Document[static_cast<std::size_t>(EditIndex)];
  if (line.editable == 0) {
    SetCell(column, row, FormatNumber(line.decimals, line.value));
    return;
  }
  if (!closing) {
    // As in the parameter view: an empty text and a lone "-" (a negative value being typed) pass.
    if (text.isEmpty() || text == "-") return;
    int whole = 0;
    double number = 0;
    if (line.decimals == 0 ? ParseInteger(text, whole) : ParseDecimal(text, number)) {
      LastAcceptedText = text;
    } else if (QLineEdit* editor = Editor()) {
      editor->setText(LastAcceptedText);
      Gui().Beep();
    }
    return;
  }
  if (committing_) return;
  committing_ = true;
  CommitEntry(row, text);
  committing_ = false;
}

void TDefiniteForm::CommitEntry(int row, const QString& text) {
  auto& s = core::State();
  double number = 0;
  if (!ParseDecimal(text, number)) {
    SetCell(kSettingColumn, row, text.isEmpty() ? TextBeforeEdit : text);
    return;
  }
  auto& line = s.Document[static_cast<std::size_t>(EditIndex)];
  const float v = static_cast<float>(number);
  if (!(v >= line.minimum) || v > line.maximum) {
    Gui().MessageBox(L(89) + "\n\n" + L(90) + Cell(2, row) + "\n" + L(91) + Cell(4, row), L(73), Buttons::Ok,
                     Icon::Question);
    SetCell(kSettingColumn, row, TextBeforeEdit);
    return;
  }
  if (s.OnlineEdit) {
    if (static_cast<int>(s.ParHeader.model) != s.LinkedModel) {
      Gui().MessageBox(L(87), L(73), Buttons::Ok, Icon::Information);
      SetCell(kSettingColumn, row, TextBeforeEdit);
      return;
    }
    const core::TransactionResult result = core::WriteParam(s.LinkedStation, EditIndex, v);
    if (result != 0) {
      double low = 0, high = 0;
      if (result == core::kResultBadValue && core::RegisterLimits(line, low, high)) {
        const int decimals = std::clamp(static_cast<int>(line.decimals), 0, 8);
        Gui().MessageBox(extra::ValueDoesNotFit(Qs(line.code.view()), text, QString::number(low, 'f', decimals),
                                                QString::number(high, 'f', decimals)),
                         L(73), Buttons::Ok, Icon::Information);
      } else {
        const bool exchange = result == core::kResultSendFailed || result == core::kResultBadReply ||
                              result == core::kResultWrongContent;
        const QString reason = extra::TransactionFailure(result);
        Gui().MessageBox(exchange ? L(78) + "\n" + reason : reason, L(76), Buttons::Ok, Icon::Information);
      }
      SetCell(kSettingColumn, row, TextBeforeEdit);
      return;
    }
    Gui().MessageBox(L(101), L(100), Buttons::Ok, Icon::Information);
  }
  line.value = v;
  SetCell(kSettingColumn, row, FormatNumber(line.decimals, v));
  if (owner_) QMetaObject::invokeMethod(owner_, "RefreshSettings", Qt::QueuedConnection);
  s.DocumentModified = true;
}

void TDefiniteForm::parGridDrawCell(QPainter* painter, int column, int row, const QRect& rect) {
  const QString text = Cell(column, row);
  const QFont& font = parGrid->font();
  if (row == CurrentRow && column <= 5) {
    painter->fillRect(rect, kCurrentBlue);
    DrawCellText(painter, rect, text, font, Qt::white);
    return;
  }
  painter->fillRect(rect, Qt::white);
  if (row == CurrentRow && column == kSettingColumn) {
    painter->save();
    painter->setPen(QPen(Qt::black, 1));
    painter->drawRect(rect.adjusted(0, 0, -1, -1));
    painter->restore();
  }
  const QColor color = column == 5 ? kDefaultRed : column == kSettingColumn ? kCurrentBlue : QColor(Qt::black);
  DrawCellText(painter, rect, text, font, color);
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
