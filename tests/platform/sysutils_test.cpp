// The runtime pieces: I/O error texts, dates and their formats, file helpers, file streams and
// text files.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "host_folder.h"
#include "platform/files.h"
#include "platform/sysutils.h"

using platform::TDateTime;
using testsupport::HostExists;
using testsupport::HostFolder;
using testsupport::ReadHostFile;
using testsupport::WriteHostFile;

namespace {

// Sets TZ for one test and puts the old value back.
class TimeZone {
 public:
  explicit TimeZone(const char* zone) {
    const char* old = std::getenv("TZ");
    hadOld_ = old != nullptr;
    if (old) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~TimeZone() {
    if (hadOld_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool hadOld_ = false;
  std::string old_;
};

TEST(InOutErrorTest, TextsOfTheRuntime) {
  const std::pair<int, const char*> texts[] = {
      {2, "File not found"},
      {3, "Path not found"},
      {4, "Too many open files"},
      {5, "File access denied"},
      {6, "Invalid file handle"},
      {15, "Invalid drive"},
      {18, "No more files"},
      {100, "Attempt to read beyond end of file"},
      {101, "Disk is full"},
      {102, "File/device not assigned"},
      {103, "File/device not open"},
      {104, "File/device not open for input"},
      {105, "File/device not open for output"},
      {150, "Disk is write-protected"},
      {151, "Unknown disk unit"},
      {152, "Drive is not ready"},
      {153, "Unknown command"},
      {154, "Data error"},
      {155, "Bad request structure length"},
      {156, "Seek error"},
      {157, "Unknown media type"},
      {158, "Disk sector not found"},
      {159, "Printer is out of paper"},
      {160, "Device write error"},
      {161, "Device read error"},
      {162, "Hardware failure"},
  };
  for (const auto& [code, text] : texts) EXPECT_EQ(platform::InOutErrorText(code), text) << code;
  EXPECT_EQ(platform::InOutErrorText(1), "I/O error 1");
  EXPECT_EQ(platform::InOutErrorText(32), "I/O error 32");
  EXPECT_EQ(platform::InOutErrorText(999), "I/O error 999");
}

TEST(InOutErrorTest, RaiseCarriesCodeAndText) {
  try {
    platform::RaiseInOutError(5);
    FAIL() << "nothing raised";
  } catch (const platform::EInOutError& e) {
    EXPECT_EQ(e.ErrorCode, 5);
    EXPECT_EQ(e.Message(), "File access denied");
    EXPECT_STREQ(e.what(), "File access denied");
  }
}

class DateTimeTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = platform::FormatSettings(); }
  void TearDown() override { platform::FormatSettings() = saved_; }

  static TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return platform::EncodeDate(y, mo, d) + platform::EncodeTime(h, mi, s, ms);
  }

