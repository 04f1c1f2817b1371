// The trace of bytes read and written, the dispatch log, and their text files.

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "dispatch/dispatcher.h"
#include "errors/codes.h"
#include "errors/string_resource.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/sysutils.h"

namespace {

constexpr int MaxColumn = 78;
constexpr int LogDataIndent = 44;

// Message-table numbers of the log's texts.
constexpr int LogTypeText = 15001;
constexpr int LogSubTypeText = 15100;
constexpr int LogTitleText = 15501;
constexpr int LogRuleText = 15502;
constexpr int ModemBitText = 15601;
constexpr int TelnetOptionText = 15700;
constexpr DWORD LastTelnetOption = 42;

const char* const StatusKindNames[] = {"(Not active)",         "(Modem status)",
                                       "(Line status)",        "(Output buffer free)",
                                       "(Output buffer used)", "(Output sent)"};

std::string TableText(int id) {
  return AproErrorStrings().TextOf(id);
}

// One byte as the trace and log write it: the text and its width.
std::string ByteItem(BYTE c, bool allHex, bool hexNonPrintables) {
  char text[8];
  if (allHex) {
    std::snprintf(text, sizeof text, "[%02X]", c);
    return text;
  }
  const BYTE limit = hexNonPrintables ? 0x21 : 0x20;
  if (c < limit || c > 0x7E) {
    if (hexNonPrintables)
      std::snprintf(text, sizeof text, "[%02X]", c);
    else
      std::snprintf(text, sizeof text, "[%u]", static_cast<unsigned>(c));
    return text;
  }
  return std::string(1, static_cast<char>(c));
}

int FirstError(int current, int next) {
  return current != 0 ? current : next;
}

// Opens for writing: at the end of an existing file when appending, else a new empty file.
int OpenForWriting(platform::TTextFile& file, const std::string& fileName, bool append) {
  if (append && platform::FileExists(fileName)) return file.Append(fileName);
  return file.Rewrite(fileName);
}

std::string OperatingSystemText() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  std::string text;
  if (!GetVersionExA(&info)) return "Unknown";
  switch (info.dwPlatformId) {
    case 0:
      text = "Win32s on Windows ";
      break;
    case 1:
      text = "Win32 on Windows ";
      break;
    case VER_PLATFORM_WIN32_NT:
      text = "Windows NT ";
      break;
    default:
      text = "Unknown";
      break;
  }
  text += std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + " " +
          info.szCSDVersion;
  return text.substr(0, 80);
}

std::string CompilerText() {
#if defined(__clang__)
  return "clang " __clang_version__;
#elif defined(__GNUC__)
  return "g++ " __VERSION__;
#else
  return "C++";
#endif
}

}  // namespace

// Milliseconds with at least seven digits and a point before the fifth: 1234 -> 0001.234.
std::string LogTimeText(DWORD ms) {
  std::string digits = std::to_string(ms);
  if (digits.size() < 7) digits.insert(0, 7 - digits.size(), '0');
  digits.insert(4, 1, '.');
  return digits;
}

// ---- Trace ----

int TApdBaseDispatcher::BeginTrace(DWORD entries) {
  TLockHolder lock(MainLock);
  if (TraceQueue) {
    ResetTrace();
  } else {
    if (entries > MaxTraceEntries) return ecBadArgument;
    TraceQueue = std::make_unique<TTraceEntry[]>(entries);
    TraceMax = entries;
    TraceIndex = 0;
    TraceWrapped = false;
  }
  Tracing = true;
  return 0;
}

void TApdBaseDispatcher::ResetTrace() {
  TLockHolder lock(MainLock);
  TraceIndex = 0;
  TraceWrapped = false;
}

void TApdBaseDispatcher::DiscardTrace() {
  TLockHolder lock(MainLock);
  Tracing = false;
  TraceQueue.reset();
  TraceMax = 0;
  TraceIndex = 0;
  TraceWrapped = false;
}

void TApdBaseDispatcher::ResumeTrace() {
  TLockHolder lock(MainLock);
  if (TraceQueue) Tracing = true;
}

void TApdBaseDispatcher::PauseTrace() {
  TLockHolder lock(MainLock);
  Tracing = false;
}

