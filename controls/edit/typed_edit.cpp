#include "controls/edit/typed_edit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <algorithm>
#include <cmath>
#include <utility>

#include "controls/edit/edit_text.h"

namespace controls {

namespace {

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }
bool IsHexDigit(QChar c) { return IsDigit(c) || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f'); }
bool IsAsciiLetterOrDigit(QChar c) { return IsDigit(c) || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }
bool IsRangeSeparator(QChar c) { return c == u',' || c == u'-' || c == u';'; }

constexpr QChar kBackspace = u'\b';
constexpr QChar kTab = u'\t';
constexpr QChar kEnter = u'\r';

bool IsControlChar(QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; }

// The characters of a text, each whole: a surrogate pair stays together; a lone surrogate
// (which no character is) is left out.
QStringList WholeCharacters(const QString& text) {
  QStringList out;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      out << text.mid(i, 2);
      ++i;
    } else if (!c.isSurrogate()) {
      out << QString(c);
    }
  }
  return out;
}

int HexDigitCount(const QString& s) {
  return static_cast<int>(std::count_if(s.begin(), s.end(), [](QChar c) { return IsHexDigit(c); }));
}

QString HexText(std::uint32_t v) { return QString::number(v, 16).toUpper(); }

}  // namespace

TTypedEdit::TTypedEdit(QWidget* parent) : QLineEdit(parent) {
  const QPalette system = QGuiApplication::palette();
  focusColor_ = system.color(QPalette::Base);
  focusFontColor_ = system.color(QPalette::Text);
  modifiedColor_ = system.color(QPalette::Highlight);
  normalBackground_ = shownBackground_ = palette().color(QPalette::Base);
  normalText_ = shownText_ = palette().color(QPalette::Text);
  labelFont_ = QApplication::font();
  setAcceptDrops(false);
  setDragEnabled(false);
  connect(this, &QLineEdit::textChanged, this, &TTypedEdit::OnTextChanged);
  lookup_ = std::make_unique<TLookupSettings>();
  persistence_ = std::make_unique<TPersistence>();
  popup_ = new TListHintWindow(this);
  loading_ = false;
}

TTypedEdit::~TTypedEdit() {
  SavePersistence();
  delete label_.data();
}

void TTypedEdit::Loaded() {
  // A field disabled before this keeps the colour it had before as its normal one.
  if (isEnabled()) normalBackground_ = shownBackground_;
  normalText_ = shownText_;
  frameBeforeFlat_ = hasFrame();
  if (flat_) ApplyFlat();
  PlaceLabel();
  if (!isEnabled()) ApplyColours(disabledColor_, shownText_);
  LoadPersistence();
}

// --- Text model ----------------------------------------------------------------------------

QString TTypedEdit::Text() const {
  QString w = QLineEdit::text();
  if (!prefix_.isEmpty() && w.startsWith(prefix_)) w.remove(0, prefix_.size());
  w.chop(std::min<qsizetype>(suffix_.size(), w.size()));
  return w;
}

int TTypedEdit::ProperEnd() const { return ProperStart() + static_cast<int>(Text().size()); }

int TTypedEdit::ProperCaret() const {
  return std::clamp(cursorPosition() - ProperStart(), 0, static_cast<int>(Text().size()));
}

void TTypedEdit::ProperSelection(int& start, int& length) const {
  if (!hasSelectedText()) {
    start = ProperCaret();
    length = 0;
    return;
  }
  const int from = std::clamp(selectionStart() - ProperStart(), 0, static_cast<int>(Text().size()));
  const int to = std::clamp(selectionEnd() - ProperStart(), 0, static_cast<int>(Text().size()));
  start = from;
  length = to - from;
}

bool TTypedEdit::Fits(const QString& text) const {
  if (text.isEmpty()) return true;
  const NumberClass c = ClassifyNumber(text);
  switch (editType_) {
    case etNumeric:
      return c == NumberClass::Numeric && SignIsLeading(text, signed_);
    case etFloat:
    case etMoney:
      return (c == NumberClass::Numeric || c == NumberClass::Float) && SignIsLeading(text, signed_);
    case etHex:
      return (c == NumberClass::Numeric || c == NumberClass::Hex) && !text.contains(u'-') && text.size() <= 8;
    default:
      return true;
  }
}

QString TTypedEdit::SetterForm(const QString& value) const {
  QString v = value;
  if (!v.isEmpty() && !Fits(v)) v = QStringLiteral("0");
  if (precision_ >= 1 && !v.isEmpty()) {
    if (editType_ == etMoney) v = FormatGrouped(EditToFloat(v), precision_);
    if (editType_ == etFloat) v = FormatFixed(EditToFloat(v), precision_);
  }
  if (editType_ == etHex) v = v.toUpper();
  return v;
}

