// The typed edit driven by real key events, the clipboard and its value properties, one group of
// cases per input mode.
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QMenu>
#include <QTest>

#include "controls/edit/edit_text.h"
#include "controls/edit/typed_edit.h"

using namespace controls;

namespace {

// A window with the edit under test and a second field that can take the focus.
struct Form {
  QWidget window;
  TTypedEdit* edit;
  QLineEdit* other;
  explicit Form(TTypedEditType type, bool isSigned = false) {
    window.resize(300, 120);
    edit = new TTypedEdit(&window);
    edit->setGeometry(100, 10, 150, 24);
    other = new QLineEdit(&window);
    other->setGeometry(100, 60, 150, 24);
    edit->SetEditType(type);
    edit->SetSigned(isSigned);
    edit->Loaded();
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window)) qWarning("window not active");
    edit->setFocus();
  }
  // Types into the edit with the caret at the end of its text proper.
  void TypeAtEnd(const QString& keys) {
    edit->setCursorPosition(edit->ProperEnd());
    QTest::keyClicks(edit, keys);
  }
  void Paste(const QString& clip) {
    QGuiApplication::clipboard()->setText(clip);
    QTest::keySequence(edit, QKeySequence::Paste);
  }
  void LeaveField() {
    other->setFocus();
    QCoreApplication::processEvents();
  }
};

void AltGr(QWidget* w, const QString& text) {
  QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, text, Qt::ControlModifier | Qt::AltModifier);
}

// What an input method sends: a composition shown, or text committed (which ends it).
void InputMethod(QWidget* w, const QString& preedit, const QString& commit = {}) {
  QInputMethodEvent e(preedit, {});
  e.setCommitString(commit);
  QApplication::sendEvent(w, &e);
}
// One key that gives `text`, as a keyboard layout does for a character outside the basic plane.
void Key(QWidget* w, const QString& text) {
  QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, text, Qt::NoModifier);
}

}  // namespace

class TypedEditTest : public QObject {
  Q_OBJECT
 private slots:
  void textRules() {
    QCOMPARE(ClassifyNumber("-12"), NumberClass::Numeric);
    QCOMPARE(ClassifyNumber("1,234.5"), NumberClass::Float);
    QCOMPARE(ClassifyNumber(",123"), NumberClass::Other);
    QCOMPARE(ClassifyNumber("1.2.3"), NumberClass::Other);
    QCOMPARE(ClassifyNumber("ff"), NumberClass::Hex);
    QCOMPARE(HexToInt("FFFFFFFF1"), static_cast<std::int32_t>(0xFFFFFFF1u));  // wraps at 32 bits
    QCOMPARE(TextToInt("  -0042"), -42);
    QCOMPARE(TextToInt("99999999999"), 2147483647);
    QCOMPARE(MixedCase("o'neil mcdonald henry iv"), QString("O'Neil McDonald Henry IV"));
  }

  void numericUnsigned() {
    Form f(etNumeric);
    f.edit->SetText("");
    QTest::keyClicks(f.edit, "1-a2 7");
    QCOMPARE(f.edit->Text(), QString("127"));
    // AltGr (Control+Alt) characters are characters, not shortcuts: none reaches a numeric field.
    AltGr(f.edit, "@");
    AltGr(f.edit, "{");
    AltGr(f.edit, QString::fromUtf8("€"));
    QCOMPARE(f.edit->Text(), QString("127"));
    // Control shortcuts still work.
    QTest::keyClick(f.edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keySequence(f.edit, QKeySequence::Copy);
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("127"));
    // The Text setter: letters or a decimal point give "0"; so does a sign in an unsigned field.
    f.edit->SetText("12a");
    QCOMPARE(f.edit->Text(), QString("0"));
    f.edit->SetText("1.5");
    QCOMPARE(f.edit->Text(), QString("0"));
    f.edit->SetText("-5");
    QCOMPARE(f.edit->Text(), QString("0"));
    f.edit->SetText("");
    QCOMPARE(f.edit->Text(), QString());
    f.LeaveField();
    QCOMPARE(f.edit->Text(), QString("0"));
    f.edit->SetPrecision(3);
    QCOMPARE(f.edit->Precision(), 0);
    // A float value goes in as a plain rounded integer.
    f.edit->SetFloatValue(1234.6);
    QCOMPARE(f.edit->Text(), QString("1235"));
    QCOMPARE(f.edit->IntegerValue(), 1235);
    QVERIFY(f.edit->isModified());
    // AltGr characters do reach a text field.
    f.edit->SetEditType(etString);
    f.edit->setFocus();
    f.edit->SetText("a");
    f.TypeAtEnd("");
    AltGr(f.edit, "@");
    QCOMPARE(f.edit->Text(), QString("a@"));
  }

