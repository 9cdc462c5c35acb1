// Sets of station addresses and the station-list text of the link dialog ("1,3,5-12").
#pragma once

#include <bitset>
#include <cstdint>
#include <string_view>

namespace core {

// Stations 1..254 as 256 bits; bit n stands for station n.
class StationSet {
 public:
  void clear() { bits_.reset(); }
  void add(int station) {
    if (station >= 1 && station <= 254) bits_.set(static_cast<std::size_t>(station));
  }
  bool contains(int station) const {
    return station >= 0 && station < 256 && bits_.test(static_cast<std::size_t>(station));
  }
  bool empty() const { return bits_.none(); }
  int count() const { return static_cast<int>(bits_.count()); }
  int lowest() const;   // 0 when empty
  int highest() const;  // 0 when empty
  friend bool operator==(const StationSet&, const StationSet&) = default;

 private:
  std::bitset<256> bits_;
};

// Turns the station-list text into a set: items separated by commas (or line breaks), each a
// station number 1..254 or a range a-b with 1 <= a < b <= 254. Items that are neither are
// skipped without a word.
StationSet ParseStationList(std::string_view text);

// An integer in the runtime's integer syntax: leading blanks, an optional sign, decimal digits
// or hexadecimal digits after "$" or "0x"; nothing may follow the digits.
bool ParseStationNumber(std::string_view text, std::int64_t& value);

}  // namespace core
