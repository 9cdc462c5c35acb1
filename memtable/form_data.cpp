// The table on a form stream: its published settings, its field and index definitions, the
// "Data" property that carries its records through FormFormat, and the open state read from a
// form.
#include <cstdint>
#include <functional>
#include <utility>

#include "memtable/mem_table.h"

namespace memtable {

using dataset::FieldDef;
using dataset::FieldType;
using dataset::IndexDefs;
using dataset::ftFMTBcd;
using platform::PropertyKind;
using platform::PropertyValue;
using platform::PublishedProperty;

namespace {

PublishedProperty Flag(const std::string& name, bool& ref, bool defaultValue) {
  return {name, PropertyKind::Boolean, [&ref] { return PropertyValue(ref); },
          [&ref](const PropertyValue& v) { ref = std::get<bool>(v); }, defaultValue};
}

PublishedProperty Text(const std::string& name, std::string& ref) {
  return {name, PropertyKind::String, [&ref] { return PropertyValue(ref); },
          [&ref](const PropertyValue& v) { ref = std::get<std::string>(v); }, std::string()};
}

// An integer property of the table that takes values 0..limit only (an enumeration's
// ordinal, or a set of as many bits); a stored value outside them is refused.
PublishedProperty Ranged(const std::string& name, std::int64_t limit, std::function<std::int64_t()> get,
                         std::function<void(std::int64_t)> set, std::int64_t defaultValue) {
  return {name, PropertyKind::Integer, [get] { return PropertyValue(get()); },
          [set, limit](const PropertyValue& v) {
            const std::int64_t value = std::get<std::int64_t>(v);
            if (value < 0 || value > limit) throw platform::EReadError(platform::SInvalidPropertyValue);
            set(value);
          },
          defaultValue};
}

PublishedProperty Number(const std::string& name, int& ref, int defaultValue) {
  return {name, PropertyKind::Integer, [&ref] { return PropertyValue(std::int64_t{ref}); },
          [&ref](const PropertyValue& v) { ref = static_cast<int>(std::get<std::int64_t>(v)); },
          std::int64_t{defaultValue}};
}

// Field and index definitions on the form, little-endian: u32 count, then per definition a
// text (u32 length, bytes) name, u8 type, i32 size, u8 required and its children the same way;
// u32 count, then per index definition the texts name and fields and u32 options.
constexpr std::uint32_t kMaxDefinitions = 256, kMaxIndexDefinitions = 4096;
constexpr int kMaxChildDepth = 8;

void PutU32(platform::ByteStream& s, std::uint32_t v) {
  std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
                       static_cast<std::uint8_t>(v >> 24)};
  s.Write(b, 4);
}

void PutText(platform::ByteStream& s, const std::string& text) {
  PutU32(s, static_cast<std::uint32_t>(text.size()));
  s.Write(text.data(), text.size());
}

void PutFieldDefs(platform::ByteStream& s, const std::vector<FieldDef>& defs) {
  PutU32(s, static_cast<std::uint32_t>(defs.size()));
  for (const FieldDef& d : defs) {
    PutText(s, d.Name);
    std::uint8_t type = static_cast<std::uint8_t>(d.DataType);
    s.Write(&type, 1);
    PutU32(s, static_cast<std::uint32_t>(d.Size));
    std::uint8_t required = d.Required ? 1 : 0;
    s.Write(&required, 1);
    PutFieldDefs(s, d.ChildDefs);
  }
}

// Reads the definitions back, refusing what no table writes.
class DefinitionReader {
 public:
  DefinitionReader(platform::ByteStream& s, const std::string& what) : what_(what) {
    std::uint8_t chunk[4096];
    for (std::size_t n; (n = s.Read(chunk, sizeof chunk)) > 0;) bytes_.insert(bytes_.end(), chunk, chunk + n);
  }
  std::uint32_t U32() {
    const std::uint8_t* p = Take(4);
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
  }
  std::uint8_t U8() { return *Take(1); }
  std::string Text() {
    std::uint32_t n = U32();
    const std::uint8_t* p = Take(n);
    return std::string(reinterpret_cast<const char*>(p), n);
  }
  std::uint32_t Count(std::uint32_t limit) {
    std::uint32_t n = U32();
    if (n > limit) Fail();
    return n;
  }
  void FieldDefList(std::vector<FieldDef>& out, int depth) {
    if (depth > kMaxChildDepth) Fail();
    for (std::uint32_t i = Count(kMaxDefinitions); i > 0; --i) {
      FieldDef d;
      d.Name = Text();
      std::uint8_t type = U8();
      if (type > ftFMTBcd) Fail();
      d.DataType = static_cast<FieldType>(type);
      d.Size = static_cast<int>(U32());
      if (d.Size < 0) Fail();
      d.Required = U8() != 0;
      FieldDefList(d.ChildDefs, depth + 1);
      out.push_back(std::move(d));
    }
  }
  void End() {
    if (pos_ != bytes_.size()) Fail();
  }
  [[noreturn]] void Fail() { throw platform::EReadError("The stored " + what_ + " are damaged."); }

