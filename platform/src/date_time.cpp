// TDateTime arithmetic and the runtime's date and time formats.

#include <cmath>
#include <cstdio>
#include <ctime>

#include "platform/codepages.h"
#include "platform/sysutils.h"

namespace platform {
namespace {

constexpr double kMsPerDay = 86400000.0;
constexpr std::int64_t kMsPerDayInt = 86400000;
constexpr std::int64_t kUnixEpoch = 25569;  // 1970-01-01 as a TDateTime

const char* const kShortDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kLongDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};
const char* const kShortMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongMonthNames[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};

bool IsLeapYear(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t DaysFromCivil(int year, int month, int day) {
  std::int64_t y = year - (month <= 2);
  std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  std::int64_t yoe = y - era * 400;
  std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t days, int& year, int& month, int& day) {
  days += 719468;
  std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  std::int64_t doe = days - era * 146097;
  std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  std::int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

// Whole days and the milliseconds of the day, rounded to the millisecond. A time that rounds
// up to 24:00 belongs to the next day, so that date and time never disagree (23:59:59.9996
// is the next midnight, not "24:00:00" of the same day).
void Split(TDateTime value, std::int64_t& days, std::int64_t& msOfDay) {
  double whole = std::trunc(value);
  days = static_cast<std::int64_t>(whole);
  msOfDay = std::llround(std::fabs(value - whole) * kMsPerDay);
  if (msOfDay >= kMsPerDayInt) msOfDay -= kMsPerDayInt, ++days;
}

TDateTime FromTm(const std::tm& tm, int ms) {
  return EncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday) +
         EncodeTime(tm.tm_hour, tm.tm_min, tm.tm_sec < 60 ? tm.tm_sec : 59, ms);
}

struct Fields {
  int year, month, day, dayOfWeek;
  int hour, minute, second, ms;
  std::int64_t msOfDay;
};

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

// Patterns are ANSI text (code page 950): a lead byte and its trail byte are one character,
// even when the trail byte looks like a pattern letter (山 is A4 73, "s").
bool IsLeadByte(const std::string& text, std::size_t pos) {
  return AnsiCharSize(text, pos) == 2;
}

bool StartsWithNoCase(const std::string& text, std::size_t pos, const char* word) {
  for (std::size_t i = 0; word[i]; ++i) {
    if (pos + i >= text.size() || Upper(text[pos + i]) != Upper(word[i])) return false;
  }
  return true;
}

// Whether an am/pm marker follows `pos` (outside quotes): the hour is then on a 12-hour clock.
bool TwelveHourClockAhead(const std::string& pattern, std::size_t pos) {
  char quote = 0;
  for (std::size_t i = pos; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (IsLeadByte(pattern, i)) {
      ++i;
    } else if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (StartsWithNoCase(pattern, i, "am/pm") || StartsWithNoCase(pattern, i, "a/p") ||
               StartsWithNoCase(pattern, i, "ampm")) {
      return true;
    }
  }
  return false;
}

class Formatter {
 public:
  Formatter(const TFormatSettings& settings, const Fields& fields)
      : settings_(settings), f_(fields) {}

  void Append(const std::string& pattern, int level) {
    char lastLetter = 0;
    std::size_t i = 0;
    while (i < pattern.size()) {
      if (IsLeadByte(pattern, i)) {
        out_.append(pattern, i, 2);
        i += 2;
        continue;
      }
      char c = pattern[i];
      char token = Upper(c);
      if (token >= 'A' && token <= 'Z') {
        // "m" right after an hour means minutes.
        if (token == 'M' && lastLetter == 'H') token = 'N';
        lastLetter = token;
      }
      std::size_t count = 1;
      auto takeRun = [&] {
        while (i + count < pattern.size() && Upper(pattern[i + count]) == Upper(c)) ++count;
      };
      switch (token) {
        case 'Y':
          takeRun();
          if (count <= 2) {
            Number(f_.year % 100, 2);
          } else {
            Number(f_.year, 4);
          }
          break;
        case 'M':
          takeRun();
          if (count <= 2) {
            Number(f_.month, static_cast<int>(count));
          } else if (count == 3) {
            out_ += kShortMonthNames[f_.month - 1];
          } else {
            out_ += kLongMonthNames[f_.month - 1];
          }
          break;
        case 'D':
          takeRun();
          if (count <= 2) {
            Number(f_.day, static_cast<int>(count));
          } else if (count == 3) {
            out_ += kShortDayNames[f_.dayOfWeek];
          } else if (count == 4) {
            out_ += kLongDayNames[f_.dayOfWeek];
          } else if (level < 2) {
            Append(count == 5 ? settings_.ShortDateFormat : settings_.LongDateFormat, level + 1);
          }
          break;
        case 'H': {
          takeRun();
          int hour = f_.hour;
          if (TwelveHourClockAhead(pattern, i)) {
            hour %= 12;
            if (hour == 0) hour = 12;
          }
          Number(hour, count >= 2 ? 2 : 1);
          break;
        }
        case 'N':
          takeRun();
          Number(f_.minute, count >= 2 ? 2 : 1);
          break;
        case 'S':
          takeRun();
          Number(f_.second, count >= 2 ? 2 : 1);
          break;
        case 'Z':
          takeRun();
          Number(f_.ms, count >= 2 ? 3 : 1);
          break;
        case 'T':
          takeRun();
          if (level < 2) {
            Append(count == 1 ? settings_.ShortTimeFormat : settings_.LongTimeFormat, level + 1);
          }
          break;
        case 'C':
          takeRun();
          if (level < 2) {
            Append(settings_.ShortDateFormat, level + 1);
            // At exactly midnight only the date is shown.
            if (f_.msOfDay != 0) {
              out_ += ' ';
              Append(settings_.LongTimeFormat, level + 1);
            }
          }
          break;
        case 'A':
          if (StartsWithNoCase(pattern, i, "am/pm")) {
            // The marker keeps the letter case the pattern gives it.
            out_ += pattern.substr(f_.hour >= 12 ? i + 3 : i, 2);
            count = 5;
          } else if (StartsWithNoCase(pattern, i, "a/p")) {
            out_ += pattern[f_.hour >= 12 ? i + 2 : i];
            count = 3;
          } else if (StartsWithNoCase(pattern, i, "ampm")) {
            out_ += f_.hour >= 12 ? "PM" : "AM";
            count = 4;
          } else {
            out_ += c;
          }
          break;
        case '/':
          out_ += settings_.DateSeparator;
          break;
        case ':':
          out_ += settings_.TimeSeparator;
          break;
        case '"':
        case '\'': {
          std::size_t close = pattern.find(c, i + 1);
          if (close == std::string::npos) close = pattern.size();
          out_ += pattern.substr(i + 1, close - i - 1);
          count = close - i + 1;
          break;
        }
        default:
          out_ += c;
      }
      i += count;
    }
  }

  std::string Result() const { return out_; }

 private:
  void Number(int value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*d", digits, value);
    out_ += buffer;
  }

  const TFormatSettings& settings_;
  Fields f_;
  std::string out_;
};

}  // namespace

TDateTime EncodeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month)) {
    throw EConvertError("Invalid argument to date encode");
  }
  return static_cast<TDateTime>(DaysFromCivil(year, month, day) + kUnixEpoch);
}

