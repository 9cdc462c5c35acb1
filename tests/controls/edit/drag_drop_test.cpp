// Drag and drop of text: synthetic drag and drop events delivered to the fields, and drags out
// of a field started by real mouse events, with the drag loop replaced by direct delivery.
#include <QApplication>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QTest>

#include "controls/edit/typed_edit.h"

using namespace controls;

namespace {

// A point over the gap before window position `pos`.
QPoint PointAt(TTypedEdit* edit, int pos) {
  const int y = edit->height() / 2;
  for (int x = 0; x < edit->width(); ++x)
    if (edit->cursorPositionAt(QPoint(x, y)) >= pos) return QPoint(x, y);
  return QPoint(edit->width() - 2, y);
}

// Enter, move and drop at `pos`; returns the action the field took.
Qt::DropAction Deliver(TTypedEdit* target, const QMimeData* data, int pos, Qt::KeyboardModifiers mods = {}) {
  const QPoint p = PointAt(target, pos);
  const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
  QDragEnterEvent enter(p, actions, data, Qt::LeftButton, mods);
  QApplication::sendEvent(target, &enter);
  if (!enter.isAccepted()) return Qt::IgnoreAction;
  QDragMoveEvent move(p, actions, data, Qt::LeftButton, mods);
  QApplication::sendEvent(target, &move);
  QDropEvent drop(QPointF(p), actions, data, Qt::LeftButton, mods);
  QApplication::sendEvent(target, &drop);
  return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
}

Qt::DropAction DeliverText(TTypedEdit* target, const QString& text, int pos, Qt::KeyboardModifiers mods = {}) {
  QMimeData data;
  data.setText(text);
  return Deliver(target, &data, pos, mods);
}

struct Fields {
  QWidget window;
  TTypedEdit* source;
  TTypedEdit* target;
  Fields() {
    window.resize(400, 100);
    source = new TTypedEdit(&window);
    source->setGeometry(10, 10, 300, 24);
    target = new TTypedEdit(&window);
    target->setGeometry(10, 50, 300, 24);
    for (TTypedEdit* e : {source, target}) {
      e->SetOleDropTarget(true);
      e->SetOleDropSource(true);
    }
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window)) qWarning("window not active");
  }
  ~Fields() { TTypedEdit::SetDragRunner(nullptr); }
  // Selects [from, from + length) of the source and drags it by real mouse events; the drop goes
  // to `to` at window position `at` with the given keys held.
  Qt::DropAction DragOut(int from, int length, TTypedEdit* to, int at, Qt::KeyboardModifiers mods = {}) {
    source->setFocus();
    source->setSelection(from, length);
    Qt::DropAction taken = Qt::IgnoreAction;
    TTypedEdit::SetDragRunner([&](TTypedEdit&, QMimeData& data, Qt::DropActions allowed) {
      offered = allowed;
      taken = Deliver(to, &data, at, mods);
      return taken;
    });
    const QPoint press = PointAt(source, from + length / 2);
    QTest::mousePress(source, Qt::LeftButton, {}, press);
    QMouseEvent move(QEvent::MouseMove, press + QPoint(15, 0), source->mapToGlobal(press + QPoint(15, 0)),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(source, &move);
    QTest::mouseRelease(source, Qt::LeftButton, {}, press + QPoint(15, 0));
    return taken;
  }
  Qt::DropActions offered;
};

}  // namespace