void TTypedEdit::SetText(const QString& value) {
  const QString v = SetterForm(value);
  QLineEdit::setText(prefix_ + v + suffix_);
  setCursorPosition(ProperEnd());
  SetModifiedMark(false);
  UpdateLinkLook();
}

void TTypedEdit::WriteProper(const QString& text, int caret, int selectionLength) {
  const bool modified = isModified();
  const QString window = prefix_ + text + suffix_;
  if (window != QLineEdit::text()) {
    // Replacing through the edit keeps the step on its undo list; moving the caret before and
    // after closes the steps around it, so one undo takes back one change.
    setCursorPosition(cursorPosition() == 0 ? 1 : 0);
    selectAll();
    insert(window);
    setCursorPosition(0);
    end(false);
  }
  setModified(modified);
  caret = std::clamp(caret, 0, static_cast<int>(text.size()));
  if (selectionLength > 0)
    setSelection(ProperStart() + caret, std::min(selectionLength, static_cast<int>(text.size()) - caret));
  else
    setCursorPosition(ProperStart() + caret);
}

void TTypedEdit::SetModifiedMark(bool on) {
  if (loading_ || isReadOnly()) return;
  if (showModified_) ApplyColours(shownBackground_, on ? modifiedColor_ : normalText_);
  setModified(on);
}

void TTypedEdit::Regroup() {
  const QString text = Text();
  if (text.isEmpty()) return;
  const QString grouped = RegroupMoney(text, autoThousand_);
  if (grouped == text) return;
  const int caret = ProperCaret() + static_cast<int>(grouped.size()) - static_cast<int>(text.size());
  WriteProper(grouped, caret);
}

// --- Values ----------------------------------------------------------------------------------

std::int32_t TTypedEdit::IntegerValue() const {
  switch (editType_) {
    case etNumeric:
      return TextToInt(Text());
    case etFloat:
    case etMoney:
      return TruncToInt(FloatValue());
    case etHex:
      return HexToInt(Text());
    default:
      return 0;
  }
}

void TTypedEdit::SetIntegerValue(std::int32_t value) {
  switch (editType_) {
    case etNumeric:
    case etFloat:
      SetText(QString::number(value));
      break;
    case etMoney:
      SetText(QString::number(value));
      Regroup();
      break;
    case etHex:
      SetText(HexText(static_cast<std::uint32_t>(value)));
      break;
    default:
      break;
  }
  SetModifiedMark(true);
}

double TTypedEdit::FloatValue() const {
  QString t = Text();
  switch (editType_) {
    case etNumeric:
    case etFloat:
      return t.isEmpty() ? 0 : EditToFloat(t);
    case etMoney:
      t.remove(Separators().thousand);
      if (t.endsWith(Separators().decimal)) t.chop(1);
      if (t.isEmpty() || t == QStringLiteral("-")) return 0;
      return EditToFloat(t);
    case etHex:
      return HexToInt(t);
    default:
      return 0;
  }
}

void TTypedEdit::SetFloatValue(double value) {
  if (!std::isfinite(value)) value = 0;
  switch (editType_) {
    case etNumeric:
      // A plain rounded integer: group separators would not read back as a number.
      SetText(FormatFixed(std::round(value), 0));
      break;
    case etFloat:
      SetText(precision_ < 0 ? FormatGeneral(value) : FormatFixed(value, precision_));
      break;
    case etMoney:
      SetText(precision_ < 1 ? FormatGeneral(value) : FormatFixed(value, precision_));
      Regroup();
      break;
    case etHex: {
      const double r = std::round(value);
      const std::int64_t whole = std::fabs(r) < 9.2e18 ? static_cast<std::int64_t>(r) : 0;
      SetText(HexText(static_cast<std::uint32_t>(whole)));
      break;
    }
    default:
      break;
  }
  SetModifiedMark(true);
}

// --- Properties ------------------------------------------------------------------------------

void TTypedEdit::SetEditType(TTypedEditType type) {
  if (type == editType_) return;
  editType_ = type;
  if (type == etPassword) {
    setEchoMode(QLineEdit::Password);
    canUndo_ = false;
  } else {
    setEchoMode(QLineEdit::Normal);
  }
  const QString t = Text();
  const bool misfit = t.isEmpty() || !Fits(t);
  if (type == etNumeric && misfit) SetIntegerValue(0);
  if ((type == etFloat || type == etMoney) && misfit) SetFloatValue(0);
  if (type == etHex && misfit) SetIntegerValue(0);
}

