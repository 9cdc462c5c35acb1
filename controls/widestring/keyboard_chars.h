// Wide-string support: the wide character of a virtual key, in a keyboard layout.
//
// Virtual keys are the Windows key codes the menus' shortcuts are kept in: 0x30..0x39 the digit
// keys, 0x41..0x5A the letter keys, 0x60..0x6F the numeric pad (0..9, *, +, separator, -,
// decimal point, /). Which character such a key gives is the layout's: the layouts are the X
// keyboard extension's (the xkb-data files), read with xkbcommon.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace widestring {

inline constexpr unsigned VK_0 = 0x30, VK_9 = 0x39, VK_A = 0x41, VK_Z = 0x5A;
inline constexpr unsigned VK_NUMPAD0 = 0x60, VK_MULTIPLY = 0x6A, VK_ADD = 0x6B, VK_SEPARATOR = 0x6C,
                          VK_SUBTRACT = 0x6D, VK_DECIMAL = 0x6E, VK_DIVIDE = 0x6F;

// What a keyboard layout's keys give. A key is named by its Linux input key code (the physical
// key: 30 is the key that a US layout calls A).
class KeyboardLayout {
 public:
  virtual ~KeyboardLayout() = default;
  // The character of `key` unshifted or with Shift, a key of the numeric pad with Num Lock on
  // (or off, where the layout gives the pad's characters there); 0 when it gives none.
  virtual char32_t KeyChar(unsigned key, bool shifted) const = 0;
  // Every key of the layout.
  virtual std::vector<unsigned> Keys() const = 0;
};

// A layout of the X keyboard extension by name ("us", "de", "fr", "ru", ...) and variant ("" the
// basic one, "dvorak", ...), its first group. Empty names take the environment's
// XKB_DEFAULT_LAYOUT and XKB_DEFAULT_VARIANT, else the system's default layout. Throws
// EWideGeneralError when the layout is not there.
std::unique_ptr<KeyboardLayout> XkbKeyboardLayout(const std::string& layout = {}, const std::string& variant = {});

// The layout the program names keys in: the environment's (XKB_DEFAULT_LAYOUT and
// XKB_DEFAULT_VARIANT, else the system's default), read again when those change.
std::shared_ptr<const KeyboardLayout> CurrentKeyboardLayout();

// The wide character of a virtual key in a layout: a letter key gives the layout's character
// in upper case (the key is the one whose character is that Latin letter, or on a layout
// without Latin letters the key at the letter's place); a digit key gives its digit when the
// layout has the digit on that key, shifted or not, else the key's own character; a numeric
// pad key gives its unshifted character (see KeyChar). 0 for any other key and a key without
// a character.
char16_t WideKeyboardChar(unsigned virtualKey, const KeyboardLayout& layout);
// The same in the current layout.
char16_t WideKeyboardChar(unsigned virtualKey);

}  // namespace widestring
