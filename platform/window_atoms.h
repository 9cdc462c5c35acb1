// Registered window messages and the global atom table, standing in for the system's
// RegisterWindowMessageA, GlobalAddAtomA, GlobalDeleteAtom and GlobalGetAtomNameA. Names are
// compared without regard to ASCII case; ids and atoms lie in 0xC000..0xFFFF; 0 is a failure
// (an empty name, a name longer than 255 characters, or a full table), with errno set.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The same id for the same name for the whole run.
unsigned RegisterWindowMessageA(std::string_view name);
// Adds a reference to the atom of `name` (made when new).
std::uint16_t GlobalAddAtomA(std::string_view name);
// Drops one reference; the atom goes with its last one. Returns 0 on success, else the atom.
std::uint16_t GlobalDeleteAtom(std::uint16_t atom);
// The name of a live atom, or empty.
std::string GlobalGetAtomNameA(std::uint16_t atom);

}  // namespace platform