  void numericSigned() {
    Form f(etNumeric, true);
    f.edit->SetText("12");
    f.edit->setCursorPosition(1);
    QTest::keyClick(f.edit, '-');
    QCOMPARE(f.edit->Text(), QString("-12"));
    QCOMPARE(f.edit->cursorPosition(), 2);
    QTest::keyClick(f.edit, '-');
    QCOMPARE(f.edit->Text(), QString("12"));
    QCOMPARE(f.edit->cursorPosition(), 1);
    f.edit->SetText("");
    QTest::keyClick(f.edit, '-');
    QCOMPARE(f.edit->Text(), QString("-"));
    QCOMPARE(f.edit->IntegerValue(), 0);
    f.edit->SetText("-0042");
    QCOMPARE(f.edit->IntegerValue(), -42);
    // One leading minus only, through the setter and through paste; the toggle works on it.
    f.edit->SetText("5-");
    QCOMPARE(f.edit->Text(), QString("0"));
    f.edit->SetText("12");
    f.edit->setCursorPosition(1);
    f.Paste("-");
    QCOMPARE(f.edit->Text(), QString("12"));
    f.edit->setCursorPosition(0);
    f.Paste("-3");
    QCOMPARE(f.edit->Text(), QString("-312"));
    f.edit->setCursorPosition(4);
    QTest::keyClick(f.edit, '-');
    QCOMPARE(f.edit->Text(), QString("312"));
    // A numeric field keeps its digits when letters are pasted; undo goes back a typed step.
    f.Paste("4x");
    QCOMPARE(f.edit->Text(), QString("312"));
    f.TypeAtEnd("9");
    QCOMPARE(f.edit->Text(), QString("3129"));
    QTest::keySequence(f.edit, QKeySequence::Undo);
    QCOMPARE(f.edit->Text(), QString("312"));
  }

  void readOnlyFields() {
    Form f(etNumeric, true);
    f.edit->SetText("12");
    f.edit->setReadOnly(true);
    QTest::keyClicks(f.edit, "-5");
    QCOMPARE(f.edit->Text(), QString("12"));
    f.Paste("3");
    QCOMPARE(f.edit->Text(), QString("12"));
    f.edit->setReadOnly(false);
    f.edit->SetEditType(etFloat);
    f.edit->SetPrecision(2);
    f.edit->SetText("");
    f.edit->setReadOnly(true);
    QTest::keyClick(f.edit, '.');
    QCOMPARE(f.edit->Text(), QString());
    f.edit->setReadOnly(false);
    f.edit->SetEditType(etMixedCase);
    f.edit->SetText("abc def");
    f.edit->setReadOnly(true);
    QTest::keyClick(f.edit, 'x');
    QCOMPARE(f.edit->Text(), QString("abc def"));
    f.edit->setReadOnly(false);
    f.edit->SetEditType(etMoney);
    f.edit->SetPrecision(0);
    f.edit->SetText("1234");
    f.edit->setReadOnly(true);
    f.TypeAtEnd("5");
    f.edit->setCursorPosition(0);
    QTest::keyClick(f.edit, Qt::Key_Delete);
    QCOMPARE(f.edit->Text(), QString("1234"));
    f.edit->SetIntegerValue(1234567);  // the program itself still writes a read-only field
    QCOMPARE(f.edit->Text(), QString("1,234,567"));
  }