void TApdBaseDispatcher::RecordTraceByte(BYTE kind, BYTE data) {
  // A ring of no entries keeps nothing.
  if (!TraceQueue || TraceMax == 0) return;
  TraceQueue[TraceIndex] = {kind, data};
  if (++TraceIndex >= TraceMax) {
    TraceIndex = 0;
    TraceWrapped = true;
  }
}

int TApdBaseDispatcher::WriteTraceFile(const std::string& fileName, bool append, bool allHex,
                                       bool hexNonPrintables) {
  TLockHolder lock(MainLock);
  if (!TraceQueue) return 0;
  Tracing = false;
  DWORD first = TraceWrapped ? TraceIndex : 0;
  DWORD count = TraceWrapped ? TraceMax : TraceIndex;
  if (count == 0) {
    DiscardTrace();
    return 0;
  }
  platform::TTextFile file;
  if (int error = OpenForWriting(file, fileName, append); error != 0) {
    DiscardTrace();
    return -error;
  }
  std::string text;
  text.reserve(static_cast<std::size_t>(count) * 2);
  int column = 0;
  for (DWORD i = 0; i < count; ++i) {
    const TTraceEntry& entry = TraceQueue[(first + i) % TraceMax];
    if (i == 0 || entry.Kind != TraceQueue[(first + i - 1) % TraceMax].Kind) {
      if (i != 0) text += "\r\n\r\n";
      if (entry.Kind == TraceReceive)
        text += "Receive: ";
      else if (entry.Kind == TraceTransmit)
        text += "Transmit: ";
      else
        text += std::string("Special-") + static_cast<char>(entry.Kind) + ": ";
      text += "\r\n";
      column = 0;
    }
    std::string item = ByteItem(entry.Data, allHex, hexNonPrintables);
    column += static_cast<int>(item.size());
    if (column > MaxColumn) {
      text += "\r\n";
      column = static_cast<int>(item.size());
    }
    text += item;
  }
  // The last line keeps no line end, so that an appended dump continues on it.
  int error = file.Write(text);
  error = FirstError(error, file.Close());
  DiscardTrace();
  return -error;
}

// ---- Dispatch log ----

int TApdBaseDispatcher::BeginLog(DWORD bytes) {
  TLockHolder lock(MainLock);
  if (LogQueue) {
    ResetLog();
    return 0;
  }
  LogQueue = std::make_unique<BYTE[]>(bytes);
  LogSize = bytes;
  LogScratch.assign(std::max({InputSize, OutputSize, DWORD{256}}), 0);
  LogHead = 0;
  LogTail = 0;
  LogFree = bytes;
  Logging = true;
  return 0;
}

void TApdBaseDispatcher::ResetLog() {
  TLockHolder lock(MainLock);
  LogHead = 0;
  LogTail = 0;
  LogFree = LogSize;
}

void TApdBaseDispatcher::DiscardLog() {
  TLockHolder lock(MainLock);
  Logging = false;
  LogQueue.reset();
  LogScratch.clear();
  LogScratch.shrink_to_fit();
  LogSize = 0;
  LogHead = 0;
  LogTail = 0;
  LogFree = 0;
}

void TApdBaseDispatcher::ResumeLog() {
  TLockHolder lock(MainLock);
  if (LogQueue) Logging = true;
}

void TApdBaseDispatcher::PauseLog() {
  TLockHolder lock(MainLock);
  Logging = false;
}

DWORD TApdBaseDispatcher::ElapsedMs() const {
  return NowMs() - OpenTime;
}

bool TApdBaseDispatcher::PushLogBytes(const void* bytes, DWORD count) {
  if (!LogQueue || count >= LogSize) return false;
  TLogEntryHeader dropped;
  while (count > LogFree && PopLogEntry(dropped, false)) {
  }
  const auto* in = static_cast<const BYTE*>(bytes);
  DWORD first = std::min(count, LogSize - LogHead);
  std::memcpy(LogQueue.get() + LogHead, in, first);
  if (count > first) std::memcpy(LogQueue.get(), in + first, count - first);
  LogHead = (LogHead + count) % LogSize;
  LogFree -= count;
  return true;
}

