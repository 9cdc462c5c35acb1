// The typed edit's appearance: attached label, link look, long-text hint, flat look, focus
// border, empty-text hint, error marker, transparency and the mouse's hot state.
#include <QClipboard>
#include <QEnterEvent>
#include <QGuiApplication>
#include <utility>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <qdrawutil.h>

#include "controls/edit/edit_text.h"
#include "controls/edit/typed_edit.h"
#include "platform/gui/gui_services.h"

namespace controls {

// --- Label -------------------------------------------------------------------------------------

QString TTypedEdit::LabelCaption() const { return label_ ? label_->text() : QString(); }

void TTypedEdit::SetLabelCaption(const QString& caption) {
  labelCaption_ = caption;
  if (!label_) {
    if (!parentWidget()) return;  // made when the edit gets its parent
    label_ = new QLabel(parentWidget());
    label_->setBuddy(this);
    label_->setFont(labelFont_);
    label_->setAutoFillBackground(!labelTransparent_);
    label_->setEnabled(isEnabled() || labelAlwaysEnabled_);
    label_->setVisible(isVisibleTo(parentWidget()) && parentWidget()->isVisible());
  }
  label_->setText(caption);
  PlaceLabel();
}

void TTypedEdit::SetLabelPosition(TLabelPosition position) {
  labelPosition_ = position;
  PlaceLabel();
}

void TTypedEdit::SetLabelMargin(int pixels) {
  labelMargin_ = pixels;
  PlaceLabel();
}

void TTypedEdit::SetLabelTransparent(bool on) {
  labelTransparent_ = on;
  if (label_) label_->setAutoFillBackground(!on);
  PlaceLabel();
}

void TTypedEdit::SetLabelAlwaysEnabled(bool on) {
  labelAlwaysEnabled_ = on;
  if (on && label_) label_->setEnabled(true);
}

void TTypedEdit::SetLabelFont(const QFont& font) {
  labelFont_ = font;
  if (label_) label_->setFont(font);
  PlaceLabel();
}

void TTypedEdit::PlaceLabel() {
  if (!label_) return;
  const QFontMetrics fm(labelFont_);
  const int w = fm.horizontalAdvance(label_->text());
  const int h = fm.height();
  const int m = labelMargin_;
  const QRect e = geometry();
  int top = e.top(), left = e.left() - w - m;
  switch (labelPosition_) {
    case lpLeftTop:
      break;
    case lpLeftCenter:
      top = e.top() + (e.height() - h) / 2;
      break;
    case lpLeftBottom:
      top = e.top() + e.height() - h;
      break;
    case lpTopLeft:
      top = e.top() - h - m;
      left = e.left();
      break;
    case lpBottomLeft:
      top = e.top() + e.height() + m;
      left = e.left();
      break;
    case lpLeftTopLeft:
      left = e.left() - m;
      break;
    case lpLeftCenterLeft:
      top = e.top() + (e.height() - h) / 2;
      left = e.left() - m;
      break;
    case lpLeftBottomLeft:
      top = e.top() + e.height() - h;
      left = e.left() - m;
      break;
    case lpTopCenter:
      top = e.top() - h - m;
      left = e.left() + (e.width() - w) / 2;
      break;
    case lpBottomCenter:
      top = e.top() + e.height() + m;
      left = e.left() + (e.width() - w) / 2;
      break;
  }
  label_->setGeometry(left, top, w, h);
}

void TTypedEdit::setVisible(bool visible) {
  QLineEdit::setVisible(visible);
  if (label_) label_->setVisible(visible);
}

void TTypedEdit::moveEvent(QMoveEvent* event) {
  QLineEdit::moveEvent(event);
  PlaceLabel();
}

void TTypedEdit::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  PlaceLabel();
}

// --- Link look and hint ----------------------------------------------------------------------

void TTypedEdit::SetShowURL(bool on) {
  showUrl_ = on;
  UpdateLinkLook();
}

void TTypedEdit::UpdateLinkLook() {
  const bool want = showUrl_ && LooksLikeLink(Text());
  if (want == linkLook_) return;
  linkLook_ = want;
  QFont f = font();
  f.setUnderline(want);
  setFont(f);
  ApplyColours(shownBackground_, want ? urlColor_ : normalText_);
  if (want)
    setCursor(Qt::PointingHandCursor);
  else
    unsetCursor();
}

bool TTypedEdit::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip && hintLargeText_) {
    const QString text = Text();
    if (QFontMetrics(font()).horizontalAdvance(text) > width()) {
      QToolTip::showText(mapToGlobal(QPoint(0, 0)), text, this);
      return true;
    }
  }
  return QLineEdit::event(event);
}

// --- Flat look and painting ------------------------------------------------------------------

void TTypedEdit::SetFlat(bool on) {
  if (on == flat_) return;
  flat_ = on;
  if (!loading_) ApplyFlat();
}

void TTypedEdit::ApplyFlat() {
  if (flat_) {
    normalBackground_ = shownBackground_;
    if (flatParentColor_ && parentWidget()) {
      const QColor parent = parentWidget()->palette().color(parentWidget()->backgroundRole());
      focusColor_ = parent;
      SetColor(parent);
    }
    setFrame(false);
    setTextMargins(2, 4, 2, 4);
  } else {
    ApplyColours(normalBackground_, shownText_);
    setFrame(frameBeforeFlat_);
    setTextMargins(0, 0, 0, 0);
  }
  update();
}

void TTypedEdit::SetFlatLineColor(const QColor& c) {
  flatLineColor_ = c;
  update();
}

void TTypedEdit::SetSoftBorder(bool on) {
  if (on == softBorder_) return;
  softBorder_ = on;
  update();
}

