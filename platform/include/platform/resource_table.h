// Layout of the resource tables that tools/resgen compiles into a module.
//
// Every generated source holds one Table and puts a pointer to it into the section
// "kvb_resources". The linker bounds that section with __start_/__stop_ symbols that are local
// to each executable or shared library, so a module sees exactly its own tables, without any
// code running at start-up. Each module that carries resources exports kvb_module_resources()
// (target_resources makes a program export it too): the platform finds the tables of a
// LoadLibraryA handle, and of the program, through that function.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::res {

inline constexpr std::uint32_t kTableMagic = 0x4B565231;  // "KVR1"

struct Blob {
  const char* name;  // compared without regard to letter case
  const unsigned char* data;
  std::uint32_t size;
};

struct String {
  std::uint32_t id;
  const char16_t* text;  // UTF-16, not terminated
  std::uint32_t length;  // in code units
};

struct Table {
  std::uint32_t magic;
  std::uint32_t blobCount;
  const Blob* blobs;
  std::uint32_t stringCount;
  const String* strings;  // sorted by id
};

}  // namespace platform::res

extern "C" {
// The calling module's tables (defined weakly by every generated source).
const platform::res::Table* const* kvb_module_resources(std::size_t* count);
}