bool TApdBaseDispatcher::PopLogEntry(TLogEntryHeader& header, bool keepData) {
  if (!LogQueue || LogFree == LogSize) return false;
  auto take = [this](void* out, DWORD count) {
    DWORD first = std::min(count, LogSize - LogTail);
    if (out) {
      std::memcpy(out, LogQueue.get() + LogTail, first);
      if (count > first)
        std::memcpy(static_cast<BYTE*>(out) + first, LogQueue.get(), count - first);
    }
    LogTail = (LogTail + count) % LogSize;
  };
  take(&header, sizeof header);
  if (header.DataLength != 0) {
    if (keepData && LogScratch.size() < header.DataLength) LogScratch.resize(header.DataLength);
    take(keepData ? LogScratch.data() : nullptr, header.DataLength);
  }
  LogFree += sizeof header + header.DataLength;
  return true;
}

void TApdBaseDispatcher::RecordLogEntry(BYTE type, BYTE subType, DWORD dataLength, const void* data,
                                        DWORD value) {
  TLockHolder lock(MainLock);
  if (!LogQueue) return;
  if (!data) dataLength = 0;
  // An entry is kept whole or not at all: a header must never promise data the queue lacks.
  // One that fills the queue exactly fits.
  if (std::uint64_t{sizeof(TLogEntryHeader)} + dataLength > LogSize) return;
  TLogEntryHeader header;
  header.Type = type;
  header.SubType = subType;
  header.Time = ElapsedMs();
  header.Value = value;
  header.DataLength = dataLength;
  if (PushLogBytes(&header, sizeof header) && dataLength != 0) PushLogBytes(data, dataLength);
}

int TApdBaseDispatcher::WriteLogFile(const std::string& fileName, bool append, bool allHex,
                                     bool hexNonPrintables) {
  TLockHolder lock(MainLock);
  if (!LogQueue || LogFree == LogSize) {
    DiscardLog();
    return 0;
  }
  Logging = false;
  platform::TTextFile file;
  if (int error = OpenForWriting(file, fileName, append); error != 0) return -error;

  std::string text;
  text += "APRO v3.04\r\n";
  text += "Compiler : " + CompilerText() + "\r\n";
  text += "Operating System : " + OperatingSystemText() + "\r\n";
  text += TableText(LogTitleText) + "\r\n";
  text += TableText(LogRuleText) + "\r\n";

  TLogEntryHeader header;
  while (PopLogEntry(header, true)) {
    char prefix[128];
    std::string timeText = LogTimeText(header.Time);
    std::string typeText = TableText(LogTypeText + header.Type);
    std::string subTypeText = header.SubType ? TableText(LogSubTypeText + header.SubType) : "";
    std::snprintf(prefix, sizeof prefix, "%8s  %-8s  %-12s  %08X  ", timeText.c_str(),
                  typeText.c_str(), subTypeText.c_str(), static_cast<unsigned>(header.Value));
    text += prefix;
    if (header.DataLength == 0) {
      if (header.Type == lt_Telnet) {
        text += "[";
        if (header.Value <= LastTelnetOption)
          text += TableText(TelnetOptionText + static_cast<int>(header.Value));
        text += "]";
      }
    } else if (header.SubType == lst_StatusAlloc &&
               (header.Type == lt_TriggerAlloc || header.Type == lt_TriggerDispose)) {
      BYTE kind = LogScratch[0];
      if (kind < std::size(StatusKindNames)) text += StatusKindNames[kind];
    } else {
      int column = LogDataIndent + 1;
      for (DWORD i = 0; i < header.DataLength; ++i) {
        BYTE c = LogScratch[i];
        std::string item = (allHex && header.Type == lt_User)
                               ? std::string(1, static_cast<char>(c))
                               : ByteItem(c, allHex, hexNonPrintables);
        int width = static_cast<int>(item.size());
        column += width;
        if (column > MaxColumn) {
          text += "\r\n";
          text.append(LogDataIndent, ' ');
          column = width + LogDataIndent + 1;
        }
        text += item;
      }
      if (header.SubType == lst_ModemStatus) {
        std::string names;
        for (int bit = 0; bit < 8; ++bit)
          if (header.Value & (1u << bit)) names += TableText(ModemBitText + bit);
        names = names.substr(0, 80);
        auto start = names.find_first_not_of(' ');
        auto end = names.find_last_not_of(' ');
        names = start == std::string::npos ? "" : names.substr(start, end - start + 1);
        text += "(" + names + ")";
      }
    }
    text += "\r\n";
  }
  int error = file.Write(text);
  error = FirstError(error, file.Close());
  DiscardLog();
  return -error;
}
