// The wide character of a virtual key: the rules through a made-up layout, and the layouts of
// the X keyboard extension as xkbcommon reads them (the xkb-data files).
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <utility>

#include "controls/widestring/keyboard_chars.h"
#include "controls/widestring/wide_menus.h"
#include "controls/widestring/wide_texts.h"

using namespace widestring;

namespace {

// A layout given key by key: Linux key code -> (unshifted, shifted).
class MadeUpLayout : public KeyboardLayout {
 public:
  explicit MadeUpLayout(std::map<unsigned, std::pair<char32_t, char32_t>> keys) : keys_(std::move(keys)) {}
  char32_t KeyChar(unsigned key, bool shifted) const override {
    auto it = keys_.find(key);
    return it == keys_.end() ? 0 : (shifted ? it->second.second : it->second.first);
  }
  std::vector<unsigned> Keys() const override {
    std::vector<unsigned> out;
    for (const auto& [key, chars] : keys_) out.push_back(key);
    return out;
  }

 private:
  std::map<unsigned, std::pair<char32_t, char32_t>> keys_;
};

}  // namespace

TEST(KeyboardChars, LettersDigitsAndThePadByTheRules) {
  // Key 30 (A on a US layout) gives q, key 16 (Q there) gives a; key 2 (1 there) gives "&" and
  // "1" with Shift, key 3 (2 there) gives "é" while "2" lives on key 4; the pad's 1 (key 79)
  // gives "1" too, which must not count as the main section's; key 31 gives a Cyrillic letter.
  const MadeUpLayout layout({{30, {U'q', U'Q'}},
                             {16, {U'a', U'A'}},
                             {31, {U'\u044B', U'\u042B'}},
                             {2, {U'&', U'1'}},
                             {3, {U'\u00E9', U'\u00C9'}},
                             {4, {U'2', U'"'}},
                             {79, {U'1', 0}},
                             {83, {U',', 0}}});
  EXPECT_EQ(WideKeyboardChar(VK_A, layout), u'A');  // on key 16
  EXPECT_EQ(WideKeyboardChar(unsigned{'Q'}, layout), u'Q');  // on key 30
  EXPECT_EQ(WideKeyboardChar(unsigned{'S'}, layout), u'\u042B');  // no Latin s: the key at its place
  EXPECT_EQ(WideKeyboardChar(VK_Z, layout), u'\0');  // nothing at its place
  EXPECT_EQ(WideKeyboardChar(VK_0 + 1, layout), u'1');  // the digit with Shift on the same key
  EXPECT_EQ(WideKeyboardChar(VK_0 + 2, layout), u'\u00E9');  // the digit is on another key
  EXPECT_EQ(WideKeyboardChar(VK_NUMPAD0 + 1, layout), u'1');
  EXPECT_EQ(WideKeyboardChar(VK_DECIMAL, layout), u',');
  for (unsigned vk : {0x08u, 0x20u, 0x2Fu, 0x3Au, 0x40u, 0x5Bu, 0x5Fu, 0x70u, 0xBAu}) EXPECT_EQ(WideKeyboardChar(vk, layout), u'\0') << vk;
}

TEST(KeyboardChars, TheLayoutsOfTheXKeyboardExtension) {
  struct Case {
    const char* layout;
    unsigned vk;
    char16_t expected;
  };
  for (const Case& c : std::vector<Case>{
           {"us", VK_A, u'A'}, {"us", VK_0 + 1, u'1'}, {"us", VK_NUMPAD0 + 5, u'5'}, {"us", VK_DECIMAL, u'.'},
           {"us", VK_MULTIPLY, u'*'}, {"us", VK_DIVIDE, u'/'}, {"us", VK_SUBTRACT, u'-'}, {"us", VK_ADD, u'+'},
           // AZERTY: A and Q change places, the digits need Shift.
           {"fr", VK_A, u'A'}, {"fr", unsigned{'Q'}, u'Q'}, {"fr", VK_0 + 1, u'1'}, {"fr", VK_0 + 2, u'2'},
           // QWERTZ, and the German pad's decimal comma.
           {"de", VK_Z, u'Z'}, {"de", unsigned{'Y'}, u'Y'}, {"de", VK_DECIMAL, u','},
           // No Latin letters: the Cyrillic letter at the key's place.
           {"ru", VK_A, u'\u0424'}, {"ru", unsigned{'Q'}, u'\u0419'}, {"ru", VK_0 + 1, u'1'},
           {"gr", VK_A, u'\u0391'}}) {
    const auto layout = XkbKeyboardLayout(c.layout);
    EXPECT_EQ(WideKeyboardChar(c.vk, *layout), c.expected) << c.layout << " " << c.vk;
  }
  // Neo gives Num Lock a level of its own: the main keys are read without it, and so is the pad there.
  for (auto [vk, expected] : {std::pair{VK_A, u'A'}, {VK_NUMPAD0 + 1, u'1'}, {VK_DECIMAL, u','}, {VK_MULTIPLY, u'*'}})
    EXPECT_EQ(WideKeyboardChar(vk, *XkbKeyboardLayout("de", "neo")), expected) << vk;
  // Dvorak: the letter keys are where their letters are.
  EXPECT_EQ(WideKeyboardChar(unsigned{'Q'}, *XkbKeyboardLayout("us", "dvorak")), u'Q');
  EXPECT_EQ(XkbKeyboardLayout("us", "dvorak")->KeyChar(16, false), U'\'');
  EXPECT_THROW(XkbKeyboardLayout("no-such-layout"), EWideGeneralError);
}

TEST(KeyboardChars, TheCurrentLayoutIsTheEnvironments) {
  setenv("XKB_DEFAULT_LAYOUT", "ru", 1);
  EXPECT_EQ(WideKeyboardChar(VK_A), u'\u0424');
  EXPECT_EQ(WideShortCutToText(QKeySequence(Qt::ControlModifier | Qt::Key_Q)).toStdString(), "Ctrl+Й");
  setenv("XKB_DEFAULT_LAYOUT", "fr", 1);
  EXPECT_EQ(WideKeyboardChar(VK_0 + 2), u'2');
  EXPECT_EQ(WideKeyboardChar(VK_A), u'A');
  unsetenv("XKB_DEFAULT_LAYOUT");
  EXPECT_NE(WideKeyboardChar(VK_A), u'\0');
}

TEST(KeyboardChars, ShortcutTextsNameKeysInTheLayout) {
  using K = QKeyCombination;
  const Qt::KeyboardModifiers ctrl = Qt::ControlModifier, pad = Qt::KeypadModifier;
  auto text = [](const QKeySequence& s, const KeyboardLayout& layout) { return WideShortCutToText(s, layout).toStdString(); };
  // Shift states and other keys as Qt names them; letters, digits (French: the digit, not its
  // key's "&") and pad keys by the layout's characters, the pad's decimal key recorded as "." or ",".
  const QKeySequence ru(K(ctrl | Qt::ShiftModifier, Qt::Key_A), K(pad, Qt::Key_Period), K(ctrl, Qt::Key_Period));
  EXPECT_EQ(text(ru, *XkbKeyboardLayout("ru")), "Ctrl+Shift+Ф, Num+,, Ctrl+.");
  EXPECT_EQ(text(QKeySequence(K(pad, Qt::Key_Comma), K(ctrl, Qt::Key_1)), *XkbKeyboardLayout("fr")), "Num+., Ctrl+1");
  EXPECT_EQ(text(K(ctrl, Qt::Key_Q), MadeUpLayout({})), "Ctrl+Q");  // no character: Qt's name
}