class DragDropTest : public QObject {
  Q_OBJECT
 private slots:
  void dropsGoThroughThePasteFilter() {
    Fields f;
    f.target->SetText("abcd");
    QCOMPARE(DeliverText(f.target, "XY\r\nsecond", 2), Qt::MoveAction);
    QCOMPARE(f.target->Text(), QString("abXYcd"));
    QVERIFY(f.target->isModified());
    QCOMPARE(DeliverText(f.target, "Z", 0, Qt::ControlModifier), Qt::CopyAction);
    QCOMPARE(f.target->Text(), QString("ZabXYcd"));
    // Numeric field with a prefix: letters refused; the drop position is kept out of the prefix;
    // the length limit holds.
    f.target->SetEditType(etNumeric);
    f.target->SetPrefix("#");
    f.target->SetText("12");
    QCOMPARE(DeliverText(f.target, "3a", 1), Qt::IgnoreAction);
    QCOMPARE(DeliverText(f.target, "-5", 1), Qt::IgnoreAction);
    QCOMPARE(DeliverText(f.target, "5", 0), Qt::MoveAction);
    QCOMPARE(f.target->text(), QString("#512"));
    f.target->SetLengthLimit(3);
    QCOMPARE(DeliverText(f.target, "9", 4), Qt::IgnoreAction);
    QCOMPARE(f.target->Text(), QString("512"));
    // Read-only fields, rich text alone, file lists and empty text insert nothing.
    f.target->SetLengthLimit(0);
    f.target->setReadOnly(true);
    QCOMPARE(DeliverText(f.target, "7", 1), Qt::IgnoreAction);
    f.target->setReadOnly(false);
    QMimeData rich;
    rich.setHtml("<b>7</b>");
    QCOMPARE(Deliver(f.target, &rich, 1), Qt::IgnoreAction);
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile("/tmp/x")});
    QCOMPARE(Deliver(f.target, &files, 1), Qt::IgnoreAction);
    QCOMPARE(DeliverText(f.target, "\nline", 1), Qt::IgnoreAction);
    QCOMPARE(f.target->text(), QString("#512"));
    QCOMPARE(f.target->DropCaret(), -1);
    // The drop caret follows the mouse, never into the prefix, and goes when the drag leaves.
    QMimeData digit;
    digit.setText("7");
    QDragEnterEvent enter(PointAt(f.target, 0), Qt::CopyAction, &digit, Qt::LeftButton, {});
    QApplication::sendEvent(f.target, &enter);
    QDragMoveEvent move(PointAt(f.target, 0), Qt::CopyAction, &digit, Qt::LeftButton, {});
    QApplication::sendEvent(f.target, &move);
    QCOMPARE(f.target->DropCaret(), 1);
    QDragMoveEvent further(PointAt(f.target, 3), Qt::CopyAction, &digit, Qt::LeftButton, {});
    QApplication::sendEvent(f.target, &further);
    QCOMPARE(f.target->DropCaret(), 3);
    QDragLeaveEvent leave;
    QApplication::sendEvent(f.target, &leave);
    QCOMPARE(f.target->DropCaret(), -1);
  }

  void dragWithinOneField() {
    Fields f;
    f.source->SetText("hello world");
    // Onto its own selection: nothing moves and the source deletes nothing.
    QCOMPARE(f.DragOut(0, 5, f.source, 3), Qt::IgnoreAction);
    QCOMPARE(f.source->Text(), QString("hello world"));
    // Elsewhere: moved; with Control: copied.
    QCOMPARE(f.DragOut(0, 6, f.source, 11), Qt::MoveAction);
    QCOMPARE(f.source->Text(), QString("worldhello "));
    QCOMPARE(f.DragOut(0, 5, f.source, 11, Qt::ControlModifier), Qt::CopyAction);
    QCOMPARE(f.source->Text(), QString("worldhello world"));
  }

  void dragOutToAnotherField() {
    Fields f;
    f.source->SetText("12345");
    f.target->SetText("ab");
    QCOMPARE(f.DragOut(1, 2, f.target, 2), Qt::MoveAction);
    QCOMPARE(f.source->Text(), QString("145"));
    QCOMPARE(f.target->Text(), QString("ab23"));
    QCOMPARE(f.DragOut(0, 1, f.target, 0, Qt::ControlModifier), Qt::CopyAction);
    QCOMPARE(f.source->Text(), QString("145"));
    QCOMPARE(f.target->Text(), QString("1ab23"));
    // A target that refuses leaves the source whole.
    f.target->SetEditType(etHex);
    f.source->SetText("xyz");
    QCOMPARE(f.DragOut(0, 2, f.target, 0), Qt::IgnoreAction);
    QCOMPARE(f.source->Text(), QString("xyz"));
    // A read-only source only lends a copy.
    f.target->SetEditType(etString);
    f.source->setReadOnly(true);
    f.DragOut(0, 1, f.target, 0);
    QCOMPARE(f.offered, Qt::DropActions(Qt::CopyAction));
    QCOMPARE(f.source->Text(), QString("xyz"));
    // A click inside the selection without moving puts the caret at the click.
    f.source->setReadOnly(false);
    f.source->setFocus();
    f.source->selectAll();
    QTest::mouseClick(f.source, Qt::LeftButton, {}, PointAt(f.source, 1));
    QVERIFY(!f.source->hasSelectedText());
    QCOMPARE(f.source->cursorPosition(), 1);
  }
};

QTEST_MAIN(DragDropTest)
#include "drag_drop_test.moc"