  // Text an input method commits (dead keys, Compose, ibus) is filtered as typed text: a numeric
  // field takes the digits only, the case modes convert, nothing lands in the prefix, and a
  // composition neither changes the text nor takes the selection away before the commit.
  void inputMethodTextIsFiltered() {
    Form f(etNumeric);
    f.edit->SetText("1");
    f.TypeAtEnd("");
    InputMethod(f.edit, "^");
    QCOMPARE(f.edit->Text(), QString("1"));
    InputMethod(f.edit, "", "¹");
    InputMethod(f.edit, "", "5");
    InputMethod(f.edit, "´");
    InputMethod(f.edit, "", "é²");
    QCOMPARE(f.edit->Text() + "=" + QString::number(f.edit->IntegerValue()), QString("15=15"));
    f.edit->selectAll();
    InputMethod(f.edit, "^");
    InputMethod(f.edit, "", "³");
    QCOMPARE(f.edit->Text(), QString("15"));
    QVERIFY(f.edit->hasSelectedText());
    InputMethod(f.edit, "", "7");
    QCOMPARE(f.edit->Text(), QString("7"));
    f.edit->SetEditType(etUppercase);
    f.edit->SetPrefix("#");
    f.edit->SetText("");
    f.edit->setCursorPosition(0);
    InputMethod(f.edit, "", "éa");
    QCOMPARE(f.edit->text() + "|" + f.edit->Text(), QString("#ÉA|ÉA"));
    f.edit->setReadOnly(true);
    InputMethod(f.edit, "", "b");
    QCOMPARE(f.edit->Text(), QString("ÉA"));
  }

  // A range the input method takes back counts only where it lies in the text proper: the part
  // in the prefix or suffix stays, and nothing outside the range goes in its place.
  void inputMethodRangesStayInTheTextProper() {
    Form f(etString);
    f.edit->SetPrefix("$");
    f.edit->SetSuffix("%");
    // caret; the range taken back (from the caret) and the text put in its place -> the whole text
    const struct { int caret, start, length; const char *commit, *want; } cases[] = {
        {1, -1, 1, "", "$12%"},    // wholly in the prefix
        {1, -1, 2, "", "$2%"},     // from the prefix into the text: only its own character
        {2, -2, 2, "x", "$x2%"},   // the same, replaced
        {3, 0, 2, "", "$12%"},     // wholly in the suffix
        {2, 0, 5, "y", "$1y%"},    // from the text into the suffix
        {3, -1, 1, "z", "$1z%"},   // within the text, as asked
        {1, -1, 1, "w", "$w12%"},  // nothing to take back: the commit goes in at the caret
    };
    for (const auto& c : cases) {
      f.edit->SetText("12");
      f.edit->setCursorPosition(c.caret);
      QInputMethodEvent e;
      e.setCommitString(c.commit, c.start, c.length);
      QApplication::sendEvent(f.edit, &e);
      QCOMPARE(f.edit->text(), QString(c.want));
    }
  }

  // A character outside the basic plane, typed as one key or committed, goes in whole or not at
  // all: never half of its surrogate pair.
  void wholeCharactersOnly() {
    Form f(etString);
    f.edit->SetText("");
    QStringList pressed;
    f.edit->OnKeyPress = [&](TTypedEdit&, const QString& key) { pressed << key; };
    Key(f.edit, "😀");
    InputMethod(f.edit, "", "𠀀");
    QCOMPARE(f.edit->Text(), QString("😀𠀀"));
    QCOMPARE(pressed, (QStringList{"😀", "𠀀"}));
    QTest::keyClick(f.edit, Qt::Key_Backspace);
    QCOMPARE(f.edit->Text(), QString("😀"));
    f.edit->SetEditType(etUppercase);
    f.edit->SetText("");
    Key(f.edit, "𐐨");  // Deseret small
    QCOMPARE(f.edit->Text(), QString("𐐀"));
    for (TTypedEditType type : {etNumeric, etAlphaNumeric, etHex}) {
      f.edit->SetEditType(type);
      f.edit->SetText("1");
      f.TypeAtEnd("");
      Key(f.edit, "😀");
      InputMethod(f.edit, "", "😀");
      QCOMPARE(f.edit->Text(), QString("1"));
    }
  }

