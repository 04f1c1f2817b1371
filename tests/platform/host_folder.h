// A fresh host folder per test, with the current directory and the drive mapping restored
// afterwards, so that tests of the file pieces never see each other's files.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/files.h"

namespace testsupport {

class HostFolder {
 public:
  HostFolder() {
    char pattern[] = "/tmp/kvb-platform-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) std::abort();
    path_ = made;
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd)) savedCwd_ = cwd;
    savedDriveC_ = platform::GetDriveFolder('C');
    savedDriveD_ = platform::GetDriveFolder('D');
  }
  ~HostFolder() {
    if (!savedCwd_.empty() && chdir(savedCwd_.c_str()) != 0) std::abort();
    platform::SetDriveFolder('C', savedDriveC_);
    platform::SetDriveFolder('D', savedDriveD_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  HostFolder(const HostFolder&) = delete;
  HostFolder& operator=(const HostFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
  std::string savedCwd_;
  std::string savedDriveC_;
  std::string savedDriveD_;
};

inline void WriteHostFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

inline std::string ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool HostExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

}  // namespace testsupport