 private:
  const std::uint8_t* Take(std::size_t n) {
    if (n > bytes_.size() - pos_) Fail();
    const std::uint8_t* p = bytes_.data() + pos_;
    pos_ += n;
    return p;
  }
  std::string what_;
  std::vector<std::uint8_t> bytes_;
  std::size_t pos_ = 0;
};

}  // namespace

void TmvxCustomMemTable::GetPublishedProperties(std::vector<PublishedProperty>& list) {
  // While a form is read, the Active waiting for Loaded (what a refused form puts back).
  list.push_back({"Active", PropertyKind::Boolean, [this] { return PropertyValue(Loading() ? streamedActive_ : Active()); },
                  [this](const PropertyValue& v) { SetActive(std::get<bool>(v)); }, false});
  list.push_back(Flag("DesignActivation", DesignActivation, true));
  list.push_back(Flag("StoreDataOnForm", StoreDataOnForm, false));
  list.push_back(Flag("AttachedAutoRefresh", AttachedAutoRefresh, true));
  list.push_back(Flag("AutoReposition", AutoReposition, false));
  list.push_back(Flag("ReadOnly", ReadOnly, false));
  list.push_back(Flag("RecalcOnIndex", RecalcOnIndex, false));
  list.push_back(Flag("RecalcOnFetch", RecalcOnFetch, true));
  list.push_back(Flag("AutoCalcFields", AutoCalcFields, true));
  list.push_back({"EnableIndexes", PropertyKind::Boolean, [this] { return PropertyValue(EnableIndexes()); },
                  [this](const PropertyValue& v) { SetEnableIndexes(std::get<bool>(v)); }, true});
  list.push_back({"Filter", PropertyKind::String, [this] { return PropertyValue(Filter()); },
                  [this](const PropertyValue& v) { SetFilter(std::get<std::string>(v)); }, std::string()});
  list.push_back({"Filtered", PropertyKind::Boolean, [this] { return PropertyValue(Filtered()); },
                  [this](const PropertyValue& v) { SetFiltered(std::get<bool>(v)); }, false});
  list.push_back({"IndexFieldNames", PropertyKind::String, [this] { return PropertyValue(IndexFieldNames()); },
                  [this](const PropertyValue& v) { SetIndexFieldNames(std::get<std::string>(v)); }, std::string()});
  list.push_back({"IndexName", PropertyKind::String, [this] { return PropertyValue(IndexName()); },
                  [this](const PropertyValue& v) { SetIndexName(std::get<std::string>(v)); }, std::string()});
  list.push_back({"SortFields", PropertyKind::String, [this] { return PropertyValue(SortFields()); },
                  [this](const PropertyValue& v) { SetSortFields(std::get<std::string>(v)); }, std::string()});
  list.push_back(Flag("Persistent", Persistent, false));
  list.push_back(Text("PersistentFile", PersistentFile));
  list.push_back(Flag("PersistentBackup", PersistentBackup, false));
  list.push_back(Text("PersistentBackupExt", PersistentBackupExt));
  list.push_back(Number("LoadLimit", LoadLimit, -1));
  list.push_back(Number("SaveLimit", SaveLimit, -1));
  list.push_back({"AutoIncMinValue", PropertyKind::Integer, [this] { return PropertyValue(std::int64_t{AutoIncMinValue}); },
                  [this](const PropertyValue& v) { AutoIncMinValue = static_cast<std::int32_t>(std::get<std::int64_t>(v)); },
                  std::int64_t{0}});
  // The store's settings.
  list.push_back({"Standalone", PropertyKind::Boolean, [this] { return PropertyValue(Standalone()); },
                  [this](const PropertyValue& v) { SetStandalone(std::get<bool>(v)); }, false});
  list.push_back(Ranged(
      "AttachMaxCount", INT32_MAX, [this] { return AttachMaxCount(); },
      [this](std::int64_t v) { SetAttachMaxCount(static_cast<int>(v)); }, 1));
  list.push_back(Ranged(
      "Performance", mtpfSmall, [this] { return Performance(); },
      [this](std::int64_t v) { SetPerformance(static_cast<TmvxPerformance>(v)); }, mtpfFast));
  list.push_back({"EnableVersioning", PropertyKind::Boolean, [this] { return PropertyValue(EnableVersioning()); },
                  [this](const PropertyValue& v) { SetEnableVersioning(std::get<bool>(v)); }, false});
  list.push_back(Ranged(
      "VersioningMode", mtvmAllSinceCheckPoint, [this] { return VersioningMode(); },
      [this](std::int64_t v) { SetVersioningMode(static_cast<TmvxVersioningMode>(v)); }, mtvm1SinceCheckPoint));
  // The locale's parts before the locale, which sets them all again.
  list.push_back(Ranged(
      "LanguageID", UINT32_MAX, [this] { return LanguageID(); },
      [this](std::int64_t v) { SetLanguageID(static_cast<std::uint32_t>(v)); }, 0));
  list.push_back(Ranged(
      "SubLanguageID", UINT32_MAX, [this] { return SubLanguageID(); },
      [this](std::int64_t v) { SetSubLanguageID(static_cast<std::uint32_t>(v)); }, 1));
  list.push_back(Ranged(
      "SortID", UINT32_MAX, [this] { return SortID(); }, [this](std::int64_t v) { SetSortID(static_cast<std::uint32_t>(v)); },
      0));
  list.push_back(Ranged(
      "LocaleID", UINT32_MAX, [this] { return LocaleID(); },
      [this](std::int64_t v) { SetLocaleID(static_cast<std::uint32_t>(v)); }, kDefaultLocaleID));
  // Sets of flags, one bit per member.
  list.push_back(Ranged(
      "ProgressFlags", (1 << (mtpcSort + 1)) - 1, [this] { return ProgressFlags; },
      [this](std::int64_t v) { ProgressFlags = static_cast<TmvxProgressCodes>(v); },
      ProgressCodeBit(mtpcLoad) | ProgressCodeBit(mtpcSave) | ProgressCodeBit(mtpcCopy)));
  list.push_back(Ranged(
      "FilterOptions", dataset::foCaseInsensitive | dataset::foNoPartialCompare, [this] { return GetFilterOptions(); },
      [this](std::int64_t v) { SetFilterOptions(static_cast<dataset::FilterOptions>(v)); }, 0));
  list.push_back(Ranged(
      "SortOptions", (mtcoNonMaintained << 1) - 1, [this] { return SortOptions(); },
      [this](std::int64_t v) { SetSortOptions(static_cast<TmvxMemTableCompareOptions>(v)); }, 0));
  // Master/detail by field names (the master source itself is set in code).
  list.push_back({"MasterFields", PropertyKind::String, [this] { return PropertyValue(MasterFields()); },
                  [this](const PropertyValue& v) { SetMasterFields(std::get<std::string>(v)); }, std::string()});
  list.push_back({"DetailFields", PropertyKind::String, [this] { return PropertyValue(DetailFields()); },
                  [this](const PropertyValue& v) { SetDetailFields(std::get<std::string>(v)); }, std::string()});
}

