// Form streams: the writer, the checking pass and the reader.
#include "platform/form_stream.h"

#include <strings.h>

#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace platform {

namespace {

constexpr char kMagic[4] = {'K', 'V', 'F', 'S'};
constexpr std::uint16_t kVersion = 1;
constexpr std::uint8_t kObjectTag = 'O';
constexpr int kMaxDepth = 32;
// A stream bigger than this comes from no form.
constexpr std::size_t kMaxStream = std::size_t{1} << 30;

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

[[noreturn]] void Damaged(const std::string& why) { throw EReadError("The form stream is damaged: " + why + "."); }

struct HookList {
  std::mutex mutex;
  int next = 1;
  std::map<int, DefinePropertiesHook> hooks;
};
HookList& Hooks() {
  static HookList list;
  return list;
}
std::vector<DefinePropertiesHook> CurrentHooks() {
  HookList& h = Hooks();
  std::lock_guard<std::mutex> lock(h.mutex);
  std::vector<DefinePropertiesHook> out;
  for (auto& [id, hook] : h.hooks) out.push_back(hook);
  return out;
}

bool SameName(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

FormPersistent* FindChild(FormPersistent& parent, const std::string& className, const std::string& name) {
  for (FormPersistent* c : parent.FormChildren())
    if (c && SameName(c->FormClassName(), className) && SameName(c->FormObjectName(), name)) return c;
  return nullptr;
}

}  // namespace

int AddDefinePropertiesHook(DefinePropertiesHook hook) {
  HookList& h = Hooks();
  std::lock_guard<std::mutex> lock(h.mutex);
  int id = h.next++;
  h.hooks.emplace(id, std::move(hook));
  return id;
}

void RemoveDefinePropertiesHook(int id) {
  HookList& h = Hooks();
  std::lock_guard<std::mutex> lock(h.mutex);
  h.hooks.erase(id);
}

const PublishedProperty* FindPublishedProperty(const std::vector<PublishedProperty>& list, const std::string& name) {
  for (const PublishedProperty& p : list)
    if (SameName(p.name, name)) return &p;
  return nullptr;
}

// ---- writing ----

// Collects the defined properties of one object for the writer.
class FormWriter::ObjectFiler : public Filer {
 public:
  explicit ObjectFiler(FormPersistent* ancestor) : ancestor_(ancestor) {}
  struct Entry {
    std::string name;
    std::function<void(FormWriter&)> write;
    std::function<void(ByteStream&)> writeBinary;
  };
  void DefineProperty(const std::string& name, ReadStep, std::function<void(FormWriter&)> write, bool hasData) override {
    if (hasData && write) entries.push_back({name, std::move(write), nullptr});
  }
  void DefineBinaryProperty(const std::string& name, BinaryReadStep, std::function<void(ByteStream&)> write,
                            bool hasData) override {
    if (hasData && write) entries.push_back({name, nullptr, std::move(write)});
  }
  FormPersistent* Ancestor() const override { return ancestor_; }
  std::vector<Entry> entries;

 private:
  FormPersistent* ancestor_;
};

void FormWriter::U32(std::uint32_t v) {
  for (int i = 0; i < 4; ++i) Byte(static_cast<std::uint8_t>(v >> (8 * i)));
}

void FormWriter::Name(const std::string& name, bool property) {
  if (name.size() > 255 || (property && name.empty()))
    throw std::invalid_argument("A form stream name must be " + std::string(property ? "1" : "0") +
                                "..255 bytes long: \"" + name + "\"");
  Byte(static_cast<std::uint8_t>(name.size()));
  out_.insert(out_.end(), name.begin(), name.end());
}

void FormWriter::Value(FormValueType) {
  // A property's writing step writes one value (its type byte stands before the name).
  if (valuesWritten_++ != 0) throw std::logic_error("A form property writes exactly one value.");
}

void FormWriter::WriteInteger(std::int64_t value) {
  Value(FormValueType::Integer);
  out_.push_back(static_cast<std::uint8_t>(FormValueType::Integer));
  for (int i = 0; i < 8; ++i) Byte(static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * i)));
}

void FormWriter::WriteBoolean(bool value) {
  Value(FormValueType::Boolean);
  Byte(static_cast<std::uint8_t>(FormValueType::Boolean));
  Byte(value ? 1 : 0);
}

void FormWriter::WriteString(const std::string& value) {
  Value(FormValueType::String);
  if (value.size() > kMaxStream) throw std::length_error("A form stream string is too long.");
  Byte(static_cast<std::uint8_t>(FormValueType::String));
  U32(static_cast<std::uint32_t>(value.size()));
  out_.insert(out_.end(), value.begin(), value.end());
}

