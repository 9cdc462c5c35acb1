#include "core/read_back.h"

#include <array>
#include <bit>

#include "core/param_access.h"

namespace core {

ItemReadBack ReadMonitorItemBack(int station, const MonitorItem& item, double written) {
  ItemReadBack back;
  std::int64_t whole = 0;
  float f = 0;
  const bool sendable = MonitorItemRaw(item, written, whole, f);
  const auto st = static_cast<std::uint8_t>(station);
  std::uint32_t raw = 0;
  if (IsFloatItem(item)) {
    back.result = ReadWord(st, item.reg, 2, raw);
    back.text = MonitorFloatText(item, std::bit_cast<float>(raw));
    back.holdsWritten = sendable && raw == std::bit_cast<std::uint32_t>(f);
  } else if (item.type == ParameterType::Coil) {
    back.result = ReadBit(st, item.reg, raw);
    back.text = MonitorItemText(item, static_cast<std::int32_t>(raw));
    // WriteBit switches the coil on for 1 and off for any other value.
    back.holdsWritten = sendable && (raw != 0) == (whole == 1);
  } else if (item.type == ParameterType::Holding32 || item.type == ParameterType::Input32) {
    back.result = ReadWord(st, item.reg, 2, raw);
    back.text = MonitorItemText(item, static_cast<std::int32_t>(raw));
    back.holdsWritten = sendable && raw == static_cast<std::uint32_t>(whole);
  } else {
    back.result = ReadWord(st, item.reg, 1, raw);
    back.text = MonitorItemText(item, static_cast<std::int16_t>(raw));
    back.holdsWritten = sendable && static_cast<std::uint16_t>(raw) == static_cast<std::uint16_t>(whole & 0xFFFF);
  }
  if (back.result != kResultOk) {
    back.text.clear();
    back.holdsWritten = false;
  }
  return back;
}

RegistersReadBack ReadRegistersBack(int station, std::uint16_t address, int count,
                                    const std::vector<std::uint16_t>& written) {
  RegistersReadBack back;
  const auto st = static_cast<std::uint8_t>(station);
  for (int done = 0; done < count && back.result == kResultOk;) {
    const auto at = static_cast<std::uint16_t>(address + done);
    if (count - done >= 16) {
      std::array<std::uint16_t, 16> block{};
      back.result = ReadBlock16(st, at, block);
      back.words.insert(back.words.end(), block.begin(), block.end());
      done += 16;
      continue;
    }
    const std::uint16_t n = count - done >= 2 ? 2 : 1;
    std::uint32_t raw = 0;
    back.result = ReadWord(st, at, n, raw);
    // Two registers come low word first (ReadWord's order).
    back.words.push_back(static_cast<std::uint16_t>(raw & 0xFFFF));
    if (n == 2) back.words.push_back(static_cast<std::uint16_t>(raw >> 16));
    done += n;
  }
  if (back.result != kResultOk) {
    back.words.clear();
    return back;
  }
  back.holdsWritten = !written.empty() && back.words == written;
  return back;
}

RegistersReadBack ReadCoilBack(int station, std::uint16_t address) {
  RegistersReadBack back;
  std::uint32_t raw = 0;
  back.result = ReadBit(static_cast<std::uint8_t>(station), address, raw);
  if (back.result == kResultOk) back.words.push_back(raw != 0 ? 1 : 0);
  return back;
}

}  // namespace core
