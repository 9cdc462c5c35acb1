// Dates and times of the data-set fields. A date-time value is a day count from
// 1899-12-30 with the time of day as its fraction. Fields store dates as a day number
// (0001-01-01 is day 1), times as milliseconds since midnight and date-times as
// milliseconds since the start of day 0.
#pragma once

#include <cstdint>
#include <string>

#include "platform/dataset/variant.h"

namespace dataset {

// Day number of 1899-12-30 in the field's date count.
constexpr std::int32_t kDateDelta = 693594;
constexpr double kMsPerDay = 86400000.0;

struct TimeStamp {
  std::int32_t Time = 0;  // milliseconds since midnight
  std::int32_t Date = 0;  // day number, 0001-01-01 is 1
};

// The dates a field holds: 0001-01-01 to 9999-12-31, as date-time values and as day numbers.
constexpr double kMinDateTime = -693593.0;
constexpr double kMaxDateTime = 2958466.0;  // 10000-01-01, the first day past the range
constexpr std::int32_t kMaxDateNumber = 3652059;

// A date or time outside the range above, or no number at all: the conversions refuse it
// instead of casting it into some other day.
class DateRangeError : public VariantError {
 public:
  using VariantError::VariantError;
};

// Raise DateRangeError for a value outside the range (also the next two).
TimeStamp DateTimeToTimeStamp(double dateTime);
double TimeStampToDateTime(const TimeStamp& ts);
double TimeStampToMSecs(const TimeStamp& ts);
TimeStamp MSecsToTimeStamp(double msecs);
// Whether the native value of a date (day number), time (milliseconds) or date-time
// (milliseconds) field lies in the range.
bool ValidDateNumber(std::int32_t date);
bool ValidTimeNumber(std::int32_t time);
bool ValidDateTimeMSecs(double msecs);

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