void TTypedEdit::SetPrecision(int decimals) {
  if (editType_ != etFloat && editType_ != etMoney) return;
  precision_ = decimals;
  const NumberClass c = ClassifyNumber(Text());
  SetFloatValue(c == NumberClass::Numeric || c == NumberClass::Float ? FloatValue() : 0);
}

void TTypedEdit::SetPrefix(const QString& prefix) {
  const QString text = Text();
  prefix_ = prefix;
  SetText(text);
}

void TTypedEdit::SetSuffix(const QString& suffix) {
  const QString text = Text();
  suffix_ = suffix;
  SetText(text);
}

void TTypedEdit::SetAutoThousandSeparator(bool on) {
  autoThousand_ = on;
  if (editType_ == etFloat || editType_ == etMoney) Regroup();
}

void TTypedEdit::SetCanUndo(bool on) { canUndo_ = on && editType_ != etPassword; }

void TTypedEdit::SetEditAlign(TEditAlign align) {
  editAlign_ = align;
  const Qt::Alignment h = align == eaRight ? Qt::AlignRight : align == eaCenter ? Qt::AlignHCenter : Qt::AlignLeft;
  setAlignment(h | Qt::AlignVCenter);
}

void TTypedEdit::SetColor(const QColor& colour) {
  normalBackground_ = colour;
  ApplyColours(colour, shownText_);
}

void TTypedEdit::ApplyColours(const QColor& background, const QColor& text) {
  shownBackground_ = background;
  shownText_ = text;
  QPalette p = palette();
  const QColor base = transparent_ ? QColor(Qt::transparent) : background;
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) p.setColor(group, QPalette::Base, base);
  for (auto group : {QPalette::Active, QPalette::Inactive}) p.setColor(group, QPalette::Text, text);
  setPalette(p);
}

// --- Validation ------------------------------------------------------------------------------

bool TTypedEdit::ValidateValue(const QString& value) {
  if (validating_ || !OnValueValidate) return true;
  bool valid = true;
  validating_ = true;
  OnValueValidate(*this, value, valid);
  validating_ = false;
  return valid;
}

void TTypedEdit::OnTextChanged() {
  if (transparent_) update();
  UpdateLinkLook();
  const bool valid = ValidateValue(Text());
  if (!showError_) return;
  const bool error = !valid;
  if (error == error_) return;
  error_ = error;
  if (loading_) return;
  if (error)
    ApplyColours(errorColor_, errorFontColor_);
  else if (hasFocus())
    ApplyColours(focusColor_, focusFontColor_);
  else
    ApplyColours(normalBackground_, normalText_);
}

// --- Keys ------------------------------------------------------------------------------------

void TTypedEdit::keyPressEvent(QKeyEvent* event) {
  // The clipboard and undo keys of the platform, each to its own action.
  const std::pair<QKeySequence::StandardKey, void (TTypedEdit::*)()> standard[] = {
      {QKeySequence::Paste, &TTypedEdit::PasteFromClipboard}, {QKeySequence::Copy, &TTypedEdit::CopyToClipboard},
      {QKeySequence::Cut, &TTypedEdit::CutToClipboard},       {QKeySequence::Undo, &TTypedEdit::UndoEdit},
      {QKeySequence::Redo, &TTypedEdit::RedoEdit},
  };
  for (const auto& [key, action] : standard) {
    if (event->matches(key)) {
      (this->*action)();
      event->accept();
      return;
    }
  }
  if (LookupKey(event) || KeyDown(event)) return;

  const Qt::KeyboardModifiers mods = event->modifiers();
  const bool control = mods & Qt::ControlModifier;
  const bool alt = mods & Qt::AltModifier;
  QChar ch;
  switch (event->key()) {
    case Qt::Key_Backspace:
      if (!control && !alt) ch = kBackspace;
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      ch = kEnter;
      break;
    case Qt::Key_Escape:
      if (canUndo_ && !isReadOnly()) {
        SetText(focusText_);
        ApplyColours(shownBackground_, focusFontColor_);
        setSelection(ProperStart(), static_cast<int>(Text().size()));
        SetModifiedMark(false);
      }
      event->ignore();  // the parent sees Escape as well
      return;
    default: {
      const QString text = event->text();
      if (text.isEmpty() || IsControlChar(text[0])) break;
      // Control alone makes a shortcut; Control with Alt (AltGr) types a character; Alt alone
      // and Meta belong to menus and the desktop.
      if (control && !alt) break;
      if ((alt && !control) || (mods & Qt::MetaModifier)) {
        event->ignore();
        return;
      }
      // Each whole character of the key's text goes through the filter: one outside the basic
      // plane (an emoji, a CJK extension character) is two units, never split.
      event->accept();
      for (const QString& whole : WholeCharacters(text))
        if (!IsControlChar(whole[0])) CharFilter(whole, event);
      return;
    }
  }
  if (ch.isNull()) {
    PassToStandard(event);
    return;
  }
  CharFilter(QString(ch), event);
}

