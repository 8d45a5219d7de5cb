// Dates of the key-expression language: Julian day numbers and their text forms.
//
// A real date is a day number from 1 January of year 1 to 31 December 9999 (proleptic
// Gregorian calendar). Day 0 is what a blank date field reads as; kEmptyDate (1.0e100) is the
// empty date of CTOD(""). Neither is a real date: both write as blanks.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/expr/ansi_locale.h"
#include "engine/expr/tgs_variant.h"

namespace abonex {

// Julian day number of a valid calendar date.
int julianDayFromCivil(const CivilDate& date);
// The calendar date of a day number, or std::nullopt when it is not a real date (day 0, the
// empty date, a fraction of a day is ignored, anything outside years 1-9999).
std::optional<CivilDate> civilFromJulianDay(double julianDay);

// The first and last real day numbers (1 January 1 and 31 December 9999).
inline constexpr int kFirstJulianDay = 1721426;
inline constexpr int kLastJulianDay = 5373484;

// The date a text names, read as CTOD reads it: trailing blanks removed; an empty result
// (a text of blanks only) or "00000000" gives day 0; eight digits read as yyyymmdd; any other
// text in the short date format (dd.MM.yyyy). A text that names no date gives day 0.
// CTOD adds the rule that an empty text (no bytes at all) is the empty date.
double dateFromText(std::string_view text);

// "yyyymmdd", or eight blanks when the day is not a real date.
std::string dateToDtos(double julianDay);
// "dd.MM.yyyy", or ten blanks when the day is not a real date.
std::string dateToShortText(double julianDay);

// Today's day number in local time.
int julianToday();

}  // namespace abonex
