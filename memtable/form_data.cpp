// The table on a form stream: its published settings, the "Data" property that carries its
// records through FormFormat, and the open state read from a form.
#include <utility>

#include "memtable/mem_table.h"

namespace memtable {

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

PublishedProperty Number(const std::string& name, int& ref, int defaultValue) {
  return {name, PropertyKind::Integer, [&ref] { return PropertyValue(std::int64_t{ref}); },
          [&ref](const PropertyValue& v) { ref = static_cast<int>(std::get<std::int64_t>(v)); },
          std::int64_t{defaultValue}};
}

}  // namespace

void TmvxCustomMemTable::GetPublishedProperties(std::vector<PublishedProperty>& list) {
  list.push_back({"Active", PropertyKind::Boolean, [this] { return PropertyValue(Active()); },
                  [this](const PropertyValue& v) { SetActive(std::get<bool>(v)); }, false});
  list.push_back(Flag("DesignActivation", DesignActivation, true));
  list.push_back(Flag("StoreDataOnForm", StoreDataOnForm, false));
  list.push_back(Flag("AttachedAutoRefresh", AttachedAutoRefresh, true));
  list.push_back(Flag("AutoReposition", AutoReposition, false));
  list.push_back(Flag("ReadOnly", ReadOnly, false));
  list.push_back(Flag("RecalcOnIndex", RecalcOnIndex, false));
  list.push_back(Flag("RecalcOnFetch", RecalcOnFetch, true));
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
}

void TmvxCustomMemTable::DefineProperties(platform::Filer& filer) {
  filer.DefineBinaryProperty(
      "Data",
      [this](platform::ByteStream& stream) {
        // Kept until the table opens.
        auto data = std::make_unique<platform::MemoryStream>();
        std::uint8_t chunk[65536];
        for (std::size_t n; (n = stream.Read(chunk, sizeof chunk)) > 0;) data->Write(chunk, n);
        data->Seek(0, platform::SeekOrigin::Begin);
        storedFormData_ = std::move(data);
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