void TTypedEdit::inputMethodEvent(QInputMethodEvent* event) {
  // Text being composed (a dead key or Compose sequence, a CJK input method's reading) shows as
  // Qt shows it; the text the input method commits goes through the filter character by
  // character, as typed text does, and only what the filter takes goes in.
  if (isReadOnly()) {
    event->ignore();
    return;
  }
  event->accept();
  const QString commit = event->commitString();
  const bool replaces = event->replacementLength() > 0;
  if (preeditStarted_ && (!commit.isEmpty() || replaces || event->preeditString().isEmpty())) {
    // The composition ends: its text goes, and the selection it stood in comes back, so that
    // what is committed replaces it as a typed character would.
    QInputMethodEvent clear;
    QLineEdit::inputMethodEvent(&clear);
    preeditStarted_ = false;
    if (preeditSelection_.second > 0) setSelection(preeditSelection_.first, preeditSelection_.second);
  }
  if (replaces) {
    // Text around the caret that the input method takes back: only the part of its range that
    // lies in the text proper (the prefix and suffix are not editable, and nothing the input
    // method did not name goes).
    const int start = cursorPosition() + event->replacementStart();
    const int from = std::clamp(start, ProperStart(), ProperEnd());
    const int to = std::clamp(start + event->replacementLength(), from, ProperEnd());
    setSelection(from, to - from);
    if (commit.isEmpty() && to > from) CharFilter(QString(kBackspace), nullptr);
  }
  for (const QString& whole : WholeCharacters(commit))
    if (!IsControlChar(whole[0])) CharFilter(whole, nullptr);
  if (event->preeditString().isEmpty()) return;
  if (!preeditStarted_) {
    // Qt would take the selected text away as the composition starts, before anything is
    // committed: the selection is kept aside until then, and the composition stands at the
    // caret within the text proper.
    int start, length;
    ProperSelection(start, length);
    preeditSelection_ = {ProperStart() + start, length};
    deselect();
    setCursorPosition(ProperStart() + start);
    preeditStarted_ = true;
  }
  QInputMethodEvent shown(event->preeditString(), event->attributes());
  const QString before = QLineEdit::text();
  QLineEdit::inputMethodEvent(&shown);
  if (QLineEdit::text() != before) QLineEdit::setText(before);  // a composition changes no text
}

bool TTypedEdit::WindowSound() const {
  const QString w = QLineEdit::text();
  return w.size() >= prefix_.size() + suffix_.size() && w.startsWith(prefix_) && w.endsWith(suffix_);
}

void TTypedEdit::PassToStandard(QKeyEvent* event) {
  const QString before = QLineEdit::text();
  const int caret = cursorPosition();
  QLineEdit::keyPressEvent(event);
  // Deleting keeps the characters the filter let in, so only growth is checked against the mode.
  const QString after = QLineEdit::text();
  if (after != before && (!WindowSound() || (after.size() >= before.size() && !Fits(Text())))) {
    // A standard editing key that cut into the prefix or suffix or broke the number is undone.
    QLineEdit::setText(before);
    setCursorPosition(caret);
    return;
  }
  if (!hasSelectedText()) {
    if (cursorPosition() < ProperStart()) setCursorPosition(ProperStart());
    if (cursorPosition() > ProperEnd()) setCursorPosition(ProperEnd());
  }
}

bool TTypedEdit::KeyDown(QKeyEvent* event) {
  const int key = event->key();
  const bool shift = event->modifiers() & Qt::ShiftModifier;
  if ((key == Qt::Key_Return || key == Qt::Key_Enter) && returnIsTab_) {
    focusNextChild();
    event->accept();
    return true;
  }
  const int caret = cursorPosition();
  const int selEnd = hasSelectedText() ? selectionEnd() : caret;
  const int end = ProperEnd();
  if (!suffix_.isEmpty()) {
    if (key == Qt::Key_Right && selEnd >= end && caret >= end) return true;
    if (key == Qt::Key_Delete && !hasSelectedText() && caret >= end) return true;
    if (key == Qt::Key_End) {
      if (shift)
        setSelection(caret, end - caret);
      else
        setCursorPosition(end);
      return true;
    }
  }
  if (!prefix_.isEmpty()) {
    if (key == Qt::Key_Left && caret <= ProperStart()) return true;
    if (key == Qt::Key_Home) {
      if (shift)
        setSelection(end, ProperStart() - end);
      else
        setCursorPosition(ProperStart());
      return true;
    }
  }
  if (key == Qt::Key_Delete && caret >= ProperStart() && lengthLimit_ > 0 && !isReadOnly()) {
    int start, length;
    ProperSelection(start, length);
    QString after = Text();
    after.remove(start, length > 0 ? length : 1);
    if (IntegerPart(after).size() > lengthLimit_) return true;
  }
  if (key != Qt::Key_Delete) return false;
  const QString before = QLineEdit::text();
  PassToStandard(event);
  if (QLineEdit::text() != before && !isReadOnly()) {
    SetModifiedMark(true);
    if (editType_ == etMoney) Regroup();
  }
  return true;
}