void FormWriter::WriteWideString(const std::u16string& value) {
  Value(FormValueType::WideString);
  if (value.size() > kMaxStream / 2) throw std::length_error("A form stream string is too long.");
  Byte(static_cast<std::uint8_t>(FormValueType::WideString));
  U32(static_cast<std::uint32_t>(value.size()));
  for (char16_t c : value) {
    Byte(static_cast<std::uint8_t>(c & 0xFF));
    Byte(static_cast<std::uint8_t>(c >> 8));
  }
}

void FormWriter::WriteBinary(const std::vector<std::uint8_t>& value) {
  Value(FormValueType::Binary);
  if (value.size() > kMaxStream) throw std::length_error("A form stream binary value is too long.");
  Byte(static_cast<std::uint8_t>(FormValueType::Binary));
  U32(static_cast<std::uint32_t>(value.size()));
  out_.insert(out_.end(), value.begin(), value.end());
}

void FormWriter::WriteObject(FormPersistent& object, FormPersistent* ancestor, int depth) {
  if (depth > kMaxDepth) throw std::length_error("Form objects nest too deep.");
  Byte(kObjectTag);
  Name(object.FormClassName(), false);
  Name(object.FormObjectName(), false);
  // Each property goes as: type byte, name, value; the value's writer puts the type byte
  // first, so the name is slid in behind it.
  auto property = [&](const std::string& name, const std::function<void()>& writeValue) {
    std::size_t start = out_.size();
    valuesWritten_ = 0;
    writeValue();
    if (valuesWritten_ != 1) throw std::logic_error("A form property writes exactly one value: " + name);
    std::vector<std::uint8_t> nameBytes;
    nameBytes.push_back(static_cast<std::uint8_t>(name.size()));
    nameBytes.insert(nameBytes.end(), name.begin(), name.end());
    if (name.empty() || name.size() > 255) throw std::invalid_argument("A form property name must be 1..255 bytes long.");
    out_.insert(out_.begin() + static_cast<std::ptrdiff_t>(start) + 1, nameBytes.begin(), nameBytes.end());
  };
  std::vector<PublishedProperty> mine, theirs;
  object.GetPublishedProperties(mine);
  if (ancestor) ancestor->GetPublishedProperties(theirs);
  for (const PublishedProperty& p : mine) {
    // Wide-string and wide-character properties are the wide-string support's to store.
    if (p.kind == PropertyKind::WideString || p.kind == PropertyKind::WideChar || !p.get) continue;
    PropertyValue value = p.get();
    const PublishedProperty* a = ancestor ? FindPublishedProperty(theirs, p.name) : nullptr;
    PropertyValue base = a && a->get ? a->get() : p.defaultValue;
    if (value == base) continue;
    property(p.name, [&] {
      if (auto* i = std::get_if<std::int64_t>(&value))
        WriteInteger(*i);
      else if (auto* b = std::get_if<bool>(&value))
        WriteBoolean(*b);
      else if (auto* s = std::get_if<std::string>(&value))
        WriteString(*s);
      else
        throw std::logic_error("A published property's value does not fit its kind: " + p.name);
    });
  }
  ObjectFiler filer(ancestor);
  object.DefineProperties(filer);
  for (const DefinePropertiesHook& hook : CurrentHooks()) hook(filer, object);
  for (ObjectFiler::Entry& e : filer.entries) {
    if (e.write) {
      property(e.name, [&] { e.write(*this); });
    } else {
      MemoryStream bytes;
      e.writeBinary(bytes);
      property(e.name, [&] { WriteBinary(bytes.Bytes()); });
    }
  }
  Byte(0);
  for (FormPersistent* child : object.FormChildren()) {
    if (!child) continue;
    FormPersistent* childAncestor = ancestor ? FindChild(*ancestor, child->FormClassName(), child->FormObjectName()) : nullptr;
    WriteObject(*child, childAncestor, depth + 1);
  }
  Byte(0);
}

void FormWriter::WriteRoot(ByteStream& stream, FormPersistent& root, FormPersistent* ancestor) {
  FormWriter w;
  for (char c : kMagic) w.Byte(static_cast<std::uint8_t>(c));
  w.Byte(kVersion & 0xFF);
  w.Byte(kVersion >> 8);
  w.Byte(0);
  w.Byte(0);
  w.WriteObject(root, ancestor, 0);
  w.U32(Crc32(w.out_.data(), w.out_.size()));
  if (stream.Write(w.out_.data(), w.out_.size()) != w.out_.size())
    throw std::runtime_error("The form stream could not be written whole.");
}

// ---- reading ----

std::uint8_t FormReader::U8() { return *Take(1); }

