// Dynamic libraries over dlopen, with the Windows search order of the program's own folder first.

#include "platform/library.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "modules.h"
#include "platform/files.h"

namespace {

std::mutex moduleMutex;
std::map<void*, int>& LoadCounts() {
  static auto* counts = new std::map<void*, int>;
  return *counts;
}

HMODULE ProgramHandle() {
  static void* const handle = dlopen(nullptr, RTLD_NOW);
  return static_cast<HMODULE>(handle);
}

bool IsProgram(HMODULE module) {
  return module == nullptr || module == ProgramHandle();
}

bool EndsWithNoCase(const std::string& text, const char* suffix) {
  std::size_t n = std::strlen(suffix);
  return text.size() >= n && strcasecmp(text.c_str() + text.size() - n, suffix) == 0;
}

bool IsPath(const std::string& name) {
  return name.find_first_of("/\\:") != std::string::npos;
}

// "WSOCK32", "wsock32.dll" -> libwsock32.so; the name's own letter case is tried second,
// because Linux file names are case-sensitive and Windows names are not.
std::vector<std::string> FileNamesFor(std::string name) {
  if (EndsWithNoCase(name, ".dll")) name.resize(name.size() - 4);
  std::string lower = name;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::vector<std::string> names{"lib" + lower + ".so"};
  if (lower != name) names.push_back("lib" + name + ".so");
  return names;
}

bool IsFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

HMODULE Remember(void* handle) {
  std::lock_guard lock(moduleMutex);
  ++LoadCounts()[handle];
  return static_cast<HMODULE>(handle);
}

}  // namespace

namespace platform::detail {
bool IsLoadedModule(HMODULE module) {
  std::lock_guard lock(moduleMutex);
  return LoadCounts().count(module) > 0;
}
}  // namespace platform::detail

HMODULE LoadLibraryA(const char* name) {
  if (name == nullptr || *name == '\0') {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  const int mode = RTLD_NOW | RTLD_LOCAL;
  std::string text = name;
  if (IsPath(text)) {
    std::string host = platform::ToHostPath(text);
    if (host.empty() || !IsFile(host)) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
    void* handle = dlopen(host.c_str(), mode);
    if (!handle) {
      SetLastError(ERROR_BAD_EXE_FORMAT);
      return nullptr;
    }
    return Remember(handle);
  }
  const std::vector<std::string> names = FileNamesFor(text);
  // The program's folder first: a library shipped beside the program wins over the system's.
  for (const auto& file : names) {
    std::string path = platform::ProgramFolder() + file;
    if (!IsFile(path)) continue;
    void* handle = dlopen(path.c_str(), mode);
    if (!handle) {
      SetLastError(ERROR_BAD_EXE_FORMAT);
      return nullptr;
    }
    return Remember(handle);
  }
  for (const auto& file : names) {
    if (void* handle = dlopen(file.c_str(), mode)) return Remember(handle);
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

FARPROC GetProcAddress(HMODULE module, const char* procName) {
  if (!IsProgram(module) && !platform::detail::IsLoadedModule(module)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (procName == nullptr || reinterpret_cast<std::uintptr_t>(procName) < 0x10000) {
    SetLastError(ERROR_PROC_NOT_FOUND);  // no export ordinals here
    return nullptr;
  }
  // dlsym also searches the libraries the module depends on; only the module's own exports
  // count, or a binding that lacks "send" would silently get the C library's.
  void* handle = IsProgram(module) ? ProgramHandle() : module;
  void* symbol = dlsym(handle, procName);
  link_map* mine = nullptr;
  link_map* owner = nullptr;
  Dl_info info;
  if (symbol == nullptr || dlinfo(handle, RTLD_DI_LINKMAP, &mine) != 0 ||
      dladdr1(symbol, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) == 0 ||
      owner != mine) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE module) {
  if (IsProgram(module)) return TRUE;
  {
    std::lock_guard lock(moduleMutex);
    auto it = LoadCounts().find(module);
    if (it == LoadCounts().end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    if (--it->second == 0) LoadCounts().erase(it);
  }
  dlclose(module);
  return TRUE;
}

HMODULE GetModuleHandleA(const char* name) {
  if (name == nullptr) return ProgramHandle();
  std::string text = name;
  std::vector<std::string> candidates;
  if (IsPath(text)) {
    candidates.push_back(platform::ToHostPath(text));
  } else {
    for (const auto& file : FileNamesFor(text)) {
      candidates.push_back(platform::ProgramFolder() + file);
      candidates.push_back(file);
    }
  }
  for (const auto& candidate : candidates) {
    if (candidate.empty()) continue;
    void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle) continue;
    dlclose(handle);  // RTLD_NOLOAD counted it up
    if (platform::detail::IsLoadedModule(static_cast<HMODULE>(handle)))
      return static_cast<HMODULE>(handle);
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size) {
  std::string path;
  if (IsProgram(module)) {
    char target[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", target, sizeof target - 1);
    if (n <= 0) {
      SetLastError(ERROR_GEN_FAILURE);
      return 0;
    }
    path.assign(target, static_cast<std::size_t>(n));
  } else {
    link_map* map = nullptr;
    if (!platform::detail::IsLoadedModule(module) || dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 ||
        map == nullptr) {
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
    }
    path = map->l_name;
    char resolved[PATH_MAX];
    if (!path.empty() && path[0] != '/' && realpath(path.c_str(), resolved)) path = resolved;
  }
  if (buffer == nullptr || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (path.size() >= size) {
    // As Windows: the text is cut, terminated, and the full size is returned.
    std::memcpy(buffer, path.data(), size - 1);
    buffer[size - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(path.size());
}
