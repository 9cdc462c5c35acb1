// Form streams: an object tree (a form, its tables, its controls) stored as named properties.
// Each object writes its published properties (integer, Boolean, 8-bit string; wide-string and
// wide-character ones are stored by the hooks of the wide-string support) and whatever it adds
// itself through DefineProperties; a reader puts the values back into an existing tree of the
// same shape and calls Loaded on every object at the end.
//
// The bytes, little-endian throughout:
//
//   magic     "KVFS"
//   u16       format version (1); a reader refuses any other
//   u16       0 (reserved)
//   object    the root:
//               u8 'O', name class, name object,
//               properties: { u8 value type, name property, value } ..., u8 0
//               children:   object ..., u8 0
//   u32       CRC-32 (IEEE 802.3) of every byte before it
//
//   name      u8 length (a property name 1..255 bytes), the bytes
//   values    1 binary: u32 length, bytes        2 integer: i64
//             3 Boolean: u8 0 or 1                4 8-bit string: u32 length, bytes
//             5 wide string: u32 count of UTF-16 code units, 2 bytes each
//
// A reader takes a stream in two passes: it first checks the whole stream (header, bounds,
// nesting, checksum) and reads every value against the objects (each stored object found, each
// property known, each value of its property's kind and accepted by its reading step) without
// setting anything; only then does it set the values, and a setter that refuses its value has
// the values set before it put back. So a refused stream, wherever the fault lies, changes no
// object; the reader raises EReadError with what is wrong (a setter's own error passes as it is).
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "platform/byte_stream.h"

namespace platform {

// A stream that cannot be read into the objects: damaged bytes, an unknown property or child,
// or a value of the wrong kind (SInvalidPropertyValue).
class EReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
inline constexpr const char* SInvalidPropertyValue = "Invalid property value";

enum class FormValueType : std::uint8_t { Binary = 1, Integer = 2, Boolean = 3, String = 4, WideString = 5 };

enum class PropertyKind { Integer, Boolean, String, WideString, WideChar };
using PropertyValue = std::variant<std::int64_t, bool, std::string, std::u16string, char16_t>;

// A published property: its name, kind, access and the default that is not written.
struct PublishedProperty {
  std::string name;
  PropertyKind kind;
  std::function<PropertyValue()> get;
  std::function<void(const PropertyValue&)> set;
  PropertyValue defaultValue;
};

class Filer;
class FormReader;
class FormWriter;

// The steps of a property that DefineProperties defines. Its reading step reads and checks the
// one value and hands back the setting step, which puts the value into the object; the reader
// runs the setting steps once the whole stream has been read. A setting step hands back the
// step that puts back what it replaced (nullptr when nothing needs it), which runs when a
// later setting step refuses.
using UndoStep = std::function<void()>;
using SetStep = std::function<UndoStep()>;
using ReadStep = std::function<SetStep(FormReader&)>;
using BinaryReadStep = std::function<SetStep(ByteStream&)>;
// The setting step that gives a published property a value and can put the old one back.
SetStep SetPublished(const PublishedProperty& property, PropertyValue value);

// An object that a form stream stores.
class FormPersistent {
 public:
  virtual ~FormPersistent() = default;
  virtual std::string FormClassName() const = 0;
  virtual std::string FormObjectName() const { return {}; }
  virtual void GetPublishedProperties(std::vector<PublishedProperty>& list) { (void)list; }
  // Properties of the object's own beyond the published ones.
  virtual void DefineProperties(Filer& filer) { (void)filer; }
  // Called on every object of a tree once the whole stream has been read.
  virtual void Loaded() {}
  // Child objects, written after the object's properties; a reader finds each stored child
  // among them by class and name.
  virtual std::vector<FormPersistent*> FormChildren() { return {}; }
  // Whether a reader is putting values into the object (while it sets the values it read,
  // until just before the Loaded calls).
  bool Loading() const { return loading_; }

