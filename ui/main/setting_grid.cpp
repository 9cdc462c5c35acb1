#include "ui/main/setting_grid.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QToolTip>
#include <algorithm>

#include "core/common.h"
#include "core/documents.h"
#include "core/param_access.h"
#include "core/texts.h"
#include "platform/gui/gui_services.h"
#include "ui/common/extra_texts.h"
#include "ui/common/grid_look.h"
#include "ui/common/port_failure.h"
#include "ui/common/qt_text.h"

namespace ui {

using platform::gui::Buttons;
using platform::gui::Gui;
using platform::gui::Icon;

namespace {
// The editor of the setting cell: every change goes through the owner's keystroke filter and the
// closing commit goes through the owner's range and online-write checks.
class SettingDelegate : public OwnerDrawDelegate {
 public:
  SettingDelegate(SettingGridOwner* owner, SettingGrid* grid)
      : OwnerDrawDelegate(grid,
                          [owner](QPainter* p, int column, int row, const QRect& r) {
                            owner->parGridDrawCell(p, column, row + 1, r);
                          }),
        owner_(owner),
        grid_(grid) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override {
    auto* editor = new QLineEdit(parent);
    editor->setFrame(false);
    editor->setFont(grid_->font());
    grid_->SetEditor(editor);
    const int column = index.column();
    const int row = index.row() + 1;
    QObject::connect(editor, &QLineEdit::textEdited, editor, [this, column, row](const QString& text) {
      owner_->parGridSetEditText(column, row, text, false);
    });
    return editor;
  }

  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    auto* line = static_cast<QLineEdit*>(editor);
    if (line->property("opened").toBool()) return;
    line->setProperty("opened", true);
    line->setText(index.data().toString());
    owner_->parGridSetEditText(index.column(), index.row() + 1, line->text(), false);
  }

  void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
    auto* line = static_cast<QLineEdit*>(editor);
    if (line->property("committed").toBool()) return;
    line->setProperty("committed", true);
    // An online write lets window messages run, among them the view's own closing of this
    // editor: the editor is deleted only once the commit has returned to the view.
    line->setProperty("inCommit", true);
    owner_->parGridSetEditText(index.column(), index.row() + 1, line->text(), true);
    line->setProperty("inCommit", false);
    if (line->property("released").toBool()) line->deleteLater();
  }

  void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
    if (grid_->Editor() == editor) grid_->SetEditor(nullptr);
    if (editor->property("inCommit").toBool()) {
      editor->hide();
      editor->setProperty("released", true);
      return;
    }
    OwnerDrawDelegate::destroyEditor(editor, index);
  }

 private:
  SettingGridOwner* owner_;
  SettingGrid* grid_;
};

// The message of an online write that failed: the register's limits for a value that does not
// fit, else what the result code means.
void ShowWriteFailure(const core::ParameterDefinition& line, const QString& text, core::TransactionResult result) {
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
  const QString reason = extra::TransactionFailure(result, extra::Exchange::Write);
  Gui().MessageBox(exchange ? L(78) + "\n" + reason : reason, L(76), Buttons::Ok, Icon::Information);
}

// A write that failed but that the drive may have done all the same (its answer lost or
// damaged): the parameter is read back, the cell and the document line take what the drive
// holds, and the message says so. A read that fails too leaves the cell as it was and says
// that the drive's value is unknown.
QString ReadBackAfterFailedWrite(int index, float written, core::TransactionResult result, const QString& textBefore,
                                 const QString& code, bool& stored) {
  auto& s = core::State();
  const core::ParamReadBack back = core::ReadParamBack(s.LinkedStation, index, written);
  // The window messages that ran meanwhile may have replaced the document.
  if (HandlePortFailure() || static_cast<std::size_t>(index) >= s.Document.size()) return textBefore;
  auto& line = s.Document[static_cast<std::size_t>(index)];
  const QString held = back.result == core::kResultOk ? FormatNumber(line.decimals, back.value) : QString();
  Gui().MessageBox(L(78) + "\n" + extra::TransactionFailure(result, extra::Exchange::Write) + "\n" +
                       extra::WrittenValueReadBack(code, back.result, held, back.holdsWritten),
                   L(76), Buttons::Ok, Icon::Information);
  if (back.result != core::kResultOk) return textBefore;
  if (!(line.value == back.value)) {
    line.value = back.value;
    s.DocumentModified = true;
    stored = true;
  }
  return held;
}
}  // namespace

SettingGrid::SettingGrid(SettingGridOwner* owner, QWidget* parent, int pixelSize)
    : QTableWidget(parent), owner_(owner) {
  setObjectName("parGrid");
  SetUpDocumentGrid(this, 7, pixelSize);
  setItemDelegate(new SettingDelegate(owner, this));
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::AnyKeyPressed);
  setMouseTracking(true);
  viewport()->setMouseTracking(true);
}

void SettingGrid::CommitEditor() {
  if (!editor_) return;
  // An online write lets window messages run while it waits for the drive: the view may have
  // closed the editor by then.
  const QPointer<QLineEdit> editor = editor_;
  commitData(editor);
  if (editor && editor_ == editor) closeEditor(editor, QAbstractItemDelegate::NoHint);
}

QString SettingGrid::Cell(int column, int row) const { return GridCell(this, column, row); }

void SettingGrid::SetCell(int column, int row, const QString& text) {
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (column == kSettingColumn) flags |= Qt::ItemIsEditable;
  SetGridCell(this, column, row, text, flags);
}

