#include "ui/main/param_form.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>

#include "core/common.h"
#include "core/param_access.h"
#include "core/texts.h"
#include "platform/gui/gui_services.h"
#include "ui/common/extra_texts.h"
#include "ui/common/grid_look.h"
#include "ui/common/page_keys.h"
#include "ui/common/message_loop.h"
#include "ui/common/qt_text.h"

namespace ui {

using platform::gui::Buttons;
using platform::gui::Gui;
using platform::gui::Icon;

namespace {
constexpr int kSettingColumn = 6;

// The editor of the setting cell: every change goes through the view's keystroke filter and the
// closing commit goes through the view's range and online-write checks.
class SettingDelegate : public OwnerDrawDelegate {
 public:
  SettingDelegate(TParamForm* form, ParamGrid* grid)
      : OwnerDrawDelegate(grid,
                          [form](QPainter* p, int column, int row, const QRect& r) {
                            form->parGridDrawCell(p, column, row + 1, r);
                          }),
        form_(form),
        grid_(grid) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override {
    auto* editor = new QLineEdit(parent);
    editor->setFrame(false);
    editor->setFont(grid_->font());
    grid_->SetEditor(editor);
    const int column = index.column();
    const int row = index.row() + 1;
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
    if (grid_->Editor() == editor) grid_->SetEditor(nullptr);
    OwnerDrawDelegate::destroyEditor(editor, index);
  }

 private:
  TParamForm* form_;
  ParamGrid* grid_;
};

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

// ---- grid

ParamGrid::ParamGrid(TParamForm* form) : QTableWidget(form), form_(form) {
  setObjectName("parGrid");
  SetUpDocumentGrid(this, 7, 15);
  setItemDelegate(new SettingDelegate(form, this));
  QItemSelectionModel* previous = selectionModel();
  setSelectionModel(new SettingColumnSelection(model(), this));
  delete previous;
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::AnyKeyPressed);
  setMouseTracking(true);
  viewport()->setMouseTracking(true);
}

void ParamGrid::CommitEditor() {
  if (!editor_) return;
  QLineEdit* editor = editor_;
  commitData(editor);
  closeEditor(editor, QAbstractItemDelegate::NoHint);
}

bool ParamGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  const bool opening = trigger == QAbstractItemView::AllEditTriggers || (editTriggers() & trigger);
  if (opening && !editor_ && index.isValid() && !form_->parGridGetEditMask(index.column(), index.row() + 1))
    return false;
  return QTableWidget::edit(index, trigger, event);
}

void ParamGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableWidget::currentChanged(current, previous);  // commits an open editor
  if (current.isValid()) form_->parGridSelectCell(current.column(), current.row() + 1);
}

void ParamGrid::mouseMoveEvent(QMouseEvent* event) {
  const QModelIndex index = indexAt(event->position().toPoint());
  const Qt::CursorShape shape =
      index.isValid() ? form_->parGridMouseMove(index.column(), index.row() + 1) : Qt::ArrowCursor;
  viewport()->setCursor(shape);
  QTableWidget::mouseMoveEvent(event);
}

// ---- view

