#include "platform/form_stream.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using platform::EReadError;
using platform::FormReader;
using platform::FormWriter;
using platform::MemoryStream;
using platform::PropertyKind;
using platform::PropertyValue;

// An object with one published property of each stored kind, an own integer and binary
// property, and children.
class Thing : public platform::FormPersistent {
 public:
  explicit Thing(std::string name) : name_(std::move(name)) {}
  std::string FormClassName() const override { return "TThing"; }
  std::string FormObjectName() const override { return name_; }
  void GetPublishedProperties(std::vector<platform::PublishedProperty>& list) override {
    list.push_back({"Count", PropertyKind::Integer, [this] { return PropertyValue(count); },
                    [this](const PropertyValue& v) { count = std::get<std::int64_t>(v); }, std::int64_t{7}});
    list.push_back({"On", PropertyKind::Boolean, [this] { return PropertyValue(on); },
                    [this](const PropertyValue& v) { on = std::get<bool>(v); }, false});
    list.push_back({"Text", PropertyKind::String, [this] { return PropertyValue(text); },
                    [this](const PropertyValue& v) { text = std::get<std::string>(v); }, std::string()});
  }
  void DefineProperties(platform::Filer& filer) override {
    filer.DefineProperty(
        "Extra", [this](FormReader& r) { extra = r.ReadInteger(); }, [this](FormWriter& w) { w.WriteInteger(extra); },
        extra != 0);
    filer.DefineBinaryProperty(
        "Blob",
        [this](platform::ByteStream& s) {
          blob.assign(static_cast<std::size_t>(s.Size()), 0);
          s.Read(blob.data(), blob.size());
        },
        [this](platform::ByteStream& s) { s.Write(blob.data(), blob.size()); }, !blob.empty());
  }
  void Loaded() override { ++loadedCalls; }
  std::vector<platform::FormPersistent*> FormChildren() override {
    std::vector<platform::FormPersistent*> out;
    for (auto& c : children) out.push_back(c.get());
    return out;
  }
  Thing& Add(const std::string& name) {
    children.push_back(std::make_unique<Thing>(name));
    return *children.back();
  }

  std::int64_t count = 7;
  bool on = false;
  std::string text;
  std::int64_t extra = 0;
  std::vector<std::uint8_t> blob;
  int loadedCalls = 0;
  std::vector<std::unique_ptr<Thing>> children;

 private:
  std::string name_;
};

std::vector<std::uint8_t> Write(Thing& root, Thing* ancestor = nullptr) {
  MemoryStream s;
  FormWriter::WriteRoot(s, root, ancestor);
  return s.Bytes();
}

void Read(const std::vector<std::uint8_t>& bytes, Thing& root) { FormReader::ReadRoot(bytes.data(), bytes.size(), root); }

std::string ReadError(const std::vector<std::uint8_t>& bytes, Thing& root) {
  try {
    Read(bytes, root);
  } catch (const EReadError& e) {
    return e.what();
  }
  return "no error";
}

TEST(FormStreamTest, RoundTripOfEveryKindAndOfChildren) {
  Thing a("Form1");
  a.count = -1234567890123;
  a.on = true;
  a.text = std::string("caf\xC3\xA9\0x", 7);
  a.extra = 42;
  a.blob = {0, 1, 2, 255};
  Thing& child = a.Add("Child");
  child.text = "inner";
  child.Add("Grandchild").on = true;

  Thing b("Form1");
  b.Add("Child").Add("Grandchild");
  MemoryStream s(Write(a));
  FormReader::ReadRoot(s, b);
  EXPECT_EQ(b.count, a.count);
  EXPECT_TRUE(b.on);
  EXPECT_EQ(b.text, a.text);
  EXPECT_EQ(b.extra, 42);
  EXPECT_EQ(b.blob, a.blob);
  EXPECT_EQ(b.children[0]->text, "inner");
  EXPECT_TRUE(b.children[0]->children[0]->on);
  // Loaded once on every object, when all is read; Loading only meanwhile.
  EXPECT_EQ(b.loadedCalls, 1);
  EXPECT_EQ(b.children[0]->children[0]->loadedCalls, 1);
  EXPECT_FALSE(b.Loading());
}

TEST(FormStreamTest, DefaultsAndTheAncestorsValuesAreLeftOut) {
  Thing plain("F");
  Thing changed("F");
  changed.count = 8;
  EXPECT_LT(Write(plain).size(), Write(changed).size());
  // Against an ancestor with the same values nothing is written but the frame.
  Thing ancestor("F");
  ancestor.count = 8;
  EXPECT_EQ(Write(changed, &ancestor).size(), Write(plain).size());
  Thing back("F");
  back.count = 99;
  Read(Write(changed, &ancestor), back);
  EXPECT_EQ(back.count, 99);  // nothing stored: the reader leaves it
  // A value equal to the default but not to the ancestor's is written.
  Read(Write(plain, &ancestor), back);
  EXPECT_EQ(back.count, 7);
}

