// TFileStream over CreateFileA handles.

#include <algorithm>

#include "platform/files.h"
#include "platform/system.h"
#include "platform/sysutils.h"

namespace platform {
namespace {

DWORD ShareFor(WORD mode) {
  switch (mode & 0xF0) {
    case fmShareDenyWrite:
      return FILE_SHARE_READ;
    case fmShareDenyRead:
      return FILE_SHARE_WRITE;
    case fmShareDenyNone:
      return FILE_SHARE_READ | FILE_SHARE_WRITE;
    default:
      return 0;  // exclusive, and the old compatibility mode
  }
}

std::string ErrorText(const char* what, const std::string& fileName, DWORD error) {
  return std::string(what) + " \"" + fileName + "\". " + SysErrorMessage(error);
}

constexpr std::int64_t kChunk = 1 << 30;  // ReadFile and WriteFile take 32-bit counts

}  // namespace

TFileStream::TFileStream(const std::string& fileName, WORD mode) : FFileName(fileName) {
  if (mode == fmCreate) {
    FHandle = CreateFileA(fileName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (FHandle == INVALID_HANDLE_VALUE) {
      DWORD error = GetLastError();
      throw EFCreateError(ErrorText("Cannot create file", fileName, error), error);
    }
    return;
  }
  DWORD access;
  switch (mode & 0x3) {
    case fmOpenRead:
      access = GENERIC_READ;
      break;
    case fmOpenWrite:
      access = GENERIC_WRITE;
      break;
    case fmOpenReadWrite:
      access = GENERIC_READ | GENERIC_WRITE;
      break;
    default:
      throw EFOpenError(ErrorText("Cannot open file", fileName, ERROR_INVALID_PARAMETER),
                        ERROR_INVALID_PARAMETER);
  }
  FHandle = CreateFileA(fileName.c_str(), access, ShareFor(mode), nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  if (FHandle == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    throw EFOpenError(ErrorText("Cannot open file", fileName, error), error);
  }
}

TFileStream::~TFileStream() {
  if (FHandle != INVALID_HANDLE_VALUE) CloseHandle(FHandle);
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
  std::int64_t total = 0;
  while (total < count) {
    DWORD part = static_cast<DWORD>(std::min(count - total, kChunk));
    DWORD done = 0;
    if (!ReadFile(FHandle, static_cast<char*>(buffer) + total, part, &done, nullptr)) {
      return total > 0 ? total : -1;
    }
    total += done;
    if (done < part) break;  // end of file
  }
  return total;
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
  std::int64_t total = 0;
  while (total < count) {
    DWORD part = static_cast<DWORD>(std::min(count - total, kChunk));
    DWORD done = 0;
    BOOL ok = WriteFile(FHandle, static_cast<const char*>(buffer) + total, part, &done, nullptr);
    total += done;
    if (!ok || done < part) return total > 0 ? total : -1;
  }
  return total;
}

void TFileStream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count > 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  LONG high = static_cast<LONG>(offset >> 32);
  DWORD method = origin == soBeginning ? FILE_BEGIN : origin == soCurrent ? FILE_CURRENT : FILE_END;
  DWORD low = SetFilePointer(FHandle, static_cast<LONG>(offset & 0xFFFFFFFF), &high, method);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS) return -1;
  return (static_cast<std::int64_t>(high) << 32) | low;
}

std::int64_t TFileStream::Position() {
  return Seek(0, soCurrent);
}

std::int64_t TFileStream::Size() {
  DWORD high = 0;
  DWORD low = GetFileSize(FHandle, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) return -1;
  return (static_cast<std::int64_t>(high) << 32) | low;
}

// As the runtime: the position ends at the new size.
void TFileStream::SetSize(std::int64_t size) {
  if (Seek(size, soBeginning) < 0 || !SetEndOfFile(FHandle)) {
    throw EStreamError(SysErrorMessage(GetLastError()));
  }
}

}  // namespace platform
