// TTextFile: line-oriented text files that report errors as numbers.

#include "platform/files.h"
#include "platform/sysutils.h"

namespace platform {
namespace {

constexpr int kNotOpen = 103;
constexpr int kNotOpenForInput = 104;
constexpr int kNotOpenForOutput = 105;
constexpr int kDiskFull = 101;
constexpr std::size_t kBufferSize = 4096;

int FileError() {
  DWORD error = GetLastError();
  // A full disk is the runtime's own error 101, as a short write of a text file gives it.
  return error == ERROR_DISK_FULL ? kDiskFull : static_cast<int>(error);
}

}  // namespace

TTextFile::~TTextFile() {
  if (IsOpen()) Close();
}

int TTextFile::Open(const std::string& fileName, DWORD access, DWORD share, DWORD creation,
                    bool output) {
  if (IsOpen()) Close();
  HANDLE handle = CreateFileA(fileName.c_str(), access, share, nullptr, creation,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return FileError();
  FHandle = handle;
  FOutput = output;
  FWriteBuffer.clear();
  FReadBuffer.clear();
  FReadPos = 0;
  FReadEof = false;
  return 0;
}

int TTextFile::Append(const std::string& fileName) {
  int error = Open(fileName, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, true);
  if (error) return error;
  LONG high = 0;
  if (SetFilePointer(FHandle, 0, &high, FILE_END) == INVALID_SET_FILE_POINTER &&
      GetLastError() != ERROR_SUCCESS) {
    error = FileError();
    Close();
    return error;
  }
  return 0;
}

int TTextFile::Rewrite(const std::string& fileName) {
  return Open(fileName, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS, true);
}

int TTextFile::Reset(const std::string& fileName) {
  return Open(fileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, false);
}

int TTextFile::Flush() {
  if (FWriteBuffer.empty()) return 0;
  DWORD written = 0;
  BOOL ok = WriteFile(FHandle, FWriteBuffer.data(), static_cast<DWORD>(FWriteBuffer.size()),
                      &written, nullptr);
  FWriteBuffer.clear();
  return ok ? 0 : FileError();
}

int TTextFile::Write(const std::string& text) {
  if (!IsOpen()) return kNotOpen;
  if (!FOutput) return kNotOpenForOutput;
  FWriteBuffer += text;
  return FWriteBuffer.size() >= kBufferSize ? Flush() : 0;
}

int TTextFile::WriteLn(const std::string& text) {
  return Write(text + "\r\n");
}

int TTextFile::ReadLn(std::string& line, bool& eof) {
  line.clear();
  eof = false;
  if (!IsOpen()) return kNotOpen;
  if (FOutput) return kNotOpenForInput;
  bool any = false;
  while (true) {
    if (FReadPos == FReadBuffer.size()) {
      if (FReadEof) break;
      FReadBuffer.resize(kBufferSize);
      DWORD got = 0;
      if (!ReadFile(FHandle, FReadBuffer.data(), kBufferSize, &got, nullptr)) {
        FReadBuffer.clear();
        FReadPos = 0;
        return FileError();
      }
      FReadBuffer.resize(got);
      FReadPos = 0;
      if (got == 0) {
        FReadEof = true;
        break;
      }
    }
    char c = FReadBuffer[FReadPos++];
    any = true;
    if (c == '\n') return 0;
    if (c == '\r') {
      // CR LF is one line end; the LF may be in the next block.
      if (FReadPos == FReadBuffer.size() && !FReadEof) {
        FReadBuffer.resize(kBufferSize);
        DWORD got = 0;
        if (!ReadFile(FHandle, FReadBuffer.data(), kBufferSize, &got, nullptr)) got = 0;
        FReadBuffer.resize(got);
        FReadPos = 0;
        if (got == 0) FReadEof = true;
      }
      if (FReadPos < FReadBuffer.size() && FReadBuffer[FReadPos] == '\n') ++FReadPos;
      return 0;
    }
    line += c;
  }
  eof = !any;
  return 0;
}

int TTextFile::Close() {
  if (!IsOpen()) return kNotOpen;
  int error = FOutput ? Flush() : 0;
  if (!CloseHandle(FHandle) && error == 0) error = FileError();
  FHandle = INVALID_HANDLE_VALUE;
  FOutput = false;
  FReadBuffer.clear();
  FReadPos = 0;
  FReadEof = false;
  return error;
}

}  // namespace platform
