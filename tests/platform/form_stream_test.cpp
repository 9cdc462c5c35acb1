#include "platform/form_stream.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>

namespace {

using namespace platform;

// An object with a published property of each stored kind, an own integer and binary property,
// and children.
class Thing : public FormPersistent {
 public:
  explicit Thing(std::string name) : name_(std::move(name)) {}
  std::string FormClassName() const override { return className; }
  std::string FormObjectName() const override { return name_; }
  void GetPublishedProperties(std::vector<PublishedProperty>& list) override {
    if (countAsBoolean)
      return list.push_back({"Count", PropertyKind::Boolean, [] { return PropertyValue(true); }, nullptr, false});
    list.push_back({"Count", PropertyKind::Integer, [this] { return PropertyValue(count); },
                    [this](const PropertyValue& v) { count = std::get<std::int64_t>(v); }, std::int64_t{7}});
    list.push_back({"On", PropertyKind::Boolean, [this] { return PropertyValue(on); },
                    [this](const PropertyValue& v) { on = std::get<bool>(v); }, false});
    list.push_back({"Text", PropertyKind::String, [this] { return PropertyValue(text); },
                    [this](const PropertyValue& v) { text = std::get<std::string>(v); }, std::string()});
  }
  void DefineProperties(Filer& filer) override {
    if (!ownProperties) return;
    filer.DefineProperty(
        "Extra",
        [this](FormReader& r) -> SetStep {
          std::int64_t value = r.ReadInteger();
          if (value < 0) throw EReadError("Extra is never negative");
          return [this, value]() -> UndoStep {
            if (value == refusedExtra) throw std::runtime_error("Extra refused");
            return [this, old = std::exchange(extra, value)] { extra = old; };
          };
        },
        [this](FormWriter& w) { w.WriteInteger(extra); }, extra != 0);
    filer.DefineBinaryProperty(
        "Blob",
        [this](ByteStream& s) -> SetStep {
          std::vector<std::uint8_t> value(static_cast<std::size_t>(s.Size()), 0);
          s.Read(value.data(), value.size());
          return [this, value]() -> UndoStep {
            return [this, old = std::exchange(blob, value)] { blob = old; };
          };
        },
        [this](ByteStream& s) { s.Write(blob.data(), blob.size()); }, !blob.empty());
  }
  void Loaded() override { ++loadedCalls; }
  std::vector<FormPersistent*> FormChildren() override {
    std::vector<FormPersistent*> out;
    for (auto& c : children) out.push_back(c.get());
    return out;
  }
  Thing& Add(const std::string& name) { return *children.emplace_back(std::make_unique<Thing>(name)); }

  std::int64_t count = 7, extra = 0;
  std::int64_t refusedExtra = -1;  // a value the setting step of Extra refuses
  bool on = false;
  std::string text;
  std::vector<std::uint8_t> blob;
  int loadedCalls = 0;
  std::vector<std::unique_ptr<Thing>> children;
  std::string className = "TThing";
  bool countAsBoolean = false, ownProperties = true;  // for writers and readers that do not fit