TDateTime EncodeTime(int hour, int minute, int second, int ms) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || ms < 0 ||
      ms > 999) {
    throw EConvertError("Invalid argument to time encode");
  }
  return (((hour * 60 + minute) * 60 + second) * 1000.0 + ms) / kMsPerDay;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  std::int64_t days, msOfDay;
  Split(value, days, msOfDay);
  CivilFromDays(days - kUnixEpoch, year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& ms) {
  std::int64_t days, msOfDay;
  Split(value, days, msOfDay);
  hour = static_cast<int>(msOfDay / 3600000);
  minute = static_cast<int>(msOfDay / 60000 % 60);
  second = static_cast<int>(msOfDay / 1000 % 60);
  ms = static_cast<int>(msOfDay % 1000);
}

TDateTime Now() {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  return FromTm(local, static_cast<int>(now.tv_nsec / 1000000));
}

TDateTime Date() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

TDateTime UnixToDateTime(std::int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (!localtime_r(&t, &local) || local.tm_year + 1900 < 1 || local.tm_year + 1900 > 9999) {
    return static_cast<double>(seconds) / 86400.0 + kUnixEpoch;
  }
  return FromTm(local, 0);
}

std::int64_t DateTimeToUnix(TDateTime value) {
  int year, month, day, hour, minute, second, ms;
  DecodeDate(value, year, month, day);
  DecodeTime(value, hour, minute, second, ms);
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  return static_cast<std::int64_t>(std::mktime(&local));
}

TFormatSettings& FormatSettings() {
  static TFormatSettings settings;
  return settings;
}

std::string FormatDateTime(const std::string& pattern, TDateTime value) {
  Fields fields{};
  std::int64_t days;
  Split(value, days, fields.msOfDay);
  CivilFromDays(days - kUnixEpoch, fields.year, fields.month, fields.day);
  // 1970-01-01 was a Thursday.
  fields.dayOfWeek = static_cast<int>((((days - kUnixEpoch) % 7) + 7 + 4) % 7);
  fields.hour = static_cast<int>(fields.msOfDay / 3600000);
  fields.minute = static_cast<int>(fields.msOfDay / 60000 % 60);
  fields.second = static_cast<int>(fields.msOfDay / 1000 % 60);
  fields.ms = static_cast<int>(fields.msOfDay % 1000);
  Formatter formatter(FormatSettings(), fields);
  formatter.Append(pattern.empty() ? std::string("c") : pattern, 0);
  return formatter.Result();
}

std::string DateToStr(TDateTime value) {
  return FormatDateTime("ddddd", value);
}
std::string TimeToStr(TDateTime value) {
  return FormatDateTime("tt", value);
}
std::string DateTimeToStr(TDateTime value) {
  return FormatDateTime("c", value);
}

}  // namespace platform
