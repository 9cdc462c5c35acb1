#include "controls/widestring/keyboard_chars.h"

#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <mutex>

#include "controls/widestring/wide_texts.h"
#include "platform/wide_case.h"

namespace widestring {

namespace {

// Linux input key codes of the keys a US layout gives the virtual keys' characters on.
constexpr unsigned kLetterKeys[26] = {30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,
                                      49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44};  // A..Z
constexpr unsigned kDigitKeys[10] = {11, 2, 3, 4, 5, 6, 7, 8, 9, 10};                        // 0..9
constexpr unsigned kPadKeys[16] = {82, 79, 80, 81, 75, 76, 77, 71, 72, 73,  // 0..9
                                   55, 78, 121, 74, 83, 98};               // * + separator - . /
// XKB numbers keys 8 above the input key codes.
constexpr unsigned kXkbOffset = 8;

bool IsPadKey(unsigned key) { return std::find(std::begin(kPadKeys), std::end(kPadKeys), key) != std::end(kPadKeys); }

struct ContextFree {
  void operator()(xkb_context* c) const { xkb_context_unref(c); }
};
struct KeymapFree {
  void operator()(xkb_keymap* k) const { xkb_keymap_unref(k); }
};
struct StateFree {
  void operator()(xkb_state* s) const { xkb_state_unref(s); }
};

class XkbLayout : public KeyboardLayout {
 public:
  XkbLayout(const std::string& layout, const std::string& variant) {
    context_.reset(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (!context_) throw EWideGeneralError("The keyboard layouts cannot be read.");
    xkb_context_set_log_level(context_.get(), XKB_LOG_LEVEL_CRITICAL);
    // Empty names are xkbcommon's defaults: the environment's, else the system's.
    xkb_rule_names names{};
    names.layout = layout.empty() ? nullptr : layout.c_str();
    names.variant = variant.empty() ? nullptr : variant.c_str();
    keymap_.reset(xkb_keymap_new_from_names(context_.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap_)
      throw EWideGeneralError("There is no keyboard layout \"" + layout + (variant.empty() ? "" : "(" + variant + ")") +
                              "\".");
    const xkb_mod_mask_t numLock = Mask(XKB_MOD_NAME_NUM), shift = Mask(XKB_MOD_NAME_SHIFT);
    for (int num = 0; num < 2; ++num)
      for (int shifted = 0; shifted < 2; ++shifted) {
        auto& state = states_[num][shifted];
        state.reset(xkb_state_new(keymap_.get()));
        if (!state) throw EWideGeneralError("The keyboard layout cannot be used.");
        xkb_state_update_mask(state.get(), shifted ? shift : 0, 0, num ? numLock : 0, 0, 0, 0);
      }
  }

  char32_t KeyChar(unsigned key, bool shifted) const override {
    const xkb_keycode_t code = key + kXkbOffset;
    if (!IsPadKey(key)) return Printable(xkb_state_key_get_utf32(states_[0][shifted].get(), code));
    // Num Lock is the pad's alone. The pad's characters are those of its keypad symbols (KP_1,
    // KP_Decimal, ...): with Num Lock on as on most layouts, off where the layout has them
    // there and gives Num Lock a level of its own (neo).
    for (int num : {1, 0}) {
      xkb_state* state = states_[num][shifted].get();
      const xkb_keysym_t sym = xkb_state_key_get_one_sym(state, code);
      const char32_t c = Printable(xkb_state_key_get_utf32(state, code));
      if (c && sym >= XKB_KEY_KP_Space && sym <= XKB_KEY_KP_Equal) return c;
    }
    return Printable(xkb_state_key_get_utf32(states_[1][shifted].get(), code));
  }

  std::vector<unsigned> Keys() const override {
    std::vector<unsigned> keys;
    const xkb_keycode_t first = xkb_keymap_min_keycode(keymap_.get()), last = xkb_keymap_max_keycode(keymap_.get());
    for (xkb_keycode_t k = first; k <= last; ++k)
      if (k >= kXkbOffset && xkb_keymap_num_layouts_for_key(keymap_.get(), k) > 0) keys.push_back(k - kXkbOffset);
    return keys;
  }

 private:
  xkb_mod_mask_t Mask(const char* name) const {
    const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap_.get(), name);
    return index == XKB_MOD_INVALID ? 0 : xkb_mod_mask_t{1} << index;
  }

  static char32_t Printable(char32_t c) { return c < 0x20 || c == 0x7F ? 0 : c; }

  std::unique_ptr<xkb_context, ContextFree> context_;
  std::unique_ptr<xkb_keymap, KeymapFree> keymap_;
  // Without and with Num Lock, each unshifted and with Shift.
  std::unique_ptr<xkb_state, StateFree> states_[2][2];
};

// The key of the main section that gives `c`, unshifted before shifted (the lowest key first);
// 0 for none. The numeric pad is not looked at.
unsigned KeyGiving(const KeyboardLayout& layout, char32_t c, bool unshiftedOnly = false) {
  std::vector<unsigned> keys = layout.Keys();
  std::erase_if(keys, IsPadKey);
  for (unsigned key : keys)
    if (layout.KeyChar(key, false) == c) return key;
  if (!unshiftedOnly)
    for (unsigned key : keys)
      if (layout.KeyChar(key, true) == c) return key;
  return 0;
}

char16_t Wide(char32_t c) { return c > 0xFFFF ? u'\0' : static_cast<char16_t>(c); }

}  // namespace

std::unique_ptr<KeyboardLayout> XkbKeyboardLayout(const std::string& layout, const std::string& variant) {
  return std::make_unique<XkbLayout>(layout, variant);
}

std::shared_ptr<const KeyboardLayout> CurrentKeyboardLayout() {
  static std::mutex lock;
  static std::string names;
  static std::shared_ptr<const KeyboardLayout> current;
  std::string now;
  for (const char* variable :
       {"XKB_DEFAULT_RULES", "XKB_DEFAULT_MODEL", "XKB_DEFAULT_LAYOUT", "XKB_DEFAULT_VARIANT", "XKB_DEFAULT_OPTIONS"}) {
    const char* value = std::getenv(variable);
    now += (value ? value : "") + std::string(1, '\0');
  }
  std::lock_guard<std::mutex> guard(lock);
  if (!current || now != names) {
    current = XkbKeyboardLayout();
    names = now;
  }
  return current;
}

char16_t WideKeyboardChar(unsigned virtualKey, const KeyboardLayout& layout) {
  if (virtualKey >= VK_A && virtualKey <= VK_Z) {
    // A letter key is the key of its Latin letter, where the layout has one.
    const char32_t latin = U'a' + (virtualKey - VK_A);
    unsigned key = KeyGiving(layout, latin, true);
    if (!key) key = kLetterKeys[virtualKey - VK_A];
    return platform::CharUpperW(Wide(layout.KeyChar(key, false)));
  }
  if (virtualKey >= VK_0 && virtualKey <= VK_9) {
    const unsigned key = kDigitKeys[virtualKey - VK_0];
    const char32_t own = layout.KeyChar(key, false);
    const char32_t digit = U'0' + (virtualKey - VK_0);
    // The digit where the key gives it, with Shift or without.
    if (own && own != digit && KeyGiving(layout, own) == KeyGiving(layout, digit)) return Wide(digit);
    return Wide(own);
  }
  if (virtualKey >= VK_NUMPAD0 && virtualKey <= VK_DIVIDE) return Wide(layout.KeyChar(kPadKeys[virtualKey - VK_NUMPAD0], false));
  return u'\0';
}

char16_t WideKeyboardChar(unsigned virtualKey) { return WideKeyboardChar(virtualKey, *CurrentKeyboardLayout()); }

}  // namespace widestring