void TTypedEdit::SetTransparent(bool on) {
  if (on == transparent_) return;
  transparent_ = on;
  ApplyColours(shownBackground_, shownText_);
  update();
}

void TTypedEdit::SetFocusBorder(bool on) {
  focusBorder_ = on;
  update();
}

void TTypedEdit::SetEmptyText(const QString& text) {
  emptyText_ = text;
  update();
}

void TTypedEdit::SetErrorMarkerPos(int pos) {
  errorMarkerPos_ = pos;
  update();
}

void TTypedEdit::SetErrorMarkerLen(int len) {
  errorMarkerLen_ = len;
  update();
}

int TTypedEdit::CharX(int windowPosition) const {
  const QString shown = displayText();
  const QFontMetrics fm(font());
  const int here = cursorPosition();
  windowPosition = std::clamp(windowPosition, 0, static_cast<int>(shown.size()));
  return cursorRect().center().x() + fm.horizontalAdvance(shown.left(windowPosition)) -
         fm.horizontalAdvance(shown.left(here));
}

void TTypedEdit::paintEvent(QPaintEvent* event) {
  QLineEdit::paintEvent(event);
  QPainter p(this);
  const QRect r = rect();
  if (focusBorder_) {
    if (hot_ || hasFocus()) {
      qDrawShadeRect(&p, r, palette(), true, 1);
      p.setPen(palette().color(QPalette::Button));
      p.drawRect(r.adjusted(1, 1, -2, -2));
    } else {
      const QColor parent = parentWidget() ? parentWidget()->palette().color(parentWidget()->backgroundRole())
                                           : palette().color(QPalette::Window);
      p.setPen(parent);
      p.drawRect(r.adjusted(0, 0, -1, -1));
      p.drawRect(r.adjusted(1, 1, -2, -2));
    }
  } else if (flat_) {
    p.setPen(flatLineColor_);
    if (softBorder_)
      p.drawRect(r.adjusted(0, 0, -1, -1));
    else
      p.drawLine(0, r.bottom(), r.right(), r.bottom());
  }
  if (dropCaret_ >= 0) {
    const QFontMetrics fm(font());
    const QRect caret = cursorRect();
    const int x = CharX(dropCaret_);
    p.fillRect(QRect(x - 1, caret.center().y() - fm.height() / 2, 1, fm.height()), palette().color(QPalette::Text));
  }
  if (!hasFocus() && Text().isEmpty() && !emptyText_.isEmpty()) {
    p.setPen(QColor(128, 128, 128));
    const int x = 2 + QFontMetrics(font()).horizontalAdvance(prefix_);
    p.drawText(QRect(x, 2, r.width() - x, r.height() - 4), Qt::AlignLeft | Qt::AlignVCenter, emptyText_);
  }
  if (!hasFocus() && errorMarkerLen_ >= 1) {
    const QFontMetrics fm(font());
    const int textLen = static_cast<int>(Text().size());
    const int from = std::clamp(errorMarkerPos_, 0, textLen);
    const int to = std::clamp(errorMarkerPos_ + errorMarkerLen_, 0, textLen);
    if (to > from) {
      const int x0 = CharX(ProperStart() + from), x1 = CharX(ProperStart() + to);
      const int baseline = cursorRect().center().y() - fm.height() / 2 + fm.boundingRect(QStringLiteral("gh")).height() - 1;
      QPolygon wave;
      bool up = false;
      for (int x = x0; x <= x1; x += 3, up = !up) wave << QPoint(x, baseline + (up ? 0 : 3));
      p.setPen(QPen(Qt::red, 2));
      p.drawPolyline(wave);
    }
  }
}

// --- Mouse -------------------------------------------------------------------------------------

void TTypedEdit::enterEvent(QEnterEvent* event) {
  QLineEdit::enterEvent(event);
  if (autoFocus_) {
    autoFocusing_ = true;
    setFocus(Qt::MouseFocusReason);
    autoFocusing_ = false;
  }
  if (isEnabled()) hot_ = true;
  if (focusBorder_) update();
}

void TTypedEdit::leaveEvent(QEvent* event) {
  QLineEdit::leaveEvent(event);
  hot_ = false;
  if (focusBorder_) update();
}

void TTypedEdit::mousePressEvent(QMouseEvent* event) {
  // Only a click on the field that already had the focus opens the link; the click that
  // focuses it places the caret.
  const bool hadFocus = hasFocus() && !std::exchange(focusByPress_, false);
  if (event->button() == Qt::LeftButton && hadFocus && linkLook_) {
    platform::gui::Gui().OpenLink(Text());
    event->accept();
    return;
  }
  if (ArmDrag(event)) return;
  QLineEdit::mousePressEvent(event);
}

void TTypedEdit::mouseReleaseEvent(QMouseEvent* event) {
  if (DisarmDrag(event)) return;
  if (event->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection()) {
    // X11's middle click pastes the primary selection at the caret the press placed: a paste
    // like any other, asked of OnClipboardPaste and filtered; a read-only field takes nothing.
    deselect();
    PasteText(QClipboard::Selection);
    KeepCaretInText();
    event->accept();
    return;
  }
  QLineEdit::mouseReleaseEvent(event);
  KeepCaretInText();
}

void TTypedEdit::KeepCaretInText() {
  const int start = ProperStart(), end = ProperEnd();
  if (!hasSelectedText()) {
    if (cursorPosition() < start && !prefix_.isEmpty())
      setSelection(start, end - start);
    else if (cursorPosition() > end)
      setCursorPosition(end);
    return;
  }
  int from = selectionStart(), to = selectionEnd();
  const bool caretAtEnd = cursorPosition() == to;
  from = std::clamp(from, start, end);
  to = std::clamp(to, start, end);
  if (caretAtEnd)
    setSelection(from, to - from);
  else
    setSelection(to, from - to);
}

}  // namespace controls