  TimeZone utc_{"UTC"};
  platform::TFormatSettings saved_;
};

TEST_F(DateTimeTest, DaysCountFromTheEndOf1899) {
  EXPECT_EQ(platform::EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(platform::EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(platform::EncodeDate(1970, 1, 1), 25569.0);
  EXPECT_EQ(platform::EncodeDate(2016, 6, 15), 42536.0);
  EXPECT_DOUBLE_EQ(platform::EncodeTime(12, 0, 0, 0), 0.5);
  EXPECT_DOUBLE_EQ(platform::EncodeTime(6, 0, 0, 0), 0.25);
}

TEST_F(DateTimeTest, LeapYearsAndMonthEnds) {
  EXPECT_EQ(platform::EncodeDate(2016, 2, 29) + 1, platform::EncodeDate(2016, 3, 1));
  EXPECT_EQ(platform::EncodeDate(2000, 2, 29) + 1, platform::EncodeDate(2000, 3, 1));
  EXPECT_THROW(platform::EncodeDate(2015, 2, 29), platform::EConvertError);
  EXPECT_THROW(platform::EncodeDate(1900, 2, 29), platform::EConvertError);
  EXPECT_THROW(platform::EncodeDate(2100, 2, 29), platform::EConvertError);
  EXPECT_THROW(platform::EncodeDate(2016, 4, 31), platform::EConvertError);
  EXPECT_THROW(platform::EncodeDate(2016, 13, 1), platform::EConvertError);
  EXPECT_THROW(platform::EncodeDate(2016, 0, 1), platform::EConvertError);
  EXPECT_THROW(platform::EncodeTime(24, 0, 0, 0), platform::EConvertError);
  EXPECT_THROW(platform::EncodeTime(0, 60, 0, 0), platform::EConvertError);
  EXPECT_THROW(platform::EncodeTime(0, 0, 0, 1000), platform::EConvertError);

  const int monthEnds[][3] = {{2016, 1, 31}, {2016, 2, 29},  {2015, 2, 28},
                              {2016, 4, 30}, {2016, 12, 31}, {1999, 12, 31}};
  for (const auto& end : monthEnds) {
    int y, m, d;
    platform::DecodeDate(platform::EncodeDate(end[0], end[1], end[2]) + 1, y, m, d);
    EXPECT_EQ(d, 1);
    EXPECT_EQ(m, end[1] == 12 ? 1 : end[1] + 1);
    EXPECT_EQ(y, end[1] == 12 ? end[0] + 1 : end[0]);
  }
}

TEST_F(DateTimeTest, DecodingAtTheEdgesOfADay) {
  int y, mo, d, h, mi, s, ms;
  TDateTime beforeMidnight = At(2016, 6, 14, 23, 59, 59);
  platform::DecodeDate(beforeMidnight, y, mo, d);
  platform::DecodeTime(beforeMidnight, h, mi, s, ms);
  EXPECT_EQ(d, 14);
  EXPECT_EQ(h, 23);
  EXPECT_EQ(mi, 59);
  EXPECT_EQ(s, 59);
  EXPECT_EQ(ms, 0);

  // A time that rounds up to 24:00 belongs to the next day, date and time alike.
  TDateTime almost = platform::EncodeDate(2016, 6, 14) + (86400000.0 - 0.4) / 86400000.0;
  platform::DecodeDate(almost, y, mo, d);
  platform::DecodeTime(almost, h, mi, s, ms);
  EXPECT_EQ(d, 15);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(ms, 0);

  // Before 1899-12-30 the fraction still counts forward from midnight.
  platform::DecodeDate(-1.25, y, mo, d);
  platform::DecodeTime(-1.25, h, mi, s, ms);
  EXPECT_EQ(y, 1899);
  EXPECT_EQ(mo, 12);
  EXPECT_EQ(d, 29);
  EXPECT_EQ(h, 6);
}

TEST_F(DateTimeTest, UnixSecondsAreLocalTime) {
  EXPECT_EQ(platform::UnixToDateTime(0), 25569.0);
  EXPECT_EQ(platform::UnixToDateTime(1465948800), platform::EncodeDate(2016, 6, 15));
  EXPECT_EQ(platform::DateTimeToUnix(At(2016, 6, 15, 12, 34, 56)), 1465994096);
  {
    TimeZone taipei("CST-8");
    EXPECT_DOUBLE_EQ(platform::UnixToDateTime(0), 25569.0 + 8.0 / 24.0);
    EXPECT_EQ(platform::DateTimeToUnix(At(2016, 6, 15, 8, 0, 0)), 1465948800);
  }
}

TEST_F(DateTimeTest, TodayAndNow) {
  TDateTime today, now, again;
  do {
    today = platform::Date();
    now = platform::Now();
    again = platform::Date();
  } while (today != again);  // the day changed in between: ask once more
  EXPECT_EQ(today, static_cast<double>(static_cast<long long>(today)));
  EXPECT_GE(now, today);
  EXPECT_LT(now, today + 1);
  EXPECT_NEAR(now, platform::UnixToDateTime(std::time(nullptr)), 2.0 / 86400.0);
}

TEST_F(DateTimeTest, ShortDateAndTheCFormat) {
  platform::FormatSettings().ShortDateFormat = "yyyy/mm/dd";
  // At exactly midnight "c" gives the date alone; a second earlier date and time.
  EXPECT_EQ(platform::FormatDateTime("c", platform::EncodeDate(2016, 6, 15)), "2016/06/15");
  EXPECT_EQ(platform::FormatDateTime("c", At(2016, 6, 14, 23, 59, 59)), "2016/06/14 11:59:59 PM");
  EXPECT_EQ(platform::FormatDateTime("c", At(2016, 6, 15, 0, 0, 1)), "2016/06/15 12:00:01 AM");
  EXPECT_EQ(platform::DateToStr(At(2016, 1, 5, 13, 0, 0)), "2016/01/05");
  EXPECT_EQ(platform::DateTimeToStr(platform::EncodeDate(2016, 2, 29)), "2016/02/29");
  // "/" stands for the date separator.
  platform::FormatSettings().DateSeparator = '-';
  EXPECT_EQ(platform::DateToStr(platform::EncodeDate(2016, 6, 15)), "2016-06-15");
}

TEST_F(DateTimeTest, PatternLetters) {
  TDateTime t = At(2016, 1, 5, 9, 5, 7, 45);
  EXPECT_EQ(platform::FormatDateTime("m/d/yy", t), "1/5/16");
  EXPECT_EQ(platform::FormatDateTime("mm/dd/yyyy", t), "01/05/2016");
  EXPECT_EQ(platform::FormatDateTime("ddd dddd mmm mmmm", t), "Tue Tuesday Jan January");
  EXPECT_EQ(platform::FormatDateTime("hh:nn:ss.zzz", t), "09:05:07.045");
  EXPECT_EQ(platform::FormatDateTime("h:n:s z", t), "9:5:7 45");
  // "m" right after an hour is minutes, elsewhere the month.
  EXPECT_EQ(platform::FormatDateTime("hh:mm", t), "09:05");
  EXPECT_EQ(platform::FormatDateTime("h m", t), "9 5");
  EXPECT_EQ(platform::FormatDateTime("mm", t), "01");
  EXPECT_EQ(platform::FormatDateTime("dddd, mmmm d, yyyy", platform::EncodeDate(2016, 6, 15)),
            "Wednesday, June 15, 2016");
  EXPECT_EQ(platform::FormatDateTime("ddddd", t), "1/5/2016");
  EXPECT_EQ(platform::FormatDateTime("tt", t), "9:05:07 AM");
  EXPECT_EQ(platform::TimeToStr(t), "9:05:07 AM");
}

TEST_F(DateTimeTest, TwelveHourClockAndQuotedText) {
  EXPECT_EQ(platform::FormatDateTime("h:nn am/pm", At(2016, 6, 15, 13, 5)), "1:05 pm");
  EXPECT_EQ(platform::FormatDateTime("h:nn AM/PM", At(2016, 6, 15, 0, 30)), "12:30 AM");
  EXPECT_EQ(platform::FormatDateTime("h:nn AM/PM", At(2016, 6, 15, 12, 30)), "12:30 PM");
  EXPECT_EQ(platform::FormatDateTime("hh a/p", At(2016, 6, 15, 23, 0)), "11 p");
  EXPECT_EQ(platform::FormatDateTime("hh ampm", At(2016, 6, 15, 23, 0)), "11 PM");
  EXPECT_EQ(platform::FormatDateTime("hh", At(2016, 6, 15, 23, 0)), "23");
  EXPECT_EQ(platform::FormatDateTime("\"day\" d 'of' mmmm", platform::EncodeDate(2016, 6, 15)),
            "day 15 of June");
}

// A Big5 character is text, even where its second byte looks like a pattern letter:
// 山 is A4 73 ("s"), 千 A4 64 ("d").
TEST_F(DateTimeTest, Big5CharactersInPatternsStayText) {
  TDateTime t = At(2016, 6, 15, 9, 5, 7);
  EXPECT_EQ(platform::FormatDateTime("yyyy\xA4s mm\xA4"
                                     "d dd",
                                     t),
            "2016\xA4s 06\xA4"
            "d 15");
}

class FileHelpersTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetDriveFolder('C', folder.Path()); }
  HostFolder folder;
};

TEST_F(FileHelpersTest, ExistsAndForceDirectories) {
  EXPECT_FALSE(platform::DirectoryExists("C:\\SuperSetup"));
  ASSERT_TRUE(platform::ForceDirectories("C:\\SuperSetup\\a\\b\\"));
  EXPECT_TRUE(platform::DirectoryExists("C:\\SuperSetup\\a\\b"));
  EXPECT_TRUE(platform::ForceDirectories("C:\\SuperSetup"));  // already there
  EXPECT_FALSE(platform::FileExists("C:\\SuperSetup"));
  WriteHostFile(folder / "SuperSetup/file", "x");
  EXPECT_TRUE(platform::FileExists("C:\\SuperSetup\\file"));
  EXPECT_FALSE(platform::DirectoryExists("C:\\SuperSetup\\file"));
  // A file in the way cannot become a folder.
  EXPECT_FALSE(platform::ForceDirectories("C:\\SuperSetup\\file\\sub"));
  EXPECT_FALSE(platform::ForceDirectories(""));
  EXPECT_FALSE(platform::ForceDirectories("Q:\\unmapped\\folder"));
}

TEST_F(FileHelpersTest, DeleteAndRename) {
  WriteHostFile(folder / "a", "a");
  WriteHostFile(folder / "b", "b");
  EXPECT_TRUE(platform::RenameFileReplacing("C:\\a", "C:\\b"));
  EXPECT_EQ(ReadHostFile(folder / "b"), "a");
  EXPECT_TRUE(platform::DeleteFileAt("C:\\b"));
  EXPECT_FALSE(platform::DeleteFileAt("C:\\b"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

// The download window deletes an installer older than 30 days: its age must be exact at the
// boundary, midnight exactly and one second before.
TEST_F(FileHelpersTest, FileAgeIsTheLastWriteTimeAsLocalTime) {
  TimeZone taipei("CST-8");
  WriteHostFile(folder / "SetupKVB.exe", "#!/bin/sh\n");
  TDateTime midnight = platform::EncodeDate(2016, 5, 16);
  ASSERT_TRUE(platform::SetFileAge("C:\\SetupKVB.exe", midnight));
  TDateTime age = -1;
  ASSERT_TRUE(platform::FileAge("C:\\SetupKVB.exe", age));
  EXPECT_EQ(age, midnight);
  EXPECT_FALSE(platform::EncodeDate(2016, 6, 15) - 30 > age);

  TDateTime secondBefore = midnight - platform::EncodeTime(0, 0, 1, 0);
  ASSERT_TRUE(platform::SetFileAge("C:\\SetupKVB.exe", secondBefore));
  ASSERT_TRUE(platform::FileAge("C:\\SetupKVB.exe", age));
  EXPECT_NEAR(age, secondBefore, 0.5 / 86400000.0);
  EXPECT_TRUE(platform::EncodeDate(2016, 6, 15) - 30 > age);

  // The host sees the same instant: 2016-05-15 23:59:59 in Taipei is 15:59:59 UTC.
  struct stat st;
  ASSERT_EQ(stat((folder / "SetupKVB.exe").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1463327999);

  EXPECT_FALSE(platform::FileAge("C:\\missing.exe", age));
  EXPECT_FALSE(platform::FileAge("C:\\", age));
}

TEST_F(FileHelpersTest, CurrentDirAndPathParts) {
  ASSERT_TRUE(platform::ForceDirectories("C:\\SuperSetup"));
  ASSERT_TRUE(platform::SetCurrentDir("C:\\SuperSetup\\"));
  EXPECT_EQ(platform::GetCurrentDir(), "C:\\SuperSetup");
  EXPECT_FALSE(platform::SetCurrentDir("C:\\missing\\deeper"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(platform::GetCurrentDir(), "C:\\SuperSetup");

  EXPECT_EQ(platform::ExtractFilePath("C:\\SuperSetup\\SetupKVB.exe"), "C:\\SuperSetup\\");
  EXPECT_EQ(platform::ExtractFileName("C:\\SuperSetup\\SetupKVB.exe"), "SetupKVB.exe");
  EXPECT_EQ(platform::ExtractFilePath("/opt/kvb/kvb-download"), "/opt/kvb/");
  EXPECT_EQ(platform::ExtractFileName("/opt/kvb/kvb-download"), "kvb-download");
  EXPECT_EQ(platform::ExtractFilePath("C:x.exe"), "C:");
  EXPECT_EQ(platform::ExtractFilePath("x.exe"), "");
  EXPECT_EQ(platform::IncludeTrailingPathDelimiter("C:\\SuperSetup"), "C:\\SuperSetup\\");
  EXPECT_EQ(platform::IncludeTrailingPathDelimiter("C:\\SuperSetup\\"), "C:\\SuperSetup\\");
  EXPECT_EQ(platform::IncludeTrailingPathDelimiter("/opt/kvb"), "/opt/kvb/");
}

TEST_F(FileHelpersTest, FileStreamReadsWritesAndSeeks) {
  {
    platform::TFileStream out("C:\\data.bin", platform::fmCreate);
    out.WriteBuffer("hello world", 11);
    EXPECT_EQ(out.Size(), 11);
    EXPECT_EQ(out.Position(), 11);
    EXPECT_EQ(out.Seek(6, platform::soBeginning), 6);
    out.WriteBuffer("WORLD", 5);
    out.SetSize(8);
    EXPECT_EQ(out.Size(), 8);
  }
  EXPECT_EQ(ReadHostFile(folder / "data.bin"), "hello WO");
  platform::TFileStream in("C:\\data.bin", platform::fmOpenRead | platform::fmShareDenyWrite);
  char buffer[16] = {};
  EXPECT_EQ(in.Seek(-2, platform::soEnd), 6);
  EXPECT_EQ(in.Read(buffer, sizeof buffer), 2);
  EXPECT_EQ(std::string(buffer, 2), "WO");
  EXPECT_EQ(in.Read(buffer, sizeof buffer), 0);
  EXPECT_THROW(in.WriteBuffer("x", 1), platform::EWriteError);
  EXPECT_EQ(in.FileName(), "C:\\data.bin");
}

TEST_F(FileHelpersTest, FileStreamErrorsNameTheFileAndTheReason) {
  try {
    platform::TFileStream missing("C:\\missing.txt", platform::fmOpenRead);
    FAIL() << "opened a missing file";
  } catch (const platform::EFOpenError& e) {
    EXPECT_EQ(e.ErrorCode, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(e.Message(),
              "Cannot open file \"C:\\missing.txt\". The system cannot find the file specified");
  }
  try {
    platform::TFileStream nowhere("C:\\no folder\\new.txt", platform::fmCreate);
    FAIL() << "created a file in a missing folder";
  } catch (const platform::EFCreateError& e) {
    EXPECT_EQ(e.ErrorCode, ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(e.Message(),
              "Cannot create file \"C:\\no folder\\new.txt\". The system cannot find the path "
              "specified");
  }
}

TEST_F(FileHelpersTest, FileStreamShareModes) {
  WriteHostFile(folder / "shared.txt", "keep me");
  platform::TFileStream reader("C:\\shared.txt", platform::fmOpenRead | platform::fmShareDenyWrite);
  try {
    platform::TFileStream writer("C:\\shared.txt", platform::fmOpenWrite);
    FAIL() << "opened for writing past fmShareDenyWrite";
  } catch (const platform::EFOpenError& e) {
    EXPECT_EQ(e.ErrorCode, ERROR_SHARING_VIOLATION);
  }
  EXPECT_THROW(platform::TFileStream("C:\\shared.txt", platform::fmCreate),
               platform::EFCreateError);
  EXPECT_EQ(ReadHostFile(folder / "shared.txt"), "keep me");
  // Another reader that lets others read and write is fine.
  platform::TFileStream second("C:\\shared.txt", platform::fmOpenRead | platform::fmShareDenyNone);
  // An exclusive one is not: the first reader is still there.
  EXPECT_THROW(
      platform::TFileStream("C:\\shared.txt", platform::fmOpenRead | platform::fmShareExclusive),
      platform::EFOpenError);
}

TEST_F(FileHelpersTest, TextFileWritesLinesAndAppends) {
  platform::TTextFile log;
  EXPECT_EQ(log.Append("C:\\log.txt"), 2);  // Append needs an existing file
  ASSERT_EQ(log.Rewrite("C:\\log.txt"), 0);
  EXPECT_EQ(log.WriteLn("first"), 0);
  EXPECT_EQ(log.Write("sec"), 0);
  EXPECT_EQ(log.WriteLn("ond"), 0);
  EXPECT_EQ(log.Close(), 0);
  EXPECT_EQ(ReadHostFile(folder / "log.txt"), "first\r\nsecond\r\n");

  ASSERT_EQ(log.Append("C:\\log.txt"), 0);
  EXPECT_EQ(log.WriteLn("third"), 0);
  EXPECT_EQ(log.Close(), 0);
  EXPECT_EQ(ReadHostFile(folder / "log.txt"), "first\r\nsecond\r\nthird\r\n");

  EXPECT_EQ(log.Rewrite("C:\\no folder\\log.txt"), 3);
  EXPECT_FALSE(log.IsOpen());
}

TEST_F(FileHelpersTest, TextFileReadsEveryKindOfLineEnd) {
  WriteHostFile(folder / "in.txt", "one\r\ntwo\nthree\r\n\r\nlast");
  platform::TTextFile text;
  ASSERT_EQ(text.Reset("C:\\in.txt"), 0);
  std::string line;
  bool eof = false;
  const char* expected[] = {"one", "two", "three", "", "last"};
  for (const char* want : expected) {
    ASSERT_EQ(text.ReadLn(line, eof), 0);
    EXPECT_FALSE(eof);
    EXPECT_EQ(line, want);
  }
  ASSERT_EQ(text.ReadLn(line, eof), 0);
  EXPECT_TRUE(eof);
  EXPECT_EQ(line, "");
  EXPECT_EQ(text.Write("x"), 105);  // open for input only
  EXPECT_EQ(text.Close(), 0);
}

TEST_F(FileHelpersTest, TextFileMisuseGivesRuntimeNumbers) {
  platform::TTextFile text;
  EXPECT_EQ(text.Write("x"), 103);
  std::string line;
  bool eof;
  EXPECT_EQ(text.ReadLn(line, eof), 103);
  EXPECT_EQ(text.Close(), 103);
  ASSERT_EQ(text.Rewrite("C:\\out.txt"), 0);
  EXPECT_EQ(text.ReadLn(line, eof), 104);
  EXPECT_EQ(text.Reset("C:\\missing.txt"), 2);
  EXPECT_FALSE(text.IsOpen());
}

// A long line goes out whole, however the text file buffers it.
TEST_F(FileHelpersTest, TextFileKeepsLongLinesWhole) {
  std::string longLine(10000, 'x');
  longLine[5000] = 'y';
  {
    platform::TTextFile text;
    ASSERT_EQ(text.Rewrite("C:\\long.txt"), 0);
    ASSERT_EQ(text.WriteLn(longLine), 0);
    ASSERT_EQ(text.WriteLn("tail"), 0);
  }  // closed by its destructor
  EXPECT_EQ(ReadHostFile(folder / "long.txt"), longLine + "\r\ntail\r\n");
  platform::TTextFile text;
  ASSERT_EQ(text.Reset("C:\\long.txt"), 0);
  std::string line;
  bool eof;
  ASSERT_EQ(text.ReadLn(line, eof), 0);
  EXPECT_EQ(line, longLine);
}

}  // namespace
