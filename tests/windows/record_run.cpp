// A stand-in installer for the Windows program's tests and demo: records that it ran, and in
// which folder, in "installer-ran.txt" beside itself.

#include <windows.h>

#include <string>

int main() {
  char folder[MAX_PATH];
  DWORD folderLength = GetCurrentDirectoryA(sizeof folder, folder);
  char self[MAX_PATH];
  DWORD selfLength = GetModuleFileNameA(nullptr, self, sizeof self);
  std::string path(self, selfLength);
  path = path.substr(0, path.find_last_of("\\/") + 1) + "installer-ran.txt";
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, folder, folderLength, &written, nullptr);
  CloseHandle(file);
  return 0;
}
