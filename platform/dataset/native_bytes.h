// Reading and writing native values at any byte address of a record buffer (the slots
// follow one another without alignment).
#pragma once

#include <cstring>

namespace dataset {

template <typename T>
T LoadNative(const void* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename T>
void StoreNative(void* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

}  // namespace dataset