 private:
  friend class FormReader;
  bool loading_ = false;
};

// What an object's DefineProperties is given: one call per own property, with its reading
// and writing steps (each reads or writes exactly one value). A reader runs `read` when the
// stream holds the name (and the setting step it hands back once the stream is read whole); a
// writer runs `write` when `hasData`.
class Filer {
 public:
  virtual ~Filer() = default;
  virtual void DefineProperty(const std::string& name, ReadStep read, std::function<void(FormWriter&)> write,
                              bool hasData) = 0;
  // A binary property: `read` receives a stream over the stored bytes, `write` fills one.
  virtual void DefineBinaryProperty(const std::string& name, BinaryReadStep read,
                                    std::function<void(ByteStream&)> write, bool hasData) = 0;
  // The writer's ancestor of the object being written (its values are not written again);
  // nullptr when there is none, and always for a reader.
  virtual FormPersistent* Ancestor() const { return nullptr; }
};

// Hooks that add properties to every object, after the object's own DefineProperties (the
// wide-string support stores wide properties this way). Installed once, at start-up.
using DefinePropertiesHook = std::function<void(Filer&, FormPersistent&)>;
int AddDefinePropertiesHook(DefinePropertiesHook hook);
void RemoveDefinePropertiesHook(int id);

// The value of a published property by name from an object's list; nullptr when it has none.
const PublishedProperty* FindPublishedProperty(const std::vector<PublishedProperty>& list, const std::string& name);

class FormWriter {
 public:
  // Writes `root` and its children; a property is left out while it equals the ancestor's
  // (an object of the same shape, children matched by class and name) or, without one, its
  // default.
  static void WriteRoot(ByteStream& stream, FormPersistent& root, FormPersistent* ancestor = nullptr);

  // The one value of a defined property.
  void WriteInteger(std::int64_t value);
  void WriteBoolean(bool value);
  void WriteString(const std::string& value);
  void WriteWideString(const std::u16string& value);
  void WriteBinary(const std::vector<std::uint8_t>& value);

 private:
  FormWriter() = default;
  class ObjectFiler;
  void WriteObject(FormPersistent& object, FormPersistent* ancestor, int depth);
  void Byte(std::uint8_t b) { out_.push_back(b); }
  void U32(std::uint32_t v);
  void Name(const std::string& name, bool property);
  void Value(FormValueType type);
  std::vector<std::uint8_t> out_;
  int valuesWritten_ = 0;
};

class FormReader {
 public:
  // Reads a stream that WriteRoot wrote into `root` (of the same class, with the same
  // children), then calls Loaded on every object read. Raises EReadError; a refused stream
  // leaves every object as it was and calls no Loaded.
  static void ReadRoot(ByteStream& stream, FormPersistent& root);
  // The same from bytes, checked in full before anything is set (also what a fuzzer drives).
  static void ReadRoot(const std::uint8_t* data, std::size_t size, FormPersistent& root);

  // The type of the value the reader stands at.
  FormValueType NextValue() const { return type_; }
  // Each reads the value when it has that type and raises EReadError (SInvalidPropertyValue)
  // otherwise.
  std::int64_t ReadInteger();
  bool ReadBoolean();
  std::string ReadString();
  std::u16string ReadWideString();
  std::vector<std::uint8_t> ReadBinary();
  // Passes the value by.
  void SkipValue();
  // The object whose properties are read, and the property's name.
  const std::string& PropertyName() const { return property_; }

 private:
  FormReader(const std::uint8_t* data, std::size_t end) : data_(data), end_(end) {}
  struct Pending;
  void Check();
  void ReadObject(FormPersistent& object, std::vector<FormPersistent*>& read, std::vector<Pending>& plan,
                  const std::string& path);
  void ReadProperty(FormPersistent& object, std::vector<Pending>& plan, const std::string& path);
  void Expect(FormValueType type);
  std::uint8_t U8();
  std::uint32_t U32();
  std::string Name();
  const std::uint8_t* Take(std::size_t n);
  void ValueEnd();

  const std::uint8_t* data_;
  std::size_t end_;
  std::size_t pos_ = 0;
  FormValueType type_ = FormValueType::Binary;
  bool consumed_ = true;
  std::string property_;
};

}  // namespace platform