void TTypedEdit::InsertTyped(const QString& text) {
  const QString before = QLineEdit::text();
  const int caret = cursorPosition();
  // Typing happens inside the text proper, never in the prefix or suffix.
  int start, length;
  ProperSelection(start, length);
  if (length > 0)
    setSelection(ProperStart() + start, length);
  else
    setCursorPosition(ProperStart() + start);
  if (text == QString(kBackspace))
    backspace();
  else
    insert(text);
  if (!WindowSound()) {
    QLineEdit::setText(before);
    setCursorPosition(caret);
  }
}

void TTypedEdit::ToggleSign(bool markAlways) {
  QString t = Text();
  int start, length;
  ProperSelection(start, length);
  const int minus = t.indexOf(u'-');
  if (minus >= 0) {
    t.remove(minus, 1);
    WriteProper(t, std::max(0, (length > 0 ? start : ProperCaret()) - 1), length);
    if (markAlways) SetModifiedMark(true);
  } else {
    t.prepend(u'-');
    WriteProper(t, (length > 0 ? start : ProperCaret()) + 1, length);
    SetModifiedMark(true);
  }
}

void TTypedEdit::CharFilter(const QString& whole, QKeyEvent* event) {
  const QChar dec = Separators().decimal, th = Separators().thousand;
  // The rules below look at one unit; a character outside the basic plane is none of the
  // characters they name (its first unit is a surrogate), and goes on whole.
  QChar ch = whole[0];
  if (ch == kEnter) {
    if (OnKeyPress) OnKeyPress(*this, whole);
    if (event) QLineEdit::keyPressEvent(event);  // returnPressed; the parent sees the key too
    return;
  }
  if (event) event->accept();
  const bool keypadDecimal = event && (event->modifiers() & Qt::KeypadModifier) &&
                             (event->key() == Qt::Key_Period || event->key() == Qt::Key_Comma);
  if (excelDecimal_ && keypadDecimal) ch = dec;
  // A read-only field takes no character, so none of the rewriting below may run either.
  if (isReadOnly()) return;

  const QString t = Text();
  int selStart, selLen;
  ProperSelection(selStart, selLen);
  const bool selected = selLen > 0;
  const int caret = ProperCaret();
  const bool backspace = ch == kBackspace;

  if (backspace && !prefix_.isEmpty() && caret <= 0 && !selected) return;
  if (lengthLimit_ > 0) {
    const int decAt = static_cast<int>(t.indexOf(dec));
    const bool beforeDecimal = decAt < 0 || caret <= decAt;
    if (IntegerPart(t).size() >= lengthLimit_ && !selected && beforeDecimal && !backspace && ch != dec) return;
    if (backspace) {
      QString after = t;
      if (selected)
        after.remove(selStart, selLen);
      else if (caret > 0)
        after.remove(caret - 1, 1);
      if (IntegerPart(after).size() > lengthLimit_) return;
    }
  }
  const bool numberType = editType_ == etNumeric || editType_ == etFloat || editType_ == etMoney;
  if (numberType && ch == u'-' && !signed_) return;

  QString typed = whole.size() == 1 ? QString(ch) : whole;
  switch (editType_) {
    case etString:
    case etPassword:
      break;
    case etNumeric:
      if (ch == u'-') {
        ToggleSign(false);
        typed.clear();
        break;
      }
      if (!backspace && ch != kTab && !IsDigit(ch)) return;
      break;
    case etFloat:
    case etMoney: {
      const bool money = editType_ == etMoney;
      if (!money) {
        if (ch == u',' && ch != dec && ch != th) return;
        if (ch == u'.' && ch != dec && ch != th) return;
      }
      const bool goesOn = backspace || ch == kTab || ch == u'-' || IsDigit(ch) || ch == dec ||
                          (!money && (ch == u',' || ch == u'.' || ch == th));
      if (!goesOn) return;
      const QString selection = t.mid(selStart, selLen);
      if (ch == dec) {
        const bool hasDecimal = t.contains(dec);
        const bool refuse = money ? (hasDecimal || precision_ == 0)
                                  : (!selection.contains(dec) && (hasDecimal || precision_ == 0));
        if (refuse) {
          if (precision_ > 0 && hasDecimal) WriteProper(t, static_cast<int>(t.indexOf(dec)) + 1);
          return;
        }
      }
      if (!money && ch == u',' && t.contains(u',') && !selection.contains(u',') && th != u',') return;
      if ((ch == th || ch == dec) && !GroupingAllows(t, caret)) return;
      const int decAt = static_cast<int>(t.indexOf(dec));
      const bool decimalsFull = precision_ > 0 && t.size() - caret <= precision_ && decAt >= 0 && caret >= decAt &&
                                t.size() - decAt - 1 >= precision_;
      if (decimalsFull && (IsDigit(ch) || ch == dec) && !selected) {
        if (caret == decAt || !IsDigit(ch) || caret >= t.size()) return;
        setSelection(ProperStart() + caret, 1);  // the typed digit replaces the next one
      }
      if (ch == dec && t.isEmpty() && caret == 0) {
        WriteProper(QStringLiteral("0") + dec, 2);
        SetModifiedMark(true);
        return;
      }
      if (ch == u'-') {
        if (!selected) {
          ToggleSign(true);
          return;
        }
        // A minus replacing a selection is taken only where it becomes the one leading sign.
        QString rest = t;
        rest.remove(selStart, selLen);
        if (selStart != 0 || rest.contains(u'-')) return;
      }
      break;
    }
    case etUppercase:
      typed = QLocale().toUpper(typed);
      break;
    case etLowerCase:
      typed = QLocale().toLower(typed);
      break;
    case etMixedCase:
      break;
    case etRange:
      if (IsRangeSeparator(ch)) {
        const QString w = QLineEdit::text();
        const int at = cursorPosition();
        if (at <= ProperStart()) return;
        const QChar before = w[at - 1];
        const QChar after = at < w.size() ? w[at] : QChar();
        if (IsRangeSeparator(before) || IsRangeSeparator(after)) return;
      } else if (!backspace && ch != kTab && !IsDigit(ch)) {
        return;
      }
      break;
    case etHex:
      if (!backspace && ch != kTab && !IsHexDigit(ch)) return;
      if (IsHexDigit(ch) && HexDigitCount(t) - HexDigitCount(t.mid(selStart, selLen)) >= 8) return;
      break;
    case etAlphaNumeric:
      if (!backspace && ch != kTab && !IsAsciiLetterOrDigit(ch)) return;
      break;
  }
  if (!typed.isEmpty() && typed != QString(kTab)) {
    if (OnKeyPress && !backspace) OnKeyPress(*this, typed);
    InsertTyped(typed);
  }
  if (editType_ == etMixedCase) {
    // The rule rewrites letters in place; the caret stays where the editing left it.
    const QString now = Text();
    const QString mixed = MixedCase(now);
    if (mixed != now) WriteProper(mixed, ProperCaret());
  }
  if (editType_ == etMoney && !typed.isEmpty()) {
    const QString now = Text();
    if (!now.isEmpty() && now != QStringLiteral("-") && ch != dec) {
      SetModifiedMark(true);
      Regroup();
    }
  }
  if (tabOnFullLength_ && lengthLimit_ > 0 && IntegerPart(Text()).size() >= lengthLimit_ && !hasSelectedText() &&
      cursorPosition() == ProperStart() + lengthLimit_)
    focusNextChild();
  if (isModified()) SetModifiedMark(true);
  UpdateLookup();
}

