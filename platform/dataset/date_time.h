// Dates and times of the data-set fields. A date-time value is a day count from
// 1899-12-30 with the time of day as its fraction. Fields store dates as a day number
// (0001-01-01 is day 1), times as milliseconds since midnight and date-times as
// milliseconds since the start of day 0.
#pragma once

#include <cstdint>
#include <string>

namespace dataset {

// Day number of 1899-12-30 in the field's date count.
constexpr std::int32_t kDateDelta = 693594;
constexpr double kMsPerDay = 86400000.0;

struct TimeStamp {
  std::int32_t Time = 0;  // milliseconds since midnight
  std::int32_t Date = 0;  // day number, 0001-01-01 is 1
};

TimeStamp DateTimeToTimeStamp(double dateTime);
double TimeStampToDateTime(const TimeStamp& ts);
double TimeStampToMSecs(const TimeStamp& ts);
TimeStamp MSecsToTimeStamp(double msecs);

double EncodeDate(int year, int month, int day);
double EncodeTime(int hour, int minute, int second, int ms);
void DecodeDate(double dateTime, int& year, int& month, int& day);
void DecodeTime(double dateTime, int& hour, int& minute, int& second, int& ms);
bool ValidDate(int year, int month, int day);

// "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS[.mmm]]" or "HH:MM[:SS[.mmm]]".
bool ParseDateTimeText(const std::string& text, double& dateTime);
std::string FormatDateTimeText(double dateTime);

// Reads text laid out by a format of the letters y, m, d (date) or h, n, s (time) with
// any separators between them, for example "dd.mm.yyyy" or "hh:nn".
bool ParseWithFormat(const std::string& text, const std::string& format, double& dateTime);

double Now();

}  // namespace dataset
