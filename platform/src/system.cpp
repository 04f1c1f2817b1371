// System message texts, the OS version and critical sections.

#include "platform/system.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct SystemMessage {
  DWORD id;
  const char* text;  // without the line end that every system text carries
};

// English texts of the Windows and Winsock errors this program can meet, as Windows gives them.
// Sorted by number.
constexpr SystemMessage kMessages[] = {
    {0, "The operation completed successfully."},
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {7, "The storage control blocks were destroyed."},
    {8, "Not enough storage is available to process this command."},
    {9, "The storage control block address is invalid."},
    {10, "The environment is incorrect."},
    {11, "An attempt was made to load a program with an incorrect format."},
    {12, "The access code is invalid."},
    {13, "The data is invalid."},
    {14, "Not enough storage is available to complete this operation."},
    {15, "The system cannot find the drive specified."},
    {16, "The directory cannot be removed."},
    {17, "The system cannot move the file to a different disk drive."},
    {18, "There are no more files."},
    {19, "The media is write protected."},
    {20, "The system cannot find the device specified."},
    {21, "The device is not ready."},
    {22, "The device does not recognize the command."},
    {23, "Data error (cyclic redundancy check)."},
    {24, "The program issued a command but the command length is incorrect."},
    {25, "The drive cannot locate a specific area or track on the disk."},
    {26, "The specified disk or diskette cannot be accessed."},
    {27, "The drive cannot find the sector requested."},
    {28, "The printer is out of paper."},
    {29, "The system cannot write to the specified device."},
    {30, "The system cannot read from the specified device."},
    {31, "A device attached to the system is not functioning."},
    {32, "The process cannot access the file because it is being used by another process."},
    {33,
     "The process cannot access the file because another process has locked a portion of the "
     "file."},
    {36, "Too many files opened for sharing."},
    {38, "Reached the end of the file."},
    {39, "The disk is full."},
    {50, "The request is not supported."},
    {53, "The network path was not found."},
    {80, "The file exists."},
    {82, "The directory or file cannot be created."},
    {87, "The parameter is incorrect."},
    {109, "The pipe has been ended."},
    {110, "The system cannot open the device or file specified."},
    {111, "The file name is too long."},
    {112, "There is not enough space on the disk."},
    {120, "This function is not supported on this system."},
    {122, "The data area passed to a system call is too small."},
    {123, "The filename, directory name, or volume label syntax is incorrect."},
    {126, "The specified module could not be found."},
    {127, "The specified procedure could not be found."},
    {131, "An attempt was made to move the file pointer before the beginning of the file."},
    {145, "The directory is not empty."},
    {161, "The specified path is invalid."},
    {170, "The requested resource is in use."},
    {183, "Cannot create a file when that file already exists."},
    {193, "%1 is not a valid Win32 application."},
    {206, "The filename or extension is too long."},
    {267, "The directory name is invalid."},
    {317,
     "The system cannot find message text for message number 0x%1 in the message file for %2."},
    {995,
     "The I/O operation has been aborted because of either a thread exit or an application "
     "request."},
    {997, "Overlapped I/O operation is in progress."},
    {998, "Invalid access to memory location."},
    {1113, "No mapping for the Unicode character exists in the target multi-byte code page."},
    {1400, "Invalid window handle."},
    {1407, "Cannot find window class."},
    {1410, "Class already exists."},
    {1411, "Class does not exist."},
    {1412, "Class still has open windows."},
    {1413, "Invalid index."},
    {1460, "This operation returned because the timeout period expired."},
    {1812, "The specified image file did not contain a resource section."},
    {1813, "The specified resource type cannot be found in the image file."},
    {1814, "The specified resource name cannot be found in the image file."},
    {10004, "A blocking operation was interrupted by a call to WSACancelBlockingCall."},
    {10009, "The file handle supplied is not valid."},
    {10013, "An attempt was made to access a socket in a way forbidden by its access permissions."},
    {10014,
     "The system detected an invalid pointer address in attempting to use a pointer argument in "
     "a call."},
    {10022, "An invalid argument was supplied."},
    {10024, "Too many open sockets."},
    {10035, "A non-blocking socket operation could not be completed immediately."},
    {10036, "A blocking operation is currently executing."},
    {10037,
     "An operation was attempted on a non-blocking socket that already had an operation in "
     "progress."},
    {10038, "An operation was attempted on something that is not a socket."},
    {10039, "A required address was omitted from an operation on a socket."},
    {10040,
     "A message sent on a datagram socket was larger than the internal message buffer or some "
     "other network limit, or the buffer used to receive a datagram into was smaller than the "
     "datagram itself."},
    {10041,
     "A protocol was specified in the socket function call that does not support the semantics "
     "of the socket type requested."},
    {10042,
     "An unknown, invalid, or unsupported option or level was specified in a getsockopt or "
     "setsockopt call."},
    {10043,
     "The requested protocol has not been configured into the system, or no implementation for "
     "it exists."},
    {10044, "The support for the specified socket type does not exist in this address family."},
    {10045, "The attempted operation is not supported for the type of object referenced."},
    {10046,
     "The protocol family has not been configured into the system or no implementation for it "
     "exists."},
    {10047, "An address incompatible with the requested protocol was used."},
    {10048,
     "Only one usage of each socket address (protocol/network address/port) is normally "
     "permitted."},
    {10049, "The requested address is not valid in its context."},
    {10050, "A socket operation encountered a dead network."},
    {10051, "A socket operation was attempted to an unreachable network."},
    {10052,
     "The connection has been broken due to keep-alive activity detecting a failure while the "
     "operation was in progress."},
    {10053, "An established connection was aborted by the software in your host machine."},
    {10054, "An existing connection was forcibly closed by the remote host."},
    {10055,
     "An operation on a socket could not be performed because the system lacked sufficient "
     "buffer space or because a queue was full."},
    {10056, "A connect request was made on an already connected socket."},
    {10057,
     "A request to send or receive data was disallowed because the socket is not connected and "
     "(when sending on a datagram socket using a sendto call) no address was supplied."},
    {10058,
     "A request to send or receive data was disallowed because the socket had already been shut "
     "down in that direction with a previous shutdown call."},
    {10059, "Too many references to some kernel object."},
    {10060,
     "A connection attempt failed because the connected party did not properly respond after a "
     "period of time, or established connection failed because connected host has failed to "
     "respond."},
    {10061, "No connection could be made because the target machine actively refused it."},
    {10062, "Cannot translate name."},
    {10063, "Name component or name was too long."},
    {10064, "A socket operation failed because the destination host was down."},
    {10065, "A socket operation was attempted to an unreachable host."},
    {10066, "Cannot remove a directory that is not empty."},
    {10067,
     "A Windows Sockets implementation may have a limit on the number of applications that may "
     "use it simultaneously."},
    {10068, "Ran out of quota."},
    {10069, "Ran out of disk quota."},
    {10070, "File handle reference is no longer available."},
    {10071, "Item is not available locally."},
    {10091,
     "WSAStartup cannot function at this time because the underlying system it uses to provide "
     "network services is currently unavailable."},
    {10092, "The Windows Sockets version requested is not supported."},
    {10093, "Either the application has not called WSAStartup, or WSAStartup failed."},
    {10101,
     "Returned by WSARecv or WSARecvFrom to indicate the remote party has initiated a graceful "
     "shutdown sequence."},
    {10102, "No more results can be returned by WSALookupServiceNext."},
    {10103,
     "A call to WSALookupServiceEnd was made while this call was still processing. The call has "
     "been canceled."},
    {10104, "The procedure call table is invalid."},
    {10105, "The requested service provider is invalid."},
    {10106, "The requested service provider could not be loaded or initialized."},
    {10107, "A system call that should never fail has failed."},
    {10108, "No such service is known. The service cannot be found in the specified name space."},
    {10109, "The specified class was not found."},
    {10110, "No more results can be returned by WSALookupServiceNext."},
    {10111,
     "A call to WSALookupServiceEnd was made while this call was still processing. The call has "
     "been canceled."},
    {10112, "A database query failed because it was actively refused."},
    {11001, "No such host is known."},
    {11002,
     "This is usually a temporary error during hostname resolution and means that the local "
     "server did not receive a response from an authoritative server."},
    {11003, "A non-recoverable error occurred during a database lookup."},
    {11004, "The requested name is valid, but no data of the requested type was found."},
};