// --- Clipboard and undo ------------------------------------------------------------------------

void TTypedEdit::CopyToClipboard() {
  if (echoMode() != QLineEdit::Normal) return;
  int start, length;
  ProperSelection(start, length);
  if (length == 0) return;
  const QString value = Text().mid(start, length);
  bool allow = true;
  if (OnClipboardCopy) OnClipboardCopy(*this, value, allow);
  if (allow) QGuiApplication::clipboard()->setText(value);
}

void TTypedEdit::CutToClipboard() {
  if (echoMode() != QLineEdit::Normal || isReadOnly()) return;
  int start, length;
  ProperSelection(start, length);
  if (length == 0) return;
  const QString value = Text().mid(start, length);
  bool allow = true;
  if (OnClipboardCut) OnClipboardCut(*this, value, allow);
  if (!allow) return;
  QString rest = Text();
  rest.remove(start, length);
  QGuiApplication::clipboard()->setText(value);
  WriteProper(rest, start);
  SetModifiedMark(true);
}

bool TTypedEdit::FilterInsertion(const QString& base, int start, int length, const QString& inserted,
                                 QString& result) const {
  const QString& old = base;
  QString text = old;
  text.replace(start, length, inserted);
  switch (editType_) {
    case etString:
    case etPassword:
      break;
    case etNumeric:
      if (!Fits(text)) return false;
      break;
    case etFloat:
    case etMoney: {
      if (!Fits(text)) return false;
      if (precision_ == 0 && inserted.contains(Separators().decimal)) return false;
      if (text.isEmpty()) break;
      const double v = EditToFloat(text);
      if (editType_ == etFloat)
        text = precision_ < 0 ? FormatGeneral(v) : FormatFixed(v, precision_);
      else
        text = RegroupMoney(precision_ < 1 ? FormatGeneral(v) : FormatFixed(v, precision_), autoThousand_);
      if (!Fits(text)) return false;
      break;
    }
    case etUppercase:
      text = old.left(start) + QLocale().toUpper(inserted) + old.mid(start + length);
      break;
    case etLowerCase:
      text = old.left(start) + QLocale().toLower(inserted) + old.mid(start + length);
      break;
    case etMixedCase:
      text = MixedCase(text);
      break;
    case etAlphaNumeric:
      for (QChar c : inserted)
        if (!IsAsciiLetterOrDigit(c)) return false;
      break;
    case etRange:
    case etHex:
      return false;
  }
  if (lengthLimit_ > 0 && IntegerPart(text).size() > std::max<qsizetype>(lengthLimit_, IntegerPart(old).size()))
    return false;
  result = text;
  return true;
}

