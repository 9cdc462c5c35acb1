// Wide-string and wide-character properties through form streams.
#include "controls/widestring/wide_properties.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "controls/widestring/code_pages.h"
#include "controls/widestring/utf7.h"
#include "controls/widestring/wide_texts.h"

using namespace widestring;
using platform::PropertyKind;
using platform::PropertyValue;

namespace {

// A control with a wide caption, a wide password character and an 8-bit name.
class Control : public platform::FormPersistent {
 public:
  std::string FormClassName() const override { return "TWideEdit"; }
  std::string FormObjectName() const override { return "Edit1"; }
  void GetPublishedProperties(std::vector<platform::PublishedProperty>& list) override {
    list.push_back({"Caption", PropertyKind::WideString, [this] { return PropertyValue(caption); },
                    [this](const PropertyValue& v) { caption = std::get<std::u16string>(v); }, std::u16string()});
    list.push_back({"PasswordChar", PropertyKind::WideChar, [this] { return PropertyValue(passwordChar); },
                    [this](const PropertyValue& v) { passwordChar = std::get<char16_t>(v); }, char16_t{0}});
    list.push_back({"Tag", PropertyKind::String, [this] { return PropertyValue(tag); },
                    [this](const PropertyValue& v) { tag = std::get<std::string>(v); }, std::string()});
  }
  std::u16string caption;
  char16_t passwordChar = 0;
  std::string tag;
};

// Writes one stored property of any kind under the control's class and name.
class Crafted : public platform::FormPersistent {
 public:
  Crafted(std::string name, std::function<void(platform::FormWriter&)> write) : name_(std::move(name)), write_(std::move(write)) {}
  std::string FormClassName() const override { return "TWideEdit"; }
  std::string FormObjectName() const override { return "Edit1"; }
  void DefineProperties(platform::Filer& filer) override { filer.DefineProperty(name_, nullptr, write_, true); }

 private:
  std::string name_;
  std::function<void(platform::FormWriter&)> write_;
};

class WideProperties : public ::testing::Test {
 protected:
  void SetUp() override { InstallWidePropertyFilers(); }
  void TearDown() override {
    UninstallWidePropertyFilers();
    SetWideFormPropertyReading(false);
  }
  static std::vector<std::uint8_t> Write(platform::FormPersistent& o, platform::FormPersistent* ancestor = nullptr) {
    platform::MemoryStream s;
    platform::FormWriter::WriteRoot(s, o, ancestor);
    return s.Bytes();
  }
  static void Read(const std::vector<std::uint8_t>& bytes, Control& c) {
    platform::FormReader::ReadRoot(bytes.data(), bytes.size(), c);
  }
  static bool Holds(const std::vector<std::uint8_t>& bytes, const std::string& text) {
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
  }
  static std::string ReadError(const std::vector<std::uint8_t>& bytes, Control& c) {
    try {
      Read(bytes, c);
    } catch (const platform::EReadError& e) {
      return e.what();
    }
    return "no error";
  }
};

}  // namespace

TEST_F(WideProperties, WideCaptionsAndCharactersRoundTripAsUtf7AndWideStrings) {
  Control a;
  a.caption = u"Drive +1: Привод 日本 😀 \"A&B\"";
  a.passwordChar = u'€';
  a.tag = "t";
  const auto bytes = Write(a);
  EXPECT_TRUE(Holds(bytes, "Caption_UTF7"));
  EXPECT_FALSE(Holds(bytes, "CaptionW"));
  EXPECT_TRUE(Holds(bytes, "PasswordCharW"));
  EXPECT_FALSE(Holds(bytes, "PasswordChar_UTF7"));
  EXPECT_TRUE(Holds(bytes, WideToUtf7Text(a.caption)));
  Control b;
  Read(bytes, b);
  EXPECT_EQ(b.caption, a.caption);
  EXPECT_EQ(b.passwordChar, u'€');
  EXPECT_EQ(b.tag, "t");
}

