// Resources compiled into a module by tools/resgen (layout in platform/resource_table.h).

#include "platform/resources.h"

#include <dlfcn.h>
#include <link.h>
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <string>

#include "modules.h"
#include "platform/codepages.h"
#include "platform/library.h"
#include "platform/resource_table.h"

namespace {

using platform::res::Blob;
using platform::res::String;
using platform::res::Table;

struct ModuleTables {
  bool validModule = false;
  std::span<const Table* const> tables;
};

using LookupFunction = const Table* const* (*)(std::size_t*);

// Every module that carries resources exports kvb_module_resources(); the program does too
// (target_resources exports it). dlsym may find the function in a library the module depends
// on, so it counts only when it lies in the module itself.
ModuleTables TablesOf(HMODULE module) {
  const HMODULE program = GetModuleHandleA(nullptr);
  if (module == nullptr) module = program;
  if (module != program && !platform::detail::IsLoadedModule(module)) return {};
  void* symbol = dlsym(module, "kvb_module_resources");
  if (symbol == nullptr) return {true, {}};
  link_map* mine = nullptr;
  link_map* owner = nullptr;
  Dl_info info;
  if (dlinfo(module, RTLD_DI_LINKMAP, &mine) != 0 ||
      dladdr1(symbol, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) == 0 ||
      owner != mine) {
    return {true, {}};
  }
  std::size_t count = 0;
  const Table* const* first = reinterpret_cast<LookupFunction>(symbol)(&count);
  if (first == nullptr) return {true, {}};
  return {true, {first, count}};
}

bool Usable(const Table* table) {
  return table != nullptr && table->magic == platform::res::kTableMagic;
}

// The module's string `id`, or nullptr (GetLastError set).
const String* FindString(HMODULE module, UINT id) {
  ModuleTables found = TablesOf(module);
  if (!found.validModule) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  bool any = false;
  for (const Table* table : found.tables) {
    if (!Usable(table)) continue;
    any = true;
    const String* first = table->strings;
    const String* last = first + table->stringCount;
    const String* it = std::lower_bound(
        first, last, id, [](const String& entry, UINT value) { return entry.id < value; });
    if (it != last && it->id == id) return it;
  }
  SetLastError(any ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_DATA_NOT_FOUND);
  return nullptr;
}

bool IsIntResource(const char* name) {
  return reinterpret_cast<std::uintptr_t>(name) < 0x10000;
}

bool IsBlobOf(HMODULE module, const Blob* blob) {
  for (const Table* table : TablesOf(module).tables) {
    if (Usable(table) && blob >= table->blobs && blob < table->blobs + table->blobCount)
      return true;
  }
  return false;
}

const Blob* CheckedBlob(HMODULE module, HRSRC resource) {
  const auto* blob = reinterpret_cast<const Blob*>(resource);
  if (blob && (IsBlobOf(module, blob) || IsBlobOf(nullptr, blob))) return blob;
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

// ANSI text cut to at most `limit` bytes without splitting a double-byte character.
std::size_t CutAnsi(const std::string& text, std::size_t limit) {
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t length = platform::AnsiCharSize(text, i);
    if (i + length > limit) break;
    i += length;
  }
  return i;
}

}  // namespace

HRSRC FindResourceA(HMODULE module, const char* name, const char* type) {
  ModuleTables found = TablesOf(module);
  if (!found.validModule) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (name == nullptr || type == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  bool any = false;
  for (const Table* table : found.tables) any = any || Usable(table);
  if (!any) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  bool rcdata = IsIntResource(type) ? reinterpret_cast<std::uintptr_t>(type) == RT_RCDATA_ID
                                    : std::strcmp(type, "#10") == 0;
  if (!rcdata) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
  }
  // A numbered resource is stored under the name "#<number>", as resource scripts write it.
  std::string wanted = IsIntResource(name)
                           ? "#" + std::to_string(reinterpret_cast<std::uintptr_t>(name))
                           : std::string(name);
  for (const Table* table : found.tables) {
    if (!Usable(table)) continue;
    for (std::uint32_t i = 0; i < table->blobCount; ++i) {
      const Blob& blob = table->blobs[i];
      if (blob.name && strcasecmp(blob.name, wanted.c_str()) == 0) {
        return reinterpret_cast<HRSRC>(const_cast<Blob*>(&blob));
      }
    }
  }
  SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  return nullptr;
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
  const Blob* blob = CheckedBlob(module, resource);
  if (!blob) return nullptr;
  return const_cast<unsigned char*>(blob->data);
}

void* LockResource(HGLOBAL data) {
  return data;
}

DWORD SizeofResource(HMODULE module, HRSRC resource) {
  const Blob* blob = CheckedBlob(module, resource);
  return blob ? blob->size : 0;
}

BOOL FreeResource(HGLOBAL) {
  return FALSE;
}  // resources live as long as their module

int LoadStringA(HINSTANCE instance, UINT id, char* buffer, int bufferSize) {
  if (buffer == nullptr || bufferSize < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const String* entry = FindString(instance, id);
  if (entry == nullptr) {
    if (bufferSize > 0) buffer[0] = '\0';
    return 0;
  }
  if (bufferSize == 0) {
    const WCHAR* text = entry->text;
    std::memcpy(buffer, &text, sizeof text);
    SetLastError(ERROR_SUCCESS);
    return static_cast<int>(entry->length);
  }
  std::string text = platform::FromUtf16(std::u16string(entry->text, entry->length), CP_ACP);
  std::size_t length = CutAnsi(text, static_cast<std::size_t>(bufferSize) - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
  // An existing empty string also gives 0; the cleared error tells it from a missing one.
  SetLastError(ERROR_SUCCESS);
  return static_cast<int>(length);
}

namespace platform {

std::string LoadResString(HINSTANCE instance, UINT id) {
  const String* entry = FindString(instance, id);
  if (entry == nullptr) return {};
  SetLastError(ERROR_SUCCESS);
  return FromUtf16(std::u16string(entry->text, entry->length), CP_ACP);
}

}  // namespace platform