void TTypedEdit::PasteFromClipboard() { PasteText(QClipboard::Clipboard); }

void TTypedEdit::PasteText(QClipboard::Mode mode) {
  if (isReadOnly()) return;
  const QMimeData* data = QGuiApplication::clipboard()->mimeData(mode);
  if (!data || !data->hasText()) {
    AfterPaste();
    return;
  }
  const QString clip = data->text();
  int start, length;
  ProperSelection(start, length);
  bool allow = true;
  if (OnClipboardPaste) OnClipboardPaste(*this, Text().mid(start, length), allow);
  if (!allow) return;
  QString result;
  if (FilterInsertion(Text(), start, length, clip, result)) {
    const QString shown = SetterForm(result);
    const int size = static_cast<int>(clip.size());
    if (editType_ == etMoney && shown.size() > 3)
      WriteProper(shown, 0, static_cast<int>(shown.size()));
    else if (length > 0)
      WriteProper(shown, start, size);
    else
      WriteProper(shown, start + size);
    SetModifiedMark(true);
  }
  AfterPaste();
}

void TTypedEdit::UndoEdit() {
  if (isReadOnly()) return;
  const QString before = QLineEdit::text();
  undo();
  if (QLineEdit::text() != before && (!WindowSound() || !Fits(Text()))) redo();
}

void TTypedEdit::RedoEdit() {
  if (isReadOnly()) return;
  const QString before = QLineEdit::text();
  redo();
  if (QLineEdit::text() != before && (!WindowSound() || !Fits(Text()))) undo();
}

void TTypedEdit::contextMenuEvent(QContextMenuEvent* event) {
  // The menu's editing commands go through the same rules as their shortcuts.
  auto* menu = new QMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  const bool editable = !isReadOnly();
  const bool plain = echoMode() == QLineEdit::Normal;
  const QMimeData* clip = QGuiApplication::clipboard()->mimeData();
  auto add = [&](const QString& name, const QString& text, QKeySequence::StandardKey key, bool enabled,
                 std::function<void()> run) {
    QString caption = text;
    const QString shortcut = QKeySequence(key).toString(QKeySequence::NativeText);
    if (!shortcut.isEmpty()) caption += QLatin1Char('\t') + shortcut;
    QAction* action = menu->addAction(caption);
    action->setObjectName(name);
    action->setEnabled(enabled);
    connect(action, &QAction::triggered, this, std::move(run));
  };
  add(QStringLiteral("edit-undo"), tr("&Undo"), QKeySequence::Undo, editable && isUndoAvailable(), [this] { UndoEdit(); });
  add(QStringLiteral("edit-redo"), tr("&Redo"), QKeySequence::Redo, editable && isRedoAvailable(), [this] { RedoEdit(); });
  menu->addSeparator();
  add(QStringLiteral("edit-cut"), tr("Cu&t"), QKeySequence::Cut, editable && plain && hasSelectedText(),
      [this] { CutToClipboard(); });
  add(QStringLiteral("edit-copy"), tr("&Copy"), QKeySequence::Copy, plain && hasSelectedText(), [this] { CopyToClipboard(); });
  add(QStringLiteral("edit-paste"), tr("&Paste"), QKeySequence::Paste, editable && clip && clip->hasText(),
      [this] { PasteFromClipboard(); });
  add(QStringLiteral("edit-delete"), tr("Delete"), QKeySequence::UnknownKey, editable && hasSelectedText(), [this] {
    if (isReadOnly()) return;
    int start, length;
    ProperSelection(start, length);
    QString rest = Text();
    rest.remove(start, length);
    WriteProper(rest, start);
    SetModifiedMark(true);
  });
  menu->addSeparator();
  add(QStringLiteral("select-all"), tr("Select All"), QKeySequence::SelectAll, !Text().isEmpty(),
      [this] { setSelection(ProperStart(), ProperEnd() - ProperStart()); });
  menu->popup(event->globalPos());
}