const char* FindMessage(DWORD id) {
  const SystemMessage* end = std::end(kMessages);
  const SystemMessage* it = std::lower_bound(
      std::begin(kMessages), end, id,
      [](const SystemMessage& message, DWORD value) { return message.id < value; });
  return it != end && it->id == id ? it->text : nullptr;
}

// Inserts %1..%99 from an array of texts; "%%" is a percent sign, "%n" a hard line end.
bool ExpandInserts(const std::string& text, const char* const* arguments, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    char next = text[i + 1];
    if (next >= '1' && next <= '9') {
      int number = next - '0';
      ++i;
      if (i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9') {
        number = number * 10 + (text[++i] - '0');
      }
      if (arguments == nullptr) return false;
      const char* value = arguments[number - 1];
      out += value ? value : "";
    } else if (next == 'n') {
      out += "\r\n", ++i;
    } else {
      out += next, ++i;
    }
  }
  return true;
}

bool HasInserts(const std::string& text) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == '%' && text[i + 1] >= '1' && text[i + 1] <= '9') return true;
  }
  return false;
}

}  // namespace

DWORD FormatMessageA(DWORD flags, const void*, DWORD messageId, DWORD, char* buffer, DWORD size,
                     void* arguments) {
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || buffer == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const char* found = FindMessage(messageId);
  if (found == nullptr) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  std::string text = found;
  if (!(flags & FORMAT_MESSAGE_IGNORE_INSERTS) && HasInserts(text)) {
    // Only an array of texts can be read safely; anything else would read through a pointer
    // of unknown shape.
    std::string expanded;
    if (!(flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) ||
        !ExpandInserts(text, static_cast<const char* const*>(arguments), expanded)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    text = expanded;
  }
  // With a maximum width the text's own line end is dropped and becomes a blank; otherwise
  // the text ends in CR LF, as Windows stores it.
  DWORD width = flags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
  if (width == FORMAT_MESSAGE_MAX_WIDTH_MASK) {
    text += ' ';
  } else if (width != 0) {
    std::string wrapped;
    std::size_t column = 0, start = 0;
    while (start < text.size()) {
      std::size_t end = text.find(' ', start);
      if (end == std::string::npos) end = text.size();
      std::string word = text.substr(start, end - start);
      if (column > 0 && column + 1 + word.size() > width) {
        wrapped += "\r\n";
        column = 0;
      } else if (column > 0) {
        wrapped += ' ', ++column;
      }
      wrapped += word;
      column += word.size();
      start = end + 1;
    }
    text = wrapped + "\r\n";
  } else {
    text += "\r\n";
  }
  if (text.size() + 1 > size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

BOOL GetVersionExA(OSVERSIONINFOA* info) {
  if (info == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  // Windows XP, which the program was made for.
  info->dwMajorVersion = 5;
  info->dwMinorVersion = 1;
  info->dwBuildNumber = 2600;
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  std::snprintf(info->szCSDVersion, sizeof info->szCSDVersion, "%s", "Service Pack 3");
  return TRUE;
}

namespace {
std::recursive_mutex& Checked(CRITICAL_SECTION* section) {
  if (section == nullptr || section->mutex == nullptr) {
    // Using a section that was never initialised (or already deleted) is a programming
    // error that would otherwise corrupt memory somewhere later.
    std::fprintf(stderr, "critical section used without InitializeCriticalSection\n");
    std::abort();
  }
  return *section->mutex;
}
}  // namespace

void InitializeCriticalSection(CRITICAL_SECTION* section) {
  if (section) section->mutex = new std::recursive_mutex;
}

void DeleteCriticalSection(CRITICAL_SECTION* section) {
  if (!section) return;
  delete section->mutex;
  section->mutex = nullptr;
}

void EnterCriticalSection(CRITICAL_SECTION* section) {
  Checked(section).lock();
}

BOOL TryEnterCriticalSection(CRITICAL_SECTION* section) {
  return Checked(section).try_lock() ? TRUE : FALSE;
}

void LeaveCriticalSection(CRITICAL_SECTION* section) {
  Checked(section).unlock();
}

namespace platform {

std::string SysErrorMessage(DWORD code) {
  const char* found = FindMessage(code);
  if (found == nullptr) return {};
  std::string text = found;
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
    text.pop_back();
  return text;
}

}  // namespace platform
