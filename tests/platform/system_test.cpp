// System message texts, the OS version, critical sections and the per-thread last error.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/system.h"

namespace {

std::string Message(DWORD id,
                    DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS) {
  char buffer[512];
  DWORD length = FormatMessageA(flags, nullptr, id, 0, buffer, sizeof buffer, nullptr);
  return length == 0 ? std::string() : std::string(buffer, length);
}

TEST(SystemMessagesTest, WinsockAndWindowsTextsEndInCrLf) {
  EXPECT_EQ(Message(10061),
            "No connection could be made because the target machine actively refused it.\r\n");
  EXPECT_EQ(Message(10060),
            "A connection attempt failed because the connected party did not properly respond "
            "after a period of time, or established connection failed because connected host "
            "has failed to respond.\r\n");
  EXPECT_EQ(Message(10107), "A system call that should never fail has failed.\r\n");
  EXPECT_EQ(Message(11001), "No such host is known.\r\n");
  EXPECT_EQ(Message(2), "The system cannot find the file specified.\r\n");
  EXPECT_EQ(Message(3), "The system cannot find the path specified.\r\n");
  EXPECT_EQ(Message(5), "Access is denied.\r\n");
  EXPECT_EQ(Message(32),
            "The process cannot access the file because it is being used by another "
            "process.\r\n");
  EXPECT_EQ(Message(1460), "This operation returned because the timeout period expired.\r\n");
  // Inserts are left as they are when asked to ignore them.
  EXPECT_EQ(Message(193), "%1 is not a valid Win32 application.\r\n");
}

// Every number the program can meet has a text: a missing one would leave an error box empty.
TEST(SystemMessagesTest, EveryNumberTheProgramMeetsHasAText) {
  const DWORD windows[] = {1,   2,   3,   4,   5,    6,    7,    8,    11,  13,  14,
                           19,  32,  38,  50,  80,   87,   109,  112,  122, 123, 126,
                           127, 183, 193, 206, 1400, 1460, 1812, 1813, 1814};
  for (DWORD id : windows) EXPECT_FALSE(Message(id).empty()) << id;
  std::vector<DWORD> winsock = {10004, 10009, 10013, 10014, 10022, 10024, 10091,
                                10092, 10093, 10101, 11001, 11002, 11003, 11004};
  for (DWORD id = 10035; id <= 10071; ++id) winsock.push_back(id);
  for (DWORD id = 10107; id <= 10112; ++id) winsock.push_back(id);
  for (DWORD id : winsock) {
    std::string text = Message(id);
    EXPECT_GE(text.size(), 4u) << id;
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << id;
    EXPECT_EQ(text.find('\r'), text.size() - 2) << id;
  }
}

TEST(SystemMessagesTest, UnknownNumbersAndBadCallsFail) {
  char buffer[64] = "untouched";
  SetLastError(0);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           4242424, 0, buffer, sizeof buffer, nullptr),
            0u);
  EXPECT_EQ(GetLastError(), ERROR_MR_MID_NOT_FOUND);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           10040, 0, buffer, 20, nullptr),
            0u);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  // Only the system table exists here.
  EXPECT_EQ(
      FormatMessageA(FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 2, 0, buffer, sizeof buffer, nullptr),
      0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  // A text with inserts cannot be filled from nothing.
  EXPECT_EQ(
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 193, 0, buffer, sizeof buffer, nullptr),
      0u);
  const char* inserts[] = {"SetupKVB.exe"};
  ASSERT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, 193,
                           0, buffer, sizeof buffer, inserts),
            0u);
  EXPECT_STREQ(buffer, "SetupKVB.exe is not a valid Win32 application.\r\n");
}

TEST(SystemMessagesTest, MaximumWidthDropsTheLineEnd) {
  EXPECT_EQ(Message(2, FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                           FORMAT_MESSAGE_MAX_WIDTH_MASK),
            "The system cannot find the file specified. ");
}

TEST(SystemMessagesTest, RuntimeTextHasNoLineEndOrFullStop) {
  EXPECT_EQ(platform::SysErrorMessage(2), "The system cannot find the file specified");
  EXPECT_EQ(platform::SysErrorMessage(4242424), "");
}

TEST(SystemVersionTest, ReportsWindowsXp) {
  OSVERSIONINFOA info;
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwMajorVersion, 5u);
  EXPECT_EQ(info.dwMinorVersion, 1u);
  EXPECT_EQ(info.dwBuildNumber, 2600u);
  EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
  OSVERSIONINFOA wrong;
  wrong.dwOSVersionInfoSize = 12;
  EXPECT_FALSE(GetVersionExA(&wrong));
}

TEST(CriticalSectionTest, OwnerMayEnterAgainOthersWait) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  EnterCriticalSection(&section);
  EnterCriticalSection(&section);  // re-entrant: no deadlock
  EXPECT_TRUE(TryEnterCriticalSection(&section));
  LeaveCriticalSection(&section);

  std::atomic<bool> otherGotIt{true};
  std::thread([&] { otherGotIt = TryEnterCriticalSection(&section) != FALSE; }).join();
  EXPECT_FALSE(otherGotIt);

  LeaveCriticalSection(&section);
  LeaveCriticalSection(&section);
  std::thread([&] {
    otherGotIt = TryEnterCriticalSection(&section) != FALSE;
    if (otherGotIt) LeaveCriticalSection(&section);
  }).join();
  EXPECT_TRUE(otherGotIt);
  DeleteCriticalSection(&section);
}

TEST(CriticalSectionTest, CountsStayExactUnderContention) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        EnterCriticalSection(&section);
        EnterCriticalSection(&section);
        ++counter;
        LeaveCriticalSection(&section);
        LeaveCriticalSection(&section);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, 80000);
  DeleteCriticalSection(&section);
}

TEST(LastErrorTest, EachThreadHasItsOwn) {
  SetLastError(1234);
  DWORD seenByOther = 99;
  std::thread([&] {
    seenByOther = GetLastError();
    SetLastError(5678);
  }).join();
  EXPECT_EQ(seenByOther, 0u);
  EXPECT_EQ(GetLastError(), 1234u);
}

}  // namespace