bool SettingGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  const bool opening = trigger == QAbstractItemView::AllEditTriggers || (editTriggers() & trigger);
  if (!opening || editor_ || !index.isValid()) return QTableWidget::edit(index, trigger, event);
  const EditorOpening decision = owner_->parGridGetEditMask(index.column(), index.row() + 1);
  if (decision == EditorOpening::Refused) return false;
  if (decision == EditorOpening::Open) return QTableWidget::edit(index, trigger, event);
  // The key that asked for the password was meant for a box the user could not see yet: the
  // editor opens on the cell's own text, selected (as the view opens a line editor), and the key
  // is not passed on to it.
  return QTableWidget::edit(index, trigger, nullptr);
}

void SettingGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableWidget::currentChanged(current, previous);  // commits an open editor
  if (current.isValid()) owner_->parGridSelectCell(current.column(), current.row() + 1);
}

bool SettingGrid::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    if (index.isValid() && index.column() == kSettingColumn && SettingUnknown(*this, index.row() + 1)) {
      QToolTip::showText(help->globalPos(), extra::ValueUnknownHint(), viewport(), visualRect(index));
      return true;
    }
  }
  return QTableWidget::viewportEvent(event);
}

void SettingGrid::mouseMoveEvent(QMouseEvent* event) {
  const QModelIndex index = indexAt(event->position().toPoint());
  viewport()->setCursor(index.isValid() ? owner_->parGridMouseMove(index.column(), index.row() + 1)
                                        : Qt::ArrowCursor);
  QTableWidget::mouseMoveEvent(event);
}

std::array<QString, 7> SettingRowCells(int index) {
  const auto& line = core::State().Document[static_cast<std::size_t>(index)];
  QString range;
  if (line.minimum == line.minimum && line.maximum == line.maximum)
    range = FormatNumber(line.decimals, line.minimum) + "~" + FormatNumber(line.decimals, line.maximum);
  return {QString::number(index),
          Description(line),
          Qs(line.code.view()),
          Qs(line.unit.view()),
          range,
          FormatNumber(line.decimals, line.defaultValue),
          FormatNumber(line.decimals, line.value)};
}

void FilterTypedSetting(const core::ParameterDefinition& line, const QString& text, QString& lastAccepted,
                        QLineEdit* editor) {
  if (text.isEmpty() || text == "-") return;
  int whole = 0;
  double number = 0;
  if (line.decimals == 0 ? ParseInteger(text, whole) : ParseDecimal(text, number)) {
    lastAccepted = text;
  } else if (editor) {
    editor->setText(lastAccepted);
    Gui().Beep();
  }
}

QString CommitSetting(int index, const QString& text, const QString& textBefore, const QString& code,
                      const QString& range, bool& stored) {
  stored = false;
  auto& s = core::State();
  double number = 0;
  if (!ParseDecimal(text, number)) return text.isEmpty() ? textBefore : text;
  auto& line = s.Document[static_cast<std::size_t>(index)];
  const float v = static_cast<float>(number);
  // A maximum that is not a number sets no upper bound; a minimum that is not one refuses all.
  if (!(v >= line.minimum) || v > line.maximum) {
    Gui().MessageBox(L(89) + "\n\n" + L(90) + code + "\n" + L(91) + range, L(73), Buttons::Ok, Icon::Question);
    return textBefore;
  }
  if (s.OnlineEdit) {
    // Writing a line of another model's document would put the value into the wrong register.
    if (!core::DocumentOfLinkedModel()) {
      Gui().MessageBox(L(87), L(73), Buttons::Ok, Icon::Information);
      return textBefore;
    }
    const core::TransactionResult result = core::WriteParam(s.LinkedStation, index, v);
    if (core::WriteMayHaveBeenDone(result))
      return ReadBackAfterFailedWrite(index, v, result, textBefore, code, stored);
    if (result != 0) {
      if (!HandlePortFailure()) ShowWriteFailure(line, text, result);
      return textBefore;
    }
    Gui().MessageBox(L(101), L(100), Buttons::Ok, Icon::Information);
  }
  line.value = v;
  s.DocumentModified = true;
  stored = true;
  return FormatNumber(line.decimals, v);
}

bool SettingUnknown(int index) {
  const auto& s = core::State();
  return s.LinkedStation != 0 && index >= 0 && static_cast<std::size_t>(index) < s.Document.size() &&
         core::DocumentOfLinkedModel() &&
         core::ValueUnknown(s.LinkedStation, s.Document[static_cast<std::size_t>(index)].reg);
}

bool SettingUnknown(const SettingGrid& grid, int row) {
  int index = -1;
  return ParseInteger(grid.Cell(0, row), index) && SettingUnknown(index);
}

void DrawSettingCell(QPainter* painter, const QRect& rect, int column, bool currentRow, const QString& text,
                     const QFont& font, bool unknown) {
  if (currentRow && column <= 5) {
    painter->fillRect(rect, kCurrentBlue);
    DrawCellText(painter, rect, text, font, Qt::white);
    return;
  }
  painter->fillRect(rect, Qt::white);
  if (currentRow && column == kSettingColumn) {
    painter->save();
    painter->setPen(QPen(Qt::black, 1));
    painter->drawRect(rect.adjusted(0, 0, -1, -1));
    painter->restore();
  }
  if (unknown && column == kSettingColumn) {
    painter->save();
    painter->setPen(QPen(kUnknownOrange, 1, Qt::DashLine));
    painter->drawRect(rect.adjusted(1, 1, -2, -2));
    painter->restore();
    QFont italic = font;
    italic.setItalic(true);
    DrawCellText(painter, rect, text, italic, kUnknownOrange);
    return;
  }
  const QColor color = column == 5 ? kDefaultRed : column == kSettingColumn ? kCurrentBlue : QColor(Qt::black);
  DrawCellText(painter, rect, text, font, color);
}

}  // namespace ui
