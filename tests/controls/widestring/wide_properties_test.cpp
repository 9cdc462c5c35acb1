// Wide-string and wide-character properties through form streams.
#include "controls/widestring/wide_properties.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "controls/widestring/code_pages.h"
#include "controls/widestring/utf7.h"
#include "controls/widestring/wide_texts.h"

using namespace widestring;
using platform::FormWriter;
using platform::PropertyKind;
using platform::PropertyValue;

namespace {

// A control with a wide caption and a wide password character; or, given a property name, one
// that stores only that property, written by the given function.
class Control : public platform::FormPersistent {
 public:
  Control() = default;
  Control(std::string name, std::function<void(FormWriter&)> write) : name_(std::move(name)), write_(std::move(write)) {}
  std::string FormClassName() const override { return "TWideEdit"; }
  std::string FormObjectName() const override { return "Edit1"; }
  void GetPublishedProperties(std::vector<platform::PublishedProperty>& list) override {
    if (write_) return;
    list.push_back({"Caption", PropertyKind::WideString, [this] { return PropertyValue(caption); },
                    [this](const PropertyValue& v) { caption = std::get<std::u16string>(v); }, std::u16string()});
    list.push_back({"PasswordChar", PropertyKind::WideChar, [this] { return PropertyValue(passwordChar); },
                    [this](const PropertyValue& v) { passwordChar = std::get<char16_t>(v); }, char16_t{0}});
  }
  void DefineProperties(platform::Filer& filer) override {
    if (write_) filer.DefineProperty(name_, nullptr, write_, true);
  }
  std::u16string caption;
  char16_t passwordChar = 0;

 private:
  std::string name_;
  std::function<void(FormWriter&)> write_;
};

class WideProperties : public ::testing::Test {
 protected:
  void SetUp() override { InstallWidePropertyFilers(); }
  void TearDown() override {
    UninstallWidePropertyFilers();
    SetWideFormPropertyReading(false);
  }
  static std::vector<std::uint8_t> Write(Control& o, Control* ancestor = nullptr) {
    platform::MemoryStream s;
    FormWriter::WriteRoot(s, o, ancestor);
    return s.Bytes();
  }
  static bool Holds(const std::vector<std::uint8_t>& bytes, const std::string& text) {
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
  }
  // The error reading the stream raised, "" for none.
  static std::string Read(const std::vector<std::uint8_t>& bytes, Control& c) {
    try {
      platform::FormReader::ReadRoot(bytes.data(), bytes.size(), c);
    } catch (const platform::EReadError& e) {
      return e.what();
    } catch (const EWideGeneralError&) {
      return "the UTF-7 decoder's error";
    }
    return "";
  }
};

}  // namespace

TEST_F(WideProperties, WideCaptionsAndCharactersRoundTripAsUtf7AndWideStringsOnlyWhereChanged) {
  Control a, b, empty, ancestor;
  a.caption = u"Drive +1: Привод 日本 😀 \"A&B\"";
  a.passwordChar = u'€';
  const auto bytes = Write(a);
  EXPECT_TRUE(Holds(bytes, "Caption_UTF7") && Holds(bytes, "PasswordCharW") && Holds(bytes, WideToUtf7Text(a.caption)));
  EXPECT_FALSE(Holds(bytes, "CaptionW") || Holds(bytes, "PasswordChar_UTF7"));
  EXPECT_EQ(Read(bytes, b), "");
  EXPECT_EQ(b.caption + b.passwordChar, a.caption + a.passwordChar);

  EXPECT_FALSE(Holds(Write(empty), "Caption") || Holds(Write(empty), "PasswordChar"));
  ancestor.caption = a.caption;
  EXPECT_FALSE(Holds(Write(a, &ancestor), "Caption"));
  EXPECT_TRUE(Holds(Write(a, &ancestor), "PasswordCharW"));
  // Back to the default against a changed ancestor is written: the reader clears the value.
  EXPECT_EQ(Read(Write(empty, &a), b), "");
  EXPECT_EQ(b.caption + b.passwordChar, std::u16string(1, u'\0'));
}

TEST_F(WideProperties, StoredWideFormsAreCheckedAndTheWOfAWideStringIsAppliedOnlyWithTheReadingSwitch) {
  using Writer = std::function<void(FormWriter&)>;
  auto wide = [](std::u16string s) -> Writer { return [s](FormWriter& w) { w.WriteWideString(s); }; };
  auto text = [](std::string s) -> Writer { return [s](FormWriter& w) { w.WriteString(s); }; };
  const std::string wrongChar = "Edit1.PasswordCharW: Invalid property value";
  struct Case {
    std::string name;
    Writer write;
    bool readingSwitch;
    std::u16string after;  // caption and password character, from "old" and 'x'
    std::string error;
  };
  SetDefaultUserCodePage(1252);
  for (const Case& c : std::vector<Case>{
           {"CaptionW", wide(u"Широкий"), false, u"oldx", ""},  // read and dropped
           {"CaptionW", wide(u"Широкий"), true, u"Широкийx", ""},
           {"CaptionW", text("caf\xE9"), true, u"caféx", ""},
           {"CaptionW", [](FormWriter& w) { w.WriteInteger(1); }, true, u"oldx", platform::SInvalidPropertyValue},
           {"PasswordCharW", [](FormWriter& w) { w.WriteInteger(42); }, false, u"oldx", wrongChar},
           {"PasswordCharW", [](FormWriter& w) { w.WriteBoolean(true); }, false, u"oldx", wrongChar},
           {"PasswordCharW", wide(u"ab"), false, u"oldx", wrongChar},
           {"PasswordCharW", text("ab"), false, u"oldx", wrongChar},
           {"PasswordCharW", text("*"), false, u"old*", ""},
           {"PasswordCharW", wide(u""), false, std::u16string(u"old\0", 4), ""},
           {"PasswordChar_UTF7", text(WideToUtf7Text(u"ЖZ")), false, u"oldЖ", ""},  // its first character
           {"Caption_UTF7", text("+\x80"), false, u"oldx", "the UTF-7 decoder's error"}}) {
    SetWideFormPropertyReading(c.readingSwitch);
    Control stored(c.name, c.write), back;
    back.caption = u"old";
    back.passwordChar = u'x';
    const std::string error = Read(Write(stored), back);
    EXPECT_TRUE(c.error.empty() ? error.empty() : error.find(c.error) != std::string::npos) << c.name << ": " << error;
    EXPECT_EQ(back.caption + back.passwordChar, c.after) << c.name;
  }
  RestoreDefaultUserCodePage();
}