TEST_F(WideProperties, ValuesEqualToTheAncestorsOrTheDefaultAreNotWritten) {
  Control empty;
  auto bytes = Write(empty);
  EXPECT_FALSE(Holds(bytes, "Caption"));
  EXPECT_FALSE(Holds(bytes, "PasswordChar"));
  Control a, ancestor;
  a.caption = ancestor.caption = u"Ωmega";
  a.passwordChar = u'*';
  bytes = Write(a, &ancestor);
  EXPECT_FALSE(Holds(bytes, "Caption"));
  EXPECT_TRUE(Holds(bytes, "PasswordCharW"));
  // Back to the default against a changed ancestor is written: the reader clears the value.
  Control cleared;
  ancestor.passwordChar = u'#';
  Control b;
  b.caption = u"old";
  b.passwordChar = u'x';
  ancestor.caption = u"other";
  Read(Write(cleared, &ancestor), b);
  EXPECT_EQ(b.caption, u"");
  EXPECT_EQ(b.passwordChar, u'\0');
}

TEST_F(WideProperties, TheWOfAWideStringIsAppliedOnlyWithTheReadingSwitch) {
  Crafted wide("CaptionW", [](platform::FormWriter& w) { w.WriteWideString(u"Широкий"); });
  Crafted ansi("CaptionW", [](platform::FormWriter& w) { w.WriteString("caf\xE9"); });
  Control c;
  Read(Write(wide), c);
  EXPECT_EQ(c.caption, u"");  // read and dropped
  SetWideFormPropertyReading(true);
  Read(Write(wide), c);
  EXPECT_EQ(c.caption, u"Широкий");
  SetDefaultUserCodePage(1252);
  Read(Write(ansi), c);
  RestoreDefaultUserCodePage();
  EXPECT_EQ(c.caption, u"café");
  Crafted number("CaptionW", [](platform::FormWriter& w) { w.WriteInteger(1); });
  EXPECT_NE(ReadError(Write(number), c).find(platform::SInvalidPropertyValue), std::string::npos);
}

TEST_F(WideProperties, AWideCharacterOfAnotherKindOrLengthRaisesTheReadError) {
  Control c;
  c.passwordChar = u'x';
  for (auto write : std::vector<std::function<void(platform::FormWriter&)>>{
           [](platform::FormWriter& w) { w.WriteInteger(42); },
           [](platform::FormWriter& w) { w.WriteBoolean(true); },
           [](platform::FormWriter& w) { w.WriteWideString(u"ab"); },
           [](platform::FormWriter& w) { w.WriteString("ab"); }}) {
    Crafted bad("PasswordCharW", write);
    std::string error = ReadError(Write(bad), c);
    EXPECT_NE(error.find("Edit1.PasswordCharW: Invalid property value"), std::string::npos) << error;
    EXPECT_EQ(c.passwordChar, u'x');
  }
  Crafted one("PasswordCharW", [](platform::FormWriter& w) { w.WriteString("*"); });
  Read(Write(one), c);
  EXPECT_EQ(c.passwordChar, u'*');
  Crafted empty("PasswordCharW", [](platform::FormWriter& w) { w.WriteWideString(u""); });
  Read(Write(empty), c);
  EXPECT_EQ(c.passwordChar, u'\0');
  // The stored UTF-7 form gives its first character.
  Crafted utf7("PasswordChar_UTF7", [](platform::FormWriter& w) { w.WriteString(WideToUtf7Text(u"ЖZ")); });
  Read(Write(utf7), c);
  EXPECT_EQ(c.passwordChar, u'Ж');
  // Malformed UTF-7 is the UTF-7 decoder's error.
  Crafted broken("Caption_UTF7", [](platform::FormWriter& w) { w.WriteString("+\x80"); });
  EXPECT_THROW(Read(Write(broken), c), EWideGeneralError);
}
