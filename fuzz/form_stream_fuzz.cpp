// The form stream reader over arbitrary bytes: it reads them into an object tree or refuses
// them with EReadError, leaving the tree as it was, and a tree it read writes out and reads back
// alike. The bytes are
// tried as they are and framed with a header and a right checksum, so that the walk behind
// the checksum is reached too.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "platform/form_stream.h"

namespace {

using platform::PropertyKind;
using platform::PropertyValue;

class Node : public platform::FormPersistent {
 public:
  Node(std::string name, int depth) : name_(std::move(name)) {
    if (depth < 3)
      for (const char* n : {"A", "B"}) children_.push_back(std::make_unique<Node>(n, depth + 1));
  }
  std::string FormClassName() const override { return "TNode"; }
  std::string FormObjectName() const override { return name_; }
  void GetPublishedProperties(std::vector<platform::PublishedProperty>& list) override {
    list.push_back({"I", PropertyKind::Integer, [this] { return PropertyValue(i); },
                    [this](const PropertyValue& v) { i = std::get<std::int64_t>(v); }, std::int64_t{0}});
    list.push_back({"B", PropertyKind::Boolean, [this] { return PropertyValue(b); },
                    [this](const PropertyValue& v) { b = std::get<bool>(v); }, false});
    list.push_back({"S", PropertyKind::String, [this] { return PropertyValue(s); },
                    [this](const PropertyValue& v) { s = std::get<std::string>(v); }, std::string()});
  }
  void DefineProperties(platform::Filer& filer) override {
    filer.DefineProperty(
        "W",
        [this](platform::FormReader& r) -> platform::SetStep {
          return [this, value = r.ReadWideString()]() -> platform::UndoStep {
            return [this, old = std::exchange(w, value)] { w = old; };
          };
        },
        [this](platform::FormWriter& wr) { wr.WriteWideString(w); }, !w.empty());
    filer.DefineBinaryProperty(
        "D",
        [this](platform::ByteStream& st) -> platform::SetStep {
          std::vector<std::uint8_t> value(static_cast<std::size_t>(st.Size()));
          st.Read(value.data(), value.size());
          return [this, value]() -> platform::UndoStep {
            return [this, old = std::exchange(d, value)] { d = old; };
          };
        },
        [this](platform::ByteStream& st) { st.Write(d.data(), d.size()); }, !d.empty());
  }
  std::vector<platform::FormPersistent*> FormChildren() override {
    std::vector<platform::FormPersistent*> out;
    for (auto& c : children_) out.push_back(c.get());
    return out;
  }

 private:
  std::string name_;
  std::int64_t i = 0;
  bool b = false;
  std::string s;
  std::u16string w;
  std::vector<std::uint8_t> d;
  std::vector<std::unique_ptr<Node>> children_;
};

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  return crc ^ 0xFFFFFFFFu;
}

void Try(const std::vector<std::uint8_t>& bytes) {
  Node root("Root", 0);
  platform::MemoryStream before;
  platform::FormWriter::WriteRoot(before, root);
  try {
    platform::FormReader::ReadRoot(bytes.data(), bytes.size(), root);
  } catch (const platform::EReadError&) {
    // A refused stream changes nothing.
    platform::MemoryStream after;
    platform::FormWriter::WriteRoot(after, root);
    if (after.Bytes() != before.Bytes()) __builtin_trap();
    return;
  }
  platform::MemoryStream out;
  platform::FormWriter::WriteRoot(out, root);
  Node again("Root", 0);
  platform::FormReader::ReadRoot(out.Bytes().data(), out.Bytes().size(), again);
  platform::MemoryStream twice;
  platform::FormWriter::WriteRoot(twice, again);
  if (twice.Bytes() != out.Bytes()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1 << 20)) return 0;
  Try(std::vector<std::uint8_t>(data, data + size));
  std::vector<std::uint8_t> framed = {'K', 'V', 'F', 'S', 1, 0, 0, 0};
  framed.insert(framed.end(), data, data + size);
  std::uint32_t crc = Crc32(framed.data(), framed.size());
  for (int i = 0; i < 4; ++i) framed.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
  Try(framed);
  return 0;
}