 private:
  std::string name_;
};

std::vector<std::uint8_t> Write(FormPersistent& root, FormPersistent* ancestor = nullptr) {
  MemoryStream s;
  FormWriter::WriteRoot(s, root, ancestor);
  return s.Bytes();
}

std::string ReadError(const std::vector<std::uint8_t>& bytes, Thing& root) {
  try {
    FormReader::ReadRoot(bytes.data(), bytes.size(), root);
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
  a.Add("Child").text = "inner";
  a.children[0]->Add("Grandchild").on = true;

  Thing b("Form1");
  b.Add("Child").Add("Grandchild");
  MemoryStream s(Write(a));
  FormReader::ReadRoot(s, b);
  EXPECT_EQ(std::tie(b.count, b.on, b.text, b.extra, b.blob), std::tie(a.count, a.on, a.text, a.extra, a.blob));
  EXPECT_EQ(b.children[0]->text, "inner");
  EXPECT_TRUE(b.children[0]->children[0]->on);
  // Loaded once on every object, when all is read.
  EXPECT_EQ(b.loadedCalls + b.children[0]->children[0]->loadedCalls, 2);
  EXPECT_FALSE(b.Loading());
}

TEST(FormStreamTest, DefaultsAndTheAncestorsValuesAreLeftOut) {
  Thing plain("F"), changed("F"), ancestor("F"), back("F");
  changed.count = ancestor.count = 8;
  EXPECT_LT(Write(plain).size(), Write(changed).size());
  EXPECT_EQ(Write(changed, &ancestor).size(), Write(plain).size());  // nothing but the frame
  back.count = 99;
  EXPECT_EQ(ReadError(Write(changed, &ancestor), back), "no error");
  EXPECT_EQ(back.count, 99);  // nothing stored: the reader leaves it
  // A value equal to the default but not to the ancestor's is written.
  EXPECT_EQ(ReadError(Write(plain, &ancestor), back), "no error");
  EXPECT_EQ(back.count, 7);
}

TEST(FormStreamTest, WrongKindsUnknownNamesAndOtherClassesAreRefusedUntouched) {
  Thing liar("F"), a("F"), noChild("F"), other("F"), noExtra("F"), t("F");
  liar.countAsBoolean = true;
  other.className = "TOther";
  noExtra.ownProperties = false;
  a.extra = 5;
  a.Add("Only");
  noExtra.Add("Only");
  const auto bytes = Write(a);
  for (auto [stream, reader, what] : std::vector<std::tuple<std::vector<std::uint8_t>, Thing*, std::string>>{
           {Write(liar), &t, "Error reading F.Count: Invalid property value"},
           {bytes, &noChild, "no TThing named \"Only\""},
           {bytes, &other, "holds a TThing"},
           {bytes, &noExtra, "Property Extra does not exist"}}) {
    const std::string error = ReadError(stream, *reader);
    EXPECT_NE(error.find(what), std::string::npos) << error;
  }
  EXPECT_EQ(t.count, 7);
  EXPECT_FALSE(t.Loading());
  EXPECT_EQ(t.loadedCalls, 0);
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

// A refusal found only after values were read before it (a child the form lacks, an unknown
// property, a value of the wrong kind, a value a reading or a setting step refuses) leaves
// every object as it was: the reader's tree writes the same bytes before and after.
TEST(FormStreamTest, ARefusalFoundLateLeavesEveryObjectAsItWas) {
  Thing a("F");
  a.count = 1;
  a.text = "saved";
  a.on = true;
  a.extra = 5;
  a.blob = {1, 2};
  a.Add("Child").extra = 6;
  const auto good = Write(a);
  auto childWith = [&](const std::function<void(Thing&)>& change) {
    Thing w("F");
    w.count = 1;
    change(w.Add("Child"));
    return Write(w);
  };
  struct Case {
    std::vector<std::uint8_t> stream;
    std::function<void(Thing&)> reader;
    std::string what;
  };
  const std::vector<Case> cases = {
      {good, [](Thing& t) { t.children.clear(); }, "no TThing named \"Child\""},
      {good, [](Thing& t) { t.children[0]->className = "TOther"; }, "no TThing named \"Child\""},
      {good, [](Thing& t) { t.children[0]->ownProperties = false; }, "F.Child.Extra: Property Extra does not exist"},
      {childWith([](Thing& c) { c.countAsBoolean = true; }), [](Thing&) {}, "F.Child.Count: Invalid property value"},
      {childWith([](Thing& c) { c.extra = -4; }), [](Thing&) {}, "Extra is never negative"},
      {good, [](Thing& t) { t.children[0]->refusedExtra = 6; }, "Extra refused"},
      {std::vector<std::uint8_t>(good.begin(), good.end() - 9), [](Thing&) {}, "ends early"},
      {std::vector<std::uint8_t>(good.begin(), good.end() - 1), [](Thing&) {}, "damaged"},
      {std::vector<std::uint8_t>(good.begin() + 1, good.end()), [](Thing&) {}, "not a form stream"},
  };
  for (const Case& c : cases) {
    Thing t("F");
    t.count = 3;
    t.text = "mine";
    t.blob = {7};
    t.Add("Child").extra = 2;
    c.reader(t);
    const auto before = Write(t);
    std::string error = "no error";
    try {
      FormReader::ReadRoot(c.stream.data(), c.stream.size(), t);
    } catch (const std::exception& e) {
      error = e.what();
    }
    EXPECT_NE(error.find(c.what), std::string::npos) << error;
    EXPECT_EQ(Write(t), before) << c.what;
    EXPECT_EQ(std::tie(t.count, t.text, t.extra, t.blob), std::make_tuple(3, std::string("mine"), 0, std::vector<std::uint8_t>{7}));
    EXPECT_EQ(t.loadedCalls, 0);
    EXPECT_FALSE(t.Loading());
  }
  // The same reader takes the stream once nothing stands in the way.
  Thing t("F");
  t.Add("Child").refusedExtra = 99;
  EXPECT_EQ(ReadError(good, t), "no error");
  EXPECT_EQ(std::tie(t.count, t.text, t.extra, t.children[0]->extra), std::make_tuple(1, std::string("saved"), 5, 6));
  EXPECT_EQ(t.loadedCalls + t.children[0]->loadedCalls, 2);
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
  int id = AddDefinePropertiesHook([&](Filer& filer, FormPersistent& object) {
    if (object.FormObjectName() != "Child") return;
    filer.DefineProperty(
        "Hooked",
        [&](FormReader& r) -> SetStep {
          return [&seen, value = r.ReadInteger()]() -> UndoStep {
            seen = value;
            return nullptr;
          };
        },
        [](FormWriter& w) { w.WriteInteger(77); }, true);
  });
  Thing a("F"), b("F"), c("F");
  for (Thing* t : {&a, &b, &c}) t->Add("Child");
  const auto bytes = Write(a);
  EXPECT_EQ(ReadError(bytes, b), "no error");
  RemoveDefinePropertiesHook(id);
  EXPECT_EQ(seen, 77);
  EXPECT_NE(ReadError(bytes, c).find("Hooked does not exist"), std::string::npos);  // unknown without the hook
}

}  // namespace
