// The runtime's common pieces the layers above share: the standard exception classes,
// date and time values with their formats, file helpers, file streams and text files.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "platform/wintypes.h"

namespace platform {

// The standard exception class: every exception of the system carries a message.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  const std::string& Message() const { return FMessage; }
  void SetMessage(std::string message) { FMessage = std::move(message); }
  const char* what() const noexcept override { return FMessage.c_str(); }

 private:
  std::string FMessage;
};

// The runtime's input/output error: ErrorCode is the I/O or Windows error number.
class EInOutError : public Exception {
 public:
  EInOutError(std::string message, int errorCode)
      : Exception(std::move(message)), ErrorCode(errorCode) {}
  int ErrorCode;
};

// Bad arguments to the date and time encoders.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

class EOutOfMemory : public Exception {
 public:
  EOutOfMemory() : Exception("Out of memory") {}
};

class EStreamError : public Exception {
 public:
  using Exception::Exception;
};
class EFCreateError : public EStreamError {
 public:
  EFCreateError(std::string message, DWORD errorCode)
      : EStreamError(std::move(message)), ErrorCode(errorCode) {}
  DWORD ErrorCode;
};
class EFOpenError : public EStreamError {
 public:
  EFOpenError(std::string message, DWORD errorCode)
      : EStreamError(std::move(message)), ErrorCode(errorCode) {}
  DWORD ErrorCode;
};
class EWriteError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EReadError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

// Text of a runtime I/O error number ("File not found" for 2, "File access denied" for 5 ...).
std::string InOutErrorText(int code);
[[noreturn]] void RaiseInOutError(int code);

// Date and time: days since 1899-12-30 with the time of day as the fraction (local time).
using TDateTime = double;
TDateTime Now();
TDateTime Date();  // today at midnight
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int ms);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& ms);
TDateTime UnixToDateTime(std::int64_t seconds);  // to local time
std::int64_t DateTimeToUnix(TDateTime value);    // from local time

// The process's formats, as the runtime's globals. Patterns use the runtime's letters:
// yyyy yy m mm mmm mmmm d dd ddd dddd h hh n nn s ss z zzz am/pm, "/" = DateSeparator,
// ":" = TimeSeparator, quoted text kept. "c" = short date then long time (time omitted at
// exactly midnight).
struct TFormatSettings {
  char DateSeparator = '/';
  char TimeSeparator = ':';
  std::string ShortDateFormat = "m/d/yyyy";
  std::string LongDateFormat = "dddd, mmmm d, yyyy";
  std::string ShortTimeFormat = "h:mm AMPM";
  std::string LongTimeFormat = "h:mm:ss AMPM";
};
TFormatSettings& FormatSettings();
std::string FormatDateTime(const std::string& pattern, TDateTime value);
std::string DateToStr(TDateTime value);
std::string TimeToStr(TDateTime value);
std::string DateTimeToStr(TDateTime value);

// File helpers on Windows-style paths (see files.h).
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
bool ForceDirectories(const std::string& path);
bool DeleteFileAt(const std::string& path);
bool RenameFileReplacing(const std::string& from, const std::string& to);
// Last-write time as local date-time; false when the file does not exist.
bool FileAge(const std::string& path, TDateTime& value);
bool SetFileAge(const std::string& path, TDateTime value);
std::string GetCurrentDir();
// Sets the current directory; false (GetLastError set) on failure.
bool SetCurrentDir(const std::string& path);
std::string ExtractFilePath(const std::string& path);  // with trailing separator
std::string ExtractFileName(const std::string& path);
std::string IncludeTrailingPathDelimiter(const std::string& path);

// File stream over CreateFileA handles.
enum : WORD {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFFFF,
};
enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TFileStream {
 public:
  // Raises EFCreateError ("Cannot create file \"name\". <system text>") or EFOpenError
  // ("Cannot open file \"name\". <system text>").
  TFileStream(const std::string& fileName, WORD mode);
  ~TFileStream();
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  std::int64_t Read(void* buffer, std::int64_t count);
  std::int64_t Write(const void* buffer, std::int64_t count);
  // Writes all or raises EWriteError.
  void WriteBuffer(const void* buffer, std::int64_t count);
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin);
  std::int64_t Position();
  std::int64_t Size();
  void SetSize(std::int64_t size);
  const std::string& FileName() const { return FFileName; }

 private:
  std::string FFileName;
  HANDLE FHandle = INVALID_HANDLE_VALUE;
};

// A text file written line by line, as the runtime's text files: each operation returns the
// Windows error number (0 on success) instead of raising, so callers choose what to raise.
class TTextFile {
 public:
  TTextFile() = default;
  ~TTextFile();
  TTextFile(const TTextFile&) = delete;
  TTextFile& operator=(const TTextFile&) = delete;
  int Append(const std::string& fileName);   // existing file only, position at end
  int Rewrite(const std::string& fileName);  // create or truncate
  int Reset(const std::string& fileName);    // open for reading
  int Write(const std::string& text);
  int WriteLn(const std::string& text);  // text + CR LF
  // The next line without its line end (CR LF, LF or a lone CR); eof is true, with an empty
  // line, once nothing is left. A last line without a line end is still a line.
  int ReadLn(std::string& line, bool& eof);
  int Close();
  bool IsOpen() const { return FHandle != INVALID_HANDLE_VALUE; }

 private:
  int Open(const std::string& fileName, DWORD access, DWORD share, DWORD creation, bool output);
  int Flush();

  HANDLE FHandle = INVALID_HANDLE_VALUE;
  bool FOutput = false;
  std::string FWriteBuffer;
  std::string FReadBuffer;
  std::size_t FReadPos = 0;
  bool FReadEof = false;
};

}  // namespace platform