std::uint32_t FormReader::U32() {
  const std::uint8_t* p = Take(4);
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

const std::uint8_t* FormReader::Take(std::size_t n) {
  if (n > end_ - pos_) Damaged("it ends early");
  const std::uint8_t* p = data_ + pos_;
  pos_ += n;
  return p;
}

std::string FormReader::Name() {
  std::uint8_t n = U8();
  const std::uint8_t* p = Take(n);
  return std::string(reinterpret_cast<const char*>(p), n);
}

// The checking pass: every object, name and value within bounds, nesting limited.
void FormReader::Check() {
  struct Walk {
    FormReader& r;
    void Value(std::uint8_t type) {
      switch (type) {
        case 1: case 4: r.Take(r.U32()); break;
        case 2: r.Take(8); break;
        case 3:
          if (r.U8() > 1) Damaged("a Boolean value is neither 0 nor 1");
          break;
        case 5: {
          std::uint32_t n = r.U32();
          if (n > (r.end_ - r.pos_) / 2) Damaged("it ends early");
          r.Take(std::size_t{n} * 2);
          break;
        }
        default: Damaged("unknown value type " + std::to_string(type));
      }
    }
    void Object(int depth) {
      if (depth > kMaxDepth) Damaged("its objects nest too deep");
      if (r.U8() != kObjectTag) Damaged("no object where one belongs");
      r.Name();
      r.Name();
      for (std::uint8_t type; (type = r.U8()) != 0;) {
        if (r.Name().empty()) Damaged("a property without a name");
        Value(type);
      }
      while (true) {
        if (r.pos_ >= r.end_) Damaged("it ends early");
        if (r.data_[r.pos_] == 0) break;
        Object(depth + 1);
      }
      r.U8();
    }
  } walk{*this};
  walk.Object(0);
}

void FormReader::ReadRoot(ByteStream& stream, FormPersistent& root) {
  std::vector<std::uint8_t> bytes;
  std::uint8_t chunk[65536];
  for (std::size_t n; (n = stream.Read(chunk, sizeof chunk)) > 0;) {
    if (bytes.size() + n > kMaxStream) Damaged("it is too large");
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  ReadRoot(bytes.data(), bytes.size(), root);
}

// A value read and checked, waiting to be set once the whole stream has been read.
struct FormReader::Pending {
  std::string where;  // object path and property, for the error
  SetStep set;
};

SetStep SetPublished(const PublishedProperty& property, PropertyValue value) {
  return [property, value = std::move(value)]() -> UndoStep {
    UndoStep undo;
    if (property.get) undo = [property, old = property.get()] { property.set(old); };
    property.set(value);
    return undo;
  };
}

void FormReader::ReadRoot(const std::uint8_t* data, std::size_t size, FormPersistent& root) {
  if (size < 8 || std::memcmp(data, kMagic, 4) != 0) throw EReadError("This is not a form stream.");
  std::uint16_t version = static_cast<std::uint16_t>(data[4] | data[5] << 8);
  if (version != kVersion)
    throw EReadError("The form stream has format version " + std::to_string(version) + "; this program reads version " +
                     std::to_string(kVersion) + ".");
  if (size < 8 + 4) Damaged("it ends early");
  std::uint32_t crc = static_cast<std::uint32_t>(data[size - 4]) | static_cast<std::uint32_t>(data[size - 3]) << 8 |
                      static_cast<std::uint32_t>(data[size - 2]) << 16 | static_cast<std::uint32_t>(data[size - 1]) << 24;
  FormReader check(data, size - 4);
  check.pos_ = 8;
  check.Check();
  if (check.pos_ != size - 4) Damaged("bytes follow the root object");
  if (crc != Crc32(data, size - 4)) Damaged("the checksum does not match");

  // First every object, property and value against the tree, setting nothing.
  FormReader r(data, size - 4);
  r.pos_ = 8;
  std::vector<FormPersistent*> read;
  std::vector<Pending> plan;
  r.ReadObject(root, read, plan, "");

  // Then the values, in stream order; a refusal puts back what was set before it.
  std::vector<UndoStep> undo;
  undo.reserve(plan.size());
  for (FormPersistent* o : read) o->loading_ = true;
  try {
    for (Pending& p : plan) {
      try {
        undo.push_back(p.set());
      } catch (const EReadError& error) {
        throw EReadError("Error reading " + p.where + ": " + error.what());
      }
    }
  } catch (...) {
    for (auto u = undo.rbegin(); u != undo.rend(); ++u) {
      try {
        if (*u) (*u)();
      } catch (...) {
        // The old value is what the object held: putting it back goes on with the others.
      }
    }
    for (FormPersistent* o : read) o->loading_ = false;
    throw;
  }
  for (FormPersistent* o : read) o->loading_ = false;
  for (FormPersistent* o : read) o->Loaded();
}

void FormReader::ReadObject(FormPersistent& object, std::vector<FormPersistent*>& read, std::vector<Pending>& plan,
                            const std::string& path) {
  U8();
  std::string className = Name(), objectName = Name();
  if (!SameName(className, object.FormClassName()))
    throw EReadError("The form stream holds a " + className + " where the form has a " + object.FormClassName() + ".");
  const std::string here = path.empty() ? (objectName.empty() ? className : objectName) : path + "." + objectName;
  read.push_back(&object);
  while (data_[pos_] != 0) ReadProperty(object, plan, here);
  U8();
  while (data_[pos_] != 0) {
    // The child's class and name stand after its tag.
    std::size_t at = pos_;
    U8();
    std::string childClass = Name(), childName = Name();
    pos_ = at;
    FormPersistent* child = FindChild(object, childClass, childName);
    if (!child) throw EReadError("Error reading " + here + ": the form has no " + childClass + " named \"" + childName + "\".");
    ReadObject(*child, read, plan, here);
  }
  U8();
}

namespace {

// Collects the defined properties of one object for the reader.
class ReadingFiler : public Filer {
 public:
  struct Entry {
    ReadStep read;
    BinaryReadStep readBinary;
  };
  void DefineProperty(const std::string& name, ReadStep read, std::function<void(FormWriter&)>, bool) override {
    if (read) entries.emplace_back(name, Entry{std::move(read), nullptr});
  }
  void DefineBinaryProperty(const std::string& name, BinaryReadStep read, std::function<void(ByteStream&)>,
                            bool) override {
    if (read) entries.emplace_back(name, Entry{nullptr, std::move(read)});
  }
  const Entry* Find(const std::string& name) const {
    for (const auto& [n, e] : entries)
      if (SameName(n, name)) return &e;
    return nullptr;
  }
  std::vector<std::pair<std::string, Entry>> entries;
};

}  // namespace

void FormReader::ReadProperty(FormPersistent& object, std::vector<Pending>& plan, const std::string& path) {
  type_ = static_cast<FormValueType>(U8());
  property_ = Name();
  consumed_ = false;
  const std::string where = path + "." + property_;
  try {
    std::vector<PublishedProperty> published;
    object.GetPublishedProperties(published);
    const PublishedProperty* p = FindPublishedProperty(published, property_);
    SetStep set;
    if (p && p->set && p->kind != PropertyKind::WideString && p->kind != PropertyKind::WideChar) {
      switch (p->kind) {
        case PropertyKind::Integer: set = SetPublished(*p, ReadInteger()); break;
        case PropertyKind::Boolean: set = SetPublished(*p, ReadBoolean()); break;
        default: set = SetPublished(*p, ReadString()); break;
      }
    } else {
      ReadingFiler filer;
      object.DefineProperties(filer);
      for (const DefinePropertiesHook& hook : CurrentHooks()) hook(filer, object);
      const ReadingFiler::Entry* e = filer.Find(property_);
      if (!e) throw EReadError("Property " + property_ + " does not exist");
      if (e->read) {
        set = e->read(*this);
      } else {
        MemoryStream bytes(ReadBinary());
        set = e->readBinary(bytes);
      }
    }
    if (!consumed_) SkipValue();
    if (set) plan.push_back({where, std::move(set)});
  } catch (const EReadError& error) {
    throw EReadError("Error reading " + where + ": " + error.what());
  }
}

void FormReader::Expect(FormValueType type) {
  if (consumed_ || type_ != type) throw EReadError(SInvalidPropertyValue);
  consumed_ = true;
}

std::int64_t FormReader::ReadInteger() {
  Expect(FormValueType::Integer);
  const std::uint8_t* p = Take(8);
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
  return static_cast<std::int64_t>(v);
}

bool FormReader::ReadBoolean() {
  Expect(FormValueType::Boolean);
  return U8() != 0;
}

std::string FormReader::ReadString() {
  Expect(FormValueType::String);
  std::uint32_t n = U32();
  const std::uint8_t* p = Take(n);
  return std::string(reinterpret_cast<const char*>(p), n);
}

std::u16string FormReader::ReadWideString() {
  Expect(FormValueType::WideString);
  std::uint32_t n = U32();
  const std::uint8_t* p = Take(std::size_t{n} * 2);
  std::u16string s(n, u'\0');
  for (std::uint32_t i = 0; i < n; ++i) s[i] = static_cast<char16_t>(p[2 * i] | p[2 * i + 1] << 8);
  return s;
}

std::vector<std::uint8_t> FormReader::ReadBinary() {
  Expect(FormValueType::Binary);
  std::uint32_t n = U32();
  const std::uint8_t* p = Take(n);
  return std::vector<std::uint8_t>(p, p + n);
}

void FormReader::SkipValue() {
  if (consumed_) return;
  switch (type_) {
    case FormValueType::Integer: ReadInteger(); break;
    case FormValueType::Boolean: ReadBoolean(); break;
    case FormValueType::String: ReadString(); break;
    case FormValueType::WideString: ReadWideString(); break;
    case FormValueType::Binary: ReadBinary(); break;
  }
}

}  // namespace platform