TEST(FormStreamTest, AValueOfTheWrongKindRaisesTheReadError) {
  // An object whose "Count" is written as a Boolean.
  class Liar : public Thing {
   public:
    using Thing::Thing;
    void GetPublishedProperties(std::vector<platform::PublishedProperty>& list) override {
      list.push_back({"Count", PropertyKind::Boolean, [] { return PropertyValue(true); }, nullptr, false});
    }
  } liar("F");
  MemoryStream s;
  FormWriter::WriteRoot(s, liar);
  Thing t("F");
  std::string error = ReadError(s.Bytes(), t);
  EXPECT_NE(error.find("Invalid property value"), std::string::npos) << error;
  EXPECT_NE(error.find("F.Count"), std::string::npos) << error;
  EXPECT_EQ(t.count, 7);
  EXPECT_FALSE(t.Loading());
  EXPECT_EQ(t.loadedCalls, 0);
}

TEST(FormStreamTest, UnknownPropertiesAndChildrenAndOtherClassesAreRefused) {
  Thing a("F");
  a.extra = 5;
  a.Add("Only");
  auto bytes = Write(a);
  Thing noChild("F");
  EXPECT_NE(ReadError(bytes, noChild).find("no TThing named \"Only\""), std::string::npos);

  class Other : public Thing {
   public:
    using Thing::Thing;
    std::string FormClassName() const override { return "TOther"; }
  } other("F");
  EXPECT_NE(ReadError(Write(a), other).find("holds a TThing"), std::string::npos);

  class NoExtra : public Thing {
   public:
    using Thing::Thing;
    void DefineProperties(platform::Filer&) override {}
  } noExtra("F");
  noExtra.Add("Only");
  EXPECT_NE(ReadError(bytes, noExtra).find("Property Extra does not exist"), std::string::npos);
}

TEST(FormStreamTest, DamagedStreamsAreRefusedBeforeAnythingChanges) {
  Thing a("F");
  a.count = 1;
  a.text = "hello";
  a.blob = {9, 9, 9};
  const auto good = Write(a);
  auto expectRefused = [](std::vector<std::uint8_t> bytes, const std::string& what) {
    Thing t("F");
    std::string error = ReadError(bytes, t);
    EXPECT_NE(error.find(what), std::string::npos) << error;
    EXPECT_EQ(t.count, 7);
    EXPECT_EQ(t.text, "");
  };
  expectRefused({}, "not a form stream");
  expectRefused({'K', 'V', 'M', 'T', 1, 0, 0, 0, 0, 0, 0, 0}, "not a form stream");
  auto version = good;
  version[4] = 2;
  expectRefused(version, "format version 2");
  // Every cut and every changed byte after the header is caught.
  for (std::size_t cut = 8; cut < good.size(); ++cut)
    expectRefused(std::vector<std::uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)), "damaged");
  for (std::size_t i = 8; i < good.size(); ++i) {
    auto bad = good;
    bad[i] ^= 0x40;
    expectRefused(bad, "damaged");
  }
  auto longer = good;
  longer.insert(longer.end() - 4, 0);
  expectRefused(longer, "damaged");
}

TEST(FormStreamTest, NestingIsBounded) {
  Thing root("R");
  Thing* at = &root;
  for (int i = 0; i < 40; ++i) at = &at->Add("C");
  MemoryStream s;
  EXPECT_THROW(FormWriter::WriteRoot(s, root), std::length_error);
  EXPECT_TRUE(s.Bytes().empty());
}

TEST(FormStreamTest, HooksAddPropertiesToEveryObject) {
  std::int64_t seen = 0;
  int id = platform::AddDefinePropertiesHook([&](platform::Filer& filer, platform::FormPersistent& object) {
    if (object.FormObjectName() != "Child") return;
    filer.DefineProperty(
        "Hooked", [&](FormReader& r) { seen = r.ReadInteger(); }, [](FormWriter& w) { w.WriteInteger(77); }, true);
  });
  Thing a("F");
  a.Add("Child");
  auto bytes = Write(a);
  Thing b("F");
  b.Add("Child");
  Read(bytes, b);
  platform::RemoveDefinePropertiesHook(id);
  EXPECT_EQ(seen, 77);
  // Without the hook the stored property is unknown.
  Thing c("F");
  c.Add("Child");
  EXPECT_NE(ReadError(bytes, c).find("Hooked does not exist"), std::string::npos);
}

}  // namespace
