// Helpers shared by the platform's file, program and library pieces.
#pragma once

#include <string>

#include "platform/wintypes.h"

namespace platform::detail {

bool IsDirectory(const std::string& hostPath);
// Folder part of a host path ("." for a bare name).
std::string ParentOf(const std::string& hostPath);
// errno of an operation on `hostPath` as a Windows error: a missing file in an existing folder
// is 2 (file not found), in a missing folder 3 (path not found).
DWORD PathError(int err, const std::string& hostPath);
void SetPathError(int err, const std::string& hostPath);
// Whether a handle of this process has the file open for writing.
bool HeldForWriting(const std::string& hostPath);

}  // namespace platform::detail
