// Drag and drop of text into and out of the typed edit. A drop goes through the same filter as a
// paste at the drop position; a drop that would insert nothing is answered with IgnoreAction, so
// the source never deletes text that went nowhere.
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>

#include "controls/edit/typed_edit.h"

namespace controls {

namespace {

TTypedEdit::DragRunner& Runner() {
  static TTypedEdit::DragRunner runner;
  return runner;
}

// Text and file lists can be dropped; rich text alone cannot.
bool Acceptable(const QMimeData* data) { return data && (data->hasText() || data->hasUrls()); }

Qt::DropAction Wanted(Qt::KeyboardModifiers mods) {
  return mods & Qt::ControlModifier ? Qt::CopyAction : Qt::MoveAction;
}

}  // namespace

void TTypedEdit::SetDragRunner(DragRunner runner) { Runner() = std::move(runner); }

void TTypedEdit::SetOleDropTarget(bool on) {
  oleDropTarget_ = on;
  setAcceptDrops(on);
}

Qt::DropAction TTypedEdit::StartTextDrag(const QString& text, Qt::DropActions allowed) {
  auto* data = new QMimeData;
  data->setText(text);
  if (Runner()) {
    const Qt::DropAction result = Runner()(*this, *data, allowed);
    delete data;
    return result;
  }
  auto* drag = new QDrag(this);
  drag->setMimeData(data);
  return drag->exec(allowed, Qt::MoveAction);
}

bool TTypedEdit::PlanDrop(const QMimeData& data, QPoint point, bool copy, QString& result, int& caret,
                          bool& selfMove) const {
  selfMove = false;
  if (isReadOnly() || !data.hasText()) return false;
  QString text = data.text();
  // Only the first line is taken.
  if (const auto cr = text.indexOf(u'\r'); cr >= 0) text.truncate(cr);
  if (const auto lf = text.indexOf(u'\n'); lf >= 0) text.truncate(lf);
  if (text.isEmpty()) return false;
  const int at = std::clamp(const_cast<TTypedEdit*>(this)->cursorPositionAt(point), ProperStart(), ProperEnd()) - ProperStart();
  QString base = Text();
  int insertAt = at;
  if (draggingOut_) {
    int start, length;
    ProperSelection(start, length);
    if (at >= start && at <= start + length) return false;  // onto itself: nothing moves
    if (!copy) {
      base.remove(start, length);
      if (at > start) insertAt -= length;
      selfMove = true;
    }
  }
  QString filtered;
  if (!FilterInsertion(base, insertAt, 0, text, filtered)) return false;
  result = SetterForm(filtered);
  if (result == Text()) return false;
  caret = std::min(insertAt + static_cast<int>(text.size()), static_cast<int>(result.size()));
  return true;
}

void TTypedEdit::dragEnterEvent(QDragEnterEvent* event) {
  dropAcceptable_ = Acceptable(event->mimeData());
  if (!dropAcceptable_) {
    event->ignore();
    return;
  }
  event->setDropAction(Wanted(event->modifiers()));
  event->accept();
}

void TTypedEdit::dragMoveEvent(QDragMoveEvent* event) {
  if (!dropAcceptable_) {
    event->ignore();
    return;
  }
  const QPoint point = event->position().toPoint();
  const int caret = std::clamp(cursorPositionAt(point), ProperStart(), ProperEnd());
  if (caret != dropCaret_) {
    dropCaret_ = caret;
    update();
  }
  QString result;
  int after;
  bool selfMove;
  const bool copy = event->modifiers() & Qt::ControlModifier;
  if (!PlanDrop(*event->mimeData(), point, copy, result, after, selfMove)) {
    event->ignore();
    return;
  }
  event->setDropAction(Wanted(event->modifiers()));
  event->accept();
}

void TTypedEdit::dragLeaveEvent(QDragLeaveEvent* event) {
  dropCaret_ = -1;
  update();
  event->accept();
}

void TTypedEdit::dropEvent(QDropEvent* event) {
  dropCaret_ = -1;
  update();
  QString result;
  int caret;
  bool selfMove;
  const bool copy = event->modifiers() & Qt::ControlModifier;
  if (!dropAcceptable_ || !PlanDrop(*event->mimeData(), event->position().toPoint(), copy, result, caret, selfMove)) {
    event->setDropAction(Qt::IgnoreAction);
    event->ignore();
    return;
  }
  WriteProper(result, caret);
  SetModifiedMark(true);
  if (selfMove) droppedOnSelf_ = true;
  event->setDropAction(Wanted(event->modifiers()));
  event->accept();
}

// --- Drag source -----------------------------------------------------------------------------

bool TTypedEdit::ArmDrag(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !oleDropSource_ || !hasFocus() || !hasSelectedText()) return false;
  const int at = cursorPositionAt(event->position().toPoint());
  if (at < selectionStart() || at > selectionEnd()) return false;
  dragArmed_ = true;  // the selection stays while the drag may start
  event->accept();
  return true;
}

bool TTypedEdit::DisarmDrag(QMouseEvent* event) {
  if (!dragArmed_) return false;
  dragArmed_ = false;
  setCursorPosition(cursorPositionAt(event->position().toPoint()));
  KeepCaretInText();
  event->accept();
  return true;
}

void TTypedEdit::mouseMoveEvent(QMouseEvent* event) {
  if (!dragArmed_) {
    QLineEdit::mouseMoveEvent(event);
    return;
  }
  dragArmed_ = false;
  int start, length;
  ProperSelection(start, length);
  if (!(event->buttons() & Qt::LeftButton) || length == 0 || !oleDropSource_) return;
  const QString text = Text().mid(start, length);
  QString rest = Text();
  rest.remove(start, length);
  // A read-only field, or one whose rest would not be a valid entry, only lends a copy.
  const bool canMove = !isReadOnly() && Fits(rest);
  draggingOut_ = true;
  droppedOnSelf_ = false;
  const Qt::DropAction result = StartTextDrag(text, canMove ? Qt::CopyAction | Qt::MoveAction : Qt::CopyAction);
  draggingOut_ = false;
  if (result == Qt::MoveAction && canMove && !droppedOnSelf_) {
    WriteProper(rest, start);
    SetModifiedMark(true);
  }
  dropCaret_ = -1;
  update();
  event->accept();
}

}  // namespace controls
