// Wide-string and wide-character properties in form streams.
#include "controls/widestring/wide_properties.h"

#include <atomic>
#include <mutex>

#include "controls/widestring/code_pages.h"
#include "controls/widestring/utf7.h"

namespace widestring {

using platform::EReadError;
using platform::FormReader;
using platform::FormValueType;
using platform::FormWriter;
using platform::PropertyValue;
using platform::PublishedProperty;

namespace {

std::atomic<bool> readingSwitch{false};

// The value to compare with: the ancestor's, or the property's default.
PropertyValue BaseValue(const PublishedProperty& property, platform::FormPersistent* ancestor) {
  if (ancestor) {
    std::vector<PublishedProperty> list;
    ancestor->GetPublishedProperties(list);
    if (const PublishedProperty* a = platform::FindPublishedProperty(list, property.name); a && a->get) return a->get();
  }
  return property.defaultValue;
}

// A string value, wide or 8-bit (converted in the default code page).
std::u16string ReadAnyString(FormReader& reader) {
  switch (reader.NextValue()) {
    case FormValueType::WideString: return reader.ReadWideString();
    case FormValueType::String: return StringToWideString(reader.ReadString());
    default: throw EReadError(platform::SInvalidPropertyValue);
  }
}

}  // namespace

bool WideFormPropertyReading() { return readingSwitch.load(); }
void SetWideFormPropertyReading(bool on) { readingSwitch.store(on); }

void TWideWideStringPropertyFiler::DefineProperties(platform::Filer& filer, const PublishedProperty& property,
                                                    platform::FormPersistent* ancestor) {
  PublishedProperty p = property;
  filer.DefineProperty(
      p.name + "W",
      [p](FormReader& reader) -> platform::SetStep {
        std::u16string value = ReadAnyString(reader);
        if (!WideFormPropertyReading() || !p.set) return nullptr;
        return platform::SetPublished(p, value);
      },
      nullptr, false);
  const bool hasData = p.get && p.get() != BaseValue(p, ancestor);
  filer.DefineProperty(
      p.name + "_UTF7",
      [p](FormReader& reader) -> platform::SetStep {
        std::u16string value = Utf7TextToWide(reader.ReadString());
        return p.set ? platform::SetPublished(p, value) : nullptr;
      },
      [p](FormWriter& writer) { writer.WriteString(WideToUtf7Text(std::get<std::u16string>(p.get()))); }, hasData);
}

void TWideWideCharPropertyFiler::DefineProperties(platform::Filer& filer, const PublishedProperty& property,
                                                  platform::FormPersistent* ancestor) {
  PublishedProperty p = property;
  const bool hasData = p.get && p.get() != BaseValue(p, ancestor);
  filer.DefineProperty(
      p.name + "W",
      [p](FormReader& reader) -> platform::SetStep {
        std::u16string value = ReadAnyString(reader);
        if (value.size() > 1) throw EReadError(platform::SInvalidPropertyValue);
        return p.set ? platform::SetPublished(p, value.empty() ? u'\0' : value[0]) : nullptr;
      },
      [p](FormWriter& writer) { writer.WriteWideString(std::u16string(1, std::get<char16_t>(p.get()))); }, hasData);
  filer.DefineProperty(
      p.name + "_UTF7",
      [p](FormReader& reader) -> platform::SetStep {
        std::u16string value = Utf7TextToWide(reader.ReadString());
        return p.set ? platform::SetPublished(p, value.empty() ? u'\0' : value[0]) : nullptr;
      },
      nullptr, false);
}

namespace {

std::mutex installLock;
int hookId = 0;

}  // namespace

void InstallWidePropertyFilers() {
  std::lock_guard<std::mutex> lock(installLock);
  if (hookId) return;
  hookId = platform::AddDefinePropertiesHook([](platform::Filer& filer, platform::FormPersistent& object) {
    std::vector<PublishedProperty> list;
    object.GetPublishedProperties(list);
    for (const PublishedProperty& p : list) {
      if (p.kind == platform::PropertyKind::WideString)
        TWideWideStringPropertyFiler::DefineProperties(filer, p, filer.Ancestor());
      else if (p.kind == platform::PropertyKind::WideChar)
        TWideWideCharPropertyFiler::DefineProperties(filer, p, filer.Ancestor());
    }
  });
}

void UninstallWidePropertyFilers() {
  std::lock_guard<std::mutex> lock(installLock);
  if (!hookId) return;
  platform::RemoveDefinePropertiesHook(hookId);
  hookId = 0;
}

}  // namespace widestring