// --- Focus and state ---------------------------------------------------------------------------

void TTypedEdit::focusInEvent(QFocusEvent* event) {
  preeditStarted_ = false;  // a composition left behind when the focus went has ended
  focusByPress_ = event->reason() == Qt::MouseFocusReason && !autoFocusing_ &&
                  (QGuiApplication::mouseButtons() & Qt::LeftButton);
  QLineEdit::focusInEvent(event);
  if (loading_) return;
  focusText_ = Text();
  if (!(error_ && showError_) && !showModified_) {
    if (!linkLook_) normalText_ = shownText_;
    ApplyColours(focusColor_, linkLook_ ? shownText_ : focusFontColor_);
  }
  if (autoSelect_) {
    int from = ProperStart();
    if (linkLook_) {
      const QString t = Text();
      const int scheme = static_cast<int>(t.indexOf(QStringLiteral("://")));
      if (scheme >= 0)
        from += scheme + 3;
      else if (t.startsWith(QStringLiteral("mailto:"), Qt::CaseInsensitive))
        from += 7;
    }
    setSelection(from, ProperEnd() - from);
  } else if (editType_ == etFloat || editType_ == etMoney) {
    const int dec = static_cast<int>(Text().indexOf(Separators().decimal));
    setCursorPosition(ProperStart() + (dec >= 0 ? dec : 0));
  }
  if (focusLabel_ && label_) {
    QFont bold = labelFont_;
    bold.setBold(true);
    label_->setFont(bold);
  }
  if (focusWidthInc_ >= 1) resize(width() + focusWidthInc_, height());
  if (focusAlign_ != eaDefault && focusAlign_ != editAlign_) {
    savedAlign_ = editAlign_;
    alignSwitched_ = true;
    SetEditAlign(focusAlign_);
  }
  if ((!emptyText_.isEmpty() && Text().isEmpty()) || focusBorder_) update();
}

void TTypedEdit::focusOutEvent(QFocusEvent* event) {
  focusByPress_ = false;
  if (loading_) {
    QLineEdit::focusOutEvent(event);
    return;
  }
  HideLookupOnFocusLoss();
  if (!(error_ && showError_) && !showModified_) ApplyColours(normalBackground_, linkLook_ ? shownText_ : normalText_);
  if (focusLabel_ && label_) label_->setFont(labelFont_);
  if (!isReadOnly()) {
    if (editType_ == etFloat || editType_ == etMoney) {
      if (Text().isEmpty())
        SetFloatValue(0);
      else if (precision_ > 0)
        SetFloatValue(FloatValue());
    }
    if (editType_ == etNumeric && Text().isEmpty()) SetText(QStringLiteral("0"));
  }
  ValidateValue(Text());
  QLineEdit::focusOutEvent(event);
  if (focusWidthInc_ > 0) resize(width() - focusWidthInc_, height());
  if (alignSwitched_) {
    alignSwitched_ = false;
    SetEditAlign(savedAlign_);
  }
  update();
}

void TTypedEdit::changeEvent(QEvent* event) {
  QLineEdit::changeEvent(event);
  if (event->type() == QEvent::EnabledChange) {
    if (!loading_) {
      if (!isEnabled()) {
        normalBackground_ = shownBackground_;
        ApplyColours(disabledColor_, shownText_);
      } else {
        ApplyColours(normalBackground_, shownText_);
      }
    }
    if (label_ && !labelAlwaysEnabled_) label_->setEnabled(isEnabled());
  } else if (event->type() == QEvent::ActivationChange && !isActiveWindow()) {
    HideLookupOnFocusLoss();  // the window lost the user's attention: no popup stays behind
  } else if (event->type() == QEvent::ParentChange && !labelCaption_.isEmpty() && !label_) {
    SetLabelCaption(labelCaption_);
  }
}


void TTypedEdit::SetDisabledColor(const QColor& c) {
  disabledColor_ = c;
  if (!isEnabled()) ApplyColours(c, shownText_);
  update();
}

}  // namespace controls