  // X11's middle click pastes the primary selection: filtered, asked of OnClipboardPaste, and
  // refused by a read-only field. The offscreen platform has no selection; the xcb run under a
  // virtual display (controls_edit_typed_edit_test_xcb) takes this case.
  void middleClickPastesTheSelectionThroughTheFilter() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard->supportsSelection())
      QSKIP("this platform has no selection clipboard; the middle click is checked on xcb under Xvfb");
    Form f(etNumeric);
    f.edit->SetText("12");
    int asked = 0;
    bool allow = true;
    f.edit->OnClipboardPaste = [&](TTypedEdit&, const QString&, bool& ok) {
      ++asked;
      ok = allow;
    };
    const QPoint end(f.edit->width() - 4, f.edit->height() / 2);
    auto middleClick = [&](const QString& selection) {
      clipboard->setText(selection, QClipboard::Selection);
      QTRY_COMPARE(clipboard->text(QClipboard::Selection), selection);
      QTest::mouseClick(f.edit, Qt::MiddleButton, {}, end);
    };
    middleClick("a-b x");
    QCOMPARE(f.edit->Text(), QString("12"));
    middleClick("34");
    QCOMPARE(f.edit->Text() + " " + QString::number(asked), QString("1234 2"));
    allow = false;
    middleClick("5");
    QCOMPARE(f.edit->Text(), QString("1234"));
    allow = true;
    f.edit->setReadOnly(true);
    middleClick("6");
    QCOMPARE(f.edit->Text() + " " + QString::number(asked), QString("1234 3"));
  }

  void floatKeys() {
    Form f(etFloat, true);
    f.edit->SetPrecision(2);
    f.edit->SetText("1.25");
    QCOMPARE(f.edit->Text(), QString("1.25"));
    f.TypeAtEnd("7");
    QCOMPARE(f.edit->Text(), QString("1.25"));
    f.edit->setCursorPosition(3);
    QTest::keyClick(f.edit, '9');
    QCOMPARE(f.edit->Text(), QString("1.29"));
    // A second decimal point is refused and puts the caret behind the first.
    f.edit->setCursorPosition(0);
    QTest::keyClick(f.edit, '.');
    QCOMPARE(f.edit->Text(), QString("1.29"));
    QCOMPARE(f.edit->cursorPosition(), 2);
    // "0." on an empty field; the sign toggles in front.
    f.edit->SetText("");
    QTest::keyClick(f.edit, '.');
    QCOMPARE(f.edit->Text(), QString("0."));
    QCOMPARE(f.edit->cursorPosition(), 2);
    QTest::keyClicks(f.edit, "5-");
    QCOMPARE(f.edit->Text(), QString("-0.5"));
    // A minus over a selection is taken only at the front.
    f.edit->SetText("123.00");
    f.edit->setSelection(1, 1);
    QTest::keyClick(f.edit, '-');
    QCOMPARE(f.edit->Text(), QString("123.00"));
    // Integer value: truncated towards zero with its sign; the group separator is no stop.
    f.edit->SetText("-3.75");
    QCOMPARE(f.edit->IntegerValue(), -3);
    f.edit->SetText("1,234.5");
    QCOMPARE(f.edit->IntegerValue(), 1234);
    QCOMPARE(f.edit->FloatValue(), 1234.5);
    // Thousand and decimal separators only three digits from a group separator.
    f.edit->SetPrecision(0);
    f.edit->SetText("1,234");
    f.edit->setCursorPosition(4);
    QTest::keyClick(f.edit, ',');
    QCOMPARE(f.edit->Text(), QString("1,234"));
    f.TypeAtEnd(",5");
    QCOMPARE(f.edit->Text(), QString("1,234,5"));
    QTest::keyClick(f.edit, '.');  // no decimals with precision 0
    QCOMPARE(f.edit->Text(), QString("1,234,5"));
    // Paste: reformatted to the precision; decimals refused at precision 0.
    f.edit->SetText("");
    f.Paste("2.5");
    QCOMPARE(f.edit->Text(), QString());
    f.edit->SetPrecision(2);
    f.edit->SetText("");
    f.Paste("3.14159");
    QCOMPARE(f.edit->Text(), QString("3.14"));
    f.edit->SetText("");
    f.LeaveField();
    QCOMPARE(f.edit->Text(), QString("0.00"));
  }

  void moneyRegrouping() {
    Form f(etMoney, true);
    f.edit->SetText("");
    QTest::keyClicks(f.edit, "1234567");
    QCOMPARE(f.edit->Text(), QString("1,234,567"));
    QCOMPARE(f.edit->cursorPosition(), 9);
    QTest::keyClick(f.edit, Qt::Key_Home);
    QTest::keyClick(f.edit, Qt::Key_Delete);
    QCOMPARE(f.edit->Text(), QString("234,567"));
    QCOMPARE(f.edit->IntegerValue(), 234567);
    // Far beyond what a double holds: no digit changes.
    const QString digits = "98765432109876543210";
    f.edit->SetText("");
    QTest::keyClicks(f.edit, digits);
    QString plain = f.edit->Text();
    plain.remove(',');
    QCOMPARE(plain, digits);
    QCOMPARE(RegroupMoney("-0012345678901234567.891", true), QString("-12,345,678,901,234,567.891"));
    f.edit->SetText("-12.50");
    QCOMPARE(f.edit->IntegerValue(), -12);
    f.edit->SetAutoThousandSeparator(false);
    f.edit->SetIntegerValue(1234567);
    QCOMPARE(f.edit->Text(), QString("1234567"));
  }

  void hexKeys() {
    Form f(etHex);
    f.edit->SetText("");
    QTest::keyClicks(f.edit, "-fg1");
    QCOMPARE(f.edit->Text(), QString("f1"));
    QCOMPARE(f.edit->IntegerValue(), 0xf1);
    f.edit->SetText("1234567");
    f.TypeAtEnd("89");
    QCOMPARE(f.edit->Text(), QString("12345678"));
    f.edit->SetText("123456789");
    QCOMPARE(f.edit->Text(), QString("0"));
    f.edit->SetText("-1");
    QCOMPARE(f.edit->Text(), QString("0"));
    f.edit->SetText("ff");
    QCOMPARE(f.edit->Text(), QString("FF"));
    f.edit->SetIntegerValue(-1);
    QCOMPARE(f.edit->Text(), QString("FFFFFFFF"));
    f.Paste("1");
    QCOMPARE(f.edit->Text(), QString("FFFFFFFF"));
  }

  void caseModes() {
    Form f(etUppercase);
    f.edit->SetText("");
    QTest::keyClicks(f.edit, "abc1");
    QCOMPARE(f.edit->Text(), QString("ABC1"));
    f.Paste("xy");
    QCOMPARE(f.edit->Text(), QString("ABC1XY"));
    f.edit->SetEditType(etLowerCase);
    f.edit->SetText("");
    QTest::keyClicks(f.edit, "AbC");
    QCOMPARE(f.edit->Text(), QString("abc"));
    f.edit->SetEditType(etMixedCase);
    f.edit->SetText("");
    QTest::keyClicks(f.edit, "o'neil mcdonald");
    QCOMPARE(f.edit->Text(), QString("O'Neil McDonald"));
    // The caret stays where the editing left it, after Backspace and after a paste.
    f.edit->setCursorPosition(3);
    QTest::keyClick(f.edit, Qt::Key_Backspace);
    QCOMPARE(f.edit->Text(), QString("O'Eil McDonald"));
    QCOMPARE(f.edit->cursorPosition(), 2);
    f.edit->setCursorPosition(7);
    f.Paste("big ");
    QCOMPARE(f.edit->Text(), QString("O'Eil Mbig Cdonald"));
    QCOMPARE(f.edit->cursorPosition(), 11);
    f.edit->SetEditType(etAlphaNumeric);
    f.edit->SetText("");
    QTest::keyClicks(f.edit, "a-1 B_");
    QCOMPARE(f.edit->Text(), QString("a1B"));
    f.Paste("x y");
    QCOMPARE(f.edit->Text(), QString("a1B"));
    f.edit->SetEditType(etRange);
    f.edit->SetText("");
    QTest::keyClicks(f.edit, ",1,,2-;3;x");
    QCOMPARE(f.edit->Text(), QString("1,2-3;"));
    f.edit->SetEditType(etPassword);
    QVERIFY(!f.edit->CanUndo());
    f.edit->SetText("secret");
    f.edit->selectAll();
    QGuiApplication::clipboard()->setText("before");
    QTest::keySequence(f.edit, QKeySequence::Copy);
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("before"));
  }

  void prefixSuffixAndLimits() {
    Form f(etNumeric);
    f.edit->SetPrefix("$");
    f.edit->SetSuffix(" kg");
    f.edit->SetText("12");
    QCOMPARE(f.edit->text(), QString("$12 kg"));
    QCOMPARE(f.edit->Text(), QString("12"));
    QTest::keyClick(f.edit, Qt::Key_Home);
    QCOMPARE(f.edit->cursorPosition(), 1);
    QTest::keyClick(f.edit, Qt::Key_Backspace);
    QTest::keyClick(f.edit, Qt::Key_Left);
    QCOMPARE(f.edit->cursorPosition(), 1);
    QTest::keyClick(f.edit, Qt::Key_End);
    QCOMPARE(f.edit->cursorPosition(), 3);
    QTest::keyClick(f.edit, Qt::Key_Right);
    QTest::keyClick(f.edit, Qt::Key_Delete);
    QCOMPARE(f.edit->cursorPosition(), 3);
    QCOMPARE(f.edit->text(), QString("$12 kg"));
    // A click into the prefix selects the text proper; one into the suffix stops at its end.
    QTest::mouseClick(f.edit, Qt::LeftButton, {}, QPoint(1, f.edit->height() / 2));
    QCOMPARE(f.edit->selectedText(), QString("12"));
    QTest::mouseClick(f.edit, Qt::LeftButton, {}, QPoint(f.edit->width() - 3, f.edit->height() / 2));
    QCOMPARE(f.edit->cursorPosition(), 3);
    // A length limit stops typing and pasting; with TabOnFullLength a full field hands on the focus.
    f.edit->SetLengthLimit(3);
    f.TypeAtEnd("34");
    QCOMPARE(f.edit->Text(), QString("123"));
    f.edit->setCursorPosition(1);
    f.Paste("9");
    QCOMPARE(f.edit->Text(), QString("123"));
    f.edit->SetTabOnFullLength(true);
    f.edit->SetText("1");
    f.TypeAtEnd("2");
    QVERIFY(f.edit->hasFocus());
    QTest::keyClick(f.edit, '3');
    QVERIFY(f.other->hasFocus());
  }

  void escapeColoursAndValidation() {
    Form f(etString);
    f.edit->SetText("start");
    f.LeaveField();
    f.edit->setFocus();
    f.TypeAtEnd("ed");
    QVERIFY(f.edit->isModified());
    QTest::keyClick(f.edit, Qt::Key_Escape);
    QCOMPARE(f.edit->Text(), QString("start"));
    QVERIFY(!f.edit->isModified());
    // Disabled colour, and back; the label follows the field.
    f.edit->SetLabelCaption("Name");
    const QColor before = f.edit->ShownBackground();
    f.edit->setEnabled(false);
    QCOMPARE(f.edit->ShownBackground(), f.edit->DisabledColor());
    QVERIFY(!f.edit->Label()->isEnabled());
    f.edit->setEnabled(false);
    QCOMPARE(f.edit->ShownBackground(), f.edit->DisabledColor());
    f.edit->setEnabled(true);
    QCOMPARE(f.edit->ShownBackground(), before);
    QVERIFY(f.edit->Label()->isEnabled());
    // Focus colours; error colours while the text is invalid.
    f.edit->SetFocusColor(Qt::yellow);
    f.LeaveField();
    f.edit->setFocus();
    QCOMPARE(f.edit->ShownBackground(), QColor(Qt::yellow));
    f.edit->SetShowError(true);
    int calls = 0;
    f.edit->OnValueValidate = [&](TTypedEdit&, const QString& v, bool& ok) {
      ++calls;
      ok = !v.contains('!');
    };
    f.TypeAtEnd("!");
    QVERIFY(f.edit->InErrorState());
    QCOMPARE(f.edit->ShownBackground(), f.edit->ErrorColor());
    QTest::keyClick(f.edit, Qt::Key_Backspace);
    QVERIFY(!f.edit->InErrorState());
    QCOMPARE(f.edit->ShownBackground(), QColor(Qt::yellow));
    QVERIFY(calls >= 2);
    // Clipboard events can cancel.
    f.edit->OnClipboardPaste = [](TTypedEdit&, const QString&, bool& allow) { allow = false; };
    f.Paste("zz");
    QVERIFY(!f.edit->Text().contains("zz"));
  }

  void contextMenuCommands() {
    Form f(etNumeric);
    f.edit->SetText("12");
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), f.edit->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(f.edit, &event);
    QMenu* menu = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* m = qobject_cast<QMenu*>(w); m && m->isVisible()) menu = m;
    QVERIFY(menu);
    QAction* paste = nullptr;
    for (QAction* a : menu->actions())
      if (a->objectName() == "edit-paste") paste = a;
    QVERIFY(paste);
    QGuiApplication::clipboard()->setText("ab");
    paste->trigger();
    QCOMPARE(f.edit->Text(), QString("12"));
    QGuiApplication::clipboard()->setText("3");
    paste->trigger();
    QCOMPARE(f.edit->Text(), QString("123"));
    menu->close();
  }

  void focusBehaviour() {
    Form f(etFloat);
    f.edit->SetPrecision(2);
    f.edit->SetText("12.50");
    f.edit->SetLabelCaption("Torque");
    f.edit->SetFocusLabel(true);
    f.edit->SetFocusWidthInc(20);
    f.edit->SetFocusAlign(eaRight);
    f.edit->SetAutoSelect(false);
    f.edit->SetShowModified(true);
    f.LeaveField();
    const int width = f.edit->width();
    f.edit->setFocus();
    QCOMPARE(f.edit->width(), width + 20);
    QVERIFY(f.edit->alignment() & Qt::AlignRight);
    QVERIFY(f.edit->Label()->font().bold());
    QCOMPARE(f.edit->cursorPosition(), 2);  // just before the decimal point
    // Typing shows the modified colour; the keypad key types the decimal separator.
    QTest::keyClick(f.edit, '3');
    QCOMPARE(f.edit->ShownTextColor(), f.edit->ModifiedColor());
    f.edit->SetExcelStyleDecimalSeparator(true);
    f.edit->SetText("");
    QTest::keyClick(f.edit, Qt::Key_Comma, Qt::KeypadModifier);
    QCOMPARE(f.edit->Text(), QString("0."));
    f.LeaveField();
    QCOMPARE(f.edit->Text(), QString("0.00"));
    QCOMPARE(f.edit->width(), width);
    QVERIFY(f.edit->alignment() & Qt::AlignLeft);
    QVERIFY(!f.edit->Label()->font().bold());
    // Enter as Tab.
    f.edit->setFocus();
    f.edit->SetReturnIsTab(true);
    QTest::keyClick(f.edit, Qt::Key_Return);
    QVERIFY(f.other->hasFocus());
  }
};

QTEST_MAIN(TypedEditTest)
#include "typed_edit_test.moc"