void TmvxCustomMemTable::DefineProperties(platform::Filer& filer) {
  filer.DefineBinaryProperty(
      "FieldDefs",
      [this](platform::ByteStream& stream) -> platform::SetStep {
        DefinitionReader r(stream, "field definitions");
        std::vector<FieldDef> defs;
        r.FieldDefList(defs, 0);
        r.End();
        return [this, defs]() -> platform::UndoStep {
          return [this, old = std::exchange(GetFieldDefs().Items(), defs)] { GetFieldDefs().Items() = old; };
        };
      },
      [this](platform::ByteStream& stream) { PutFieldDefs(stream, GetFieldDefs().Items()); },
      GetFieldDefs().Count() > 0);
  filer.DefineBinaryProperty(
      "IndexDefs",
      [this](platform::ByteStream& stream) -> platform::SetStep {
        DefinitionReader r(stream, "index definitions");
        IndexDefs defs;
        for (std::uint32_t i = r.Count(kMaxIndexDefinitions); i > 0; --i) {
          std::string name = r.Text(), fields = r.Text();
          defs.Add(name, fields, r.U32());
        }
        r.End();
        return [this, defs]() -> platform::UndoStep {
          return [this, old = std::exchange(GetIndexDefs(), defs)] { GetIndexDefs() = old; };
        };
      },
      [this](platform::ByteStream& stream) {
        const IndexDefs& defs = GetIndexDefs();
        PutU32(stream, static_cast<std::uint32_t>(defs.Count()));
        for (int i = 0; i < defs.Count(); ++i) {
          PutText(stream, defs[i].Name);
          PutText(stream, defs[i].Fields);
          PutU32(stream, defs[i].Options);
        }
      },
      GetIndexDefs().Count() > 0);
  filer.DefineBinaryProperty(
      "Data",
      [this](platform::ByteStream& stream) -> platform::SetStep {
        // Kept until the table opens.
        auto data = std::make_shared<std::unique_ptr<platform::MemoryStream>>(std::make_unique<platform::MemoryStream>());
        std::uint8_t chunk[65536];
        for (std::size_t n; (n = stream.Read(chunk, sizeof chunk)) > 0;) (*data)->Write(chunk, n);
        (*data)->Seek(0, platform::SeekOrigin::Begin);
        return [this, data]() -> platform::UndoStep {
          std::swap(storedFormData_, *data);
          return [this, data] { std::swap(storedFormData_, *data); };
        };
      },
      [this](platform::ByteStream& stream) {
        if (Active()) SaveThroughFormat(stream, FormFormat);
      },
      StoreDataOnForm);
}

void TmvxCustomMemTable::SetActive(bool value) {
  if (Loading()) {
    streamedActive_ = value;
    return;
  }
  if (value && ignoreStoredActive_) return;
  DataSet::SetActive(value);
}

void TmvxCustomMemTable::Loaded() {
  const bool open = std::exchange(streamedActive_, false);
  ignoreStoredActive_ = !DesignActivation;
  try {
    if (open) SetActive(true);
  } catch (...) {
    ignoreStoredActive_ = false;
    throw;
  }
  ignoreStoredActive_ = false;
}

void TmvxCustomMemTable::LoadStoredFormData(platform::ByteStream& stream, TmvxCustomStreamFormat* format) {
  if (OnLoad) OnLoad(*this, mtstStream, &stream);
  LoadThroughFormat(stream, format);
}

void TmvxCustomMemTable::LoadFormDataOnOpen() {
  // Released whatever the load does. A table written while closed stored no records.
  std::unique_ptr<platform::MemoryStream> data = std::move(storedFormData_);
  if (!data || !StoreDataOnForm || data->Bytes().empty()) return;
  data->Seek(0, platform::SeekOrigin::Begin);
  LoadStoredFormData(*data, FormFormat);
}

}  // namespace memtable