TParamForm::TParamForm(QWidget* owner) : QWidget(owner) {
  setObjectName("ParamForm");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  TabControl = MakeTabStrip(this, 15);
  parGrid = new ParamGrid(this);
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
  std::array<bool, 9> present{};
  for (const auto& line : core::State().Document)
    if (line.displayGroup >= 1 && line.displayGroup <= 9) present[line.displayGroup - 1] = true;
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
  const auto& line = core::State().Document[index];
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

void TParamForm::FillGrid() {
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

QString TParamForm::Cell(int column, int row) const {
  if (row == 0) {
    const QTableWidgetItem* head = parGrid->horizontalHeaderItem(column);
    return head ? head->text() : QString();
  }
  const QTableWidgetItem* item = parGrid->item(row - 1, column);
  return item ? item->text() : QString();
}

void TParamForm::SetCell(int column, int row, const QString& text) {
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

bool TParamForm::parGridGetEditMask(int column, int row) {
  auto& s = core::State();
  EditIndex = SelectedIndex;
  if (SelectedIndex < 0 || !InDocument(SelectedIndex) || column != kSettingColumn) return false;
  const auto& line = s.Document[SelectedIndex];
  if (line.editable == 0) return false;
  TextBeforeEdit = Cell(column, row);
  const int level = line.accessLevel;
  const int model = line.model;
  if (level >= 1 && level <= 4 && model >= 1 && model <= s.ModelCount && model <= static_cast<int>(s.Models.size())) {
    const std::string& password = s.Models[model - 1].passwords[level - 1];
    if (!password.empty() && password != s.EnteredPassword) {
      SetCell(column, row, TextBeforeEdit);
      QString entry;
      if (!Gui().InputQuery(L(86), L(88), entry, platform::gui::Echo::Password)) return false;
      if (Ss(entry.trimmed().toUpper()) != password) return false;
      s.EnteredPassword = password;
    }
  }
  return true;
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
    if (text.isEmpty() || text == "-") return;
    int whole = 0;
    double number = 0;
    const bool converts = line.decimals == 0 ? ParseInteger(text, whole) : ParseDecimal(text, number);
    if (converts) {
      LastAcceptedText = text;
    } else if (QLineEdit* editor = parGrid->Editor()) {
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

void TParamForm::CommitEntry(int row, const QString& text) {
  auto& s = core::State();
  double number = 0;
  if (!ParseDecimal(text, number)) {
    SetCell(kSettingColumn, row, text.isEmpty() ? TextBeforeEdit : text);
    return;
  }
  auto& line = s.Document[EditIndex];
  const float v = static_cast<float>(number);
  // A maximum that is not a number sets no upper bound; a minimum that is not one refuses all.
  if (!(v >= line.minimum) || v > line.maximum) {
    const QString message = L(89) + "\n\n" + L(90) + Cell(2, row) + "\n" + L(91) + Cell(4, row);
    Gui().MessageBox(message, L(73), Buttons::Ok, Icon::Question);
    SetCell(kSettingColumn, row, TextBeforeEdit);
    return;
  }
  if (s.OnlineEdit) {
    // Writing a line of another model's document would put the value into the wrong register.
    if (static_cast<int>(s.ParHeader.model) != s.LinkedModel) {
      Gui().MessageBox(L(87), L(73), Buttons::Ok, Icon::Information);
      SetCell(kSettingColumn, row, TextBeforeEdit);
      return;
    }
    const core::TransactionResult result = core::WriteParam(s.LinkedStation, EditIndex, v);
    if (result != 0) {
      ShowWriteFailure(line, text, result);
      SetCell(kSettingColumn, row, TextBeforeEdit);
      return;
    }
    Gui().MessageBox(L(101), L(100), Buttons::Ok, Icon::Information);
  }
  line.value = v;
  SetCell(kSettingColumn, row, FormatNumber(line.decimals, v));
  s.DocumentModified = true;
}

void TParamForm::ShowWriteFailure(const core::ParameterDefinition& line, const QString& text,
                                  core::TransactionResult result) {
  double low = 0, high = 0;
  if (result == core::kResultBadValue && core::RegisterLimits(line, low, high)) {
    const int decimals = std::clamp(static_cast<int>(line.decimals), 0, 8);
    Gui().MessageBox(extra::ValueDoesNotFit(Qs(line.code.view()), text, QString::number(low, 'f', decimals),
                                            QString::number(high, 'f', decimals)),
                     L(73), Buttons::Ok, Icon::Information);
    return;
  }
  // A failed exchange keeps the communication texts; every other result says what it was.
  const bool exchange = result == core::kResultSendFailed || result == core::kResultBadReply ||
                        result == core::kResultWrongContent;
  const QString reason = extra::TransactionFailure(result);
  Gui().MessageBox(exchange ? L(78) + "\n" + reason : reason, L(76), Buttons::Ok, Icon::Information);
}

void TParamForm::parGridDrawCell(QPainter* painter, int column, int row, const QRect& rect) {
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
