// Automation dates (DATE): days since 30 December 1899, midnight, with the
// time of day as the fraction; before that day the whole part counts back
// while the fraction still counts forward (-1.25 is 29 December 1899, 6:00).
// Valid dates run from 1 January 100 (-657434) to 31 December 9999
// (2958465 and the fraction of that day).
//
// Their text is the short date and the long time of the locale: for English
// locales (primary language 0x09) "M/d/yyyy" and "h:mm:ss AM" or "PM", for
// every other locale, the invariant one (0x007F) included, the invariant
// forms "MM/dd/yyyy" and "HH:mm:ss" (the platform has no other locales'
// date formats). A date whose whole part is 0 is shown as its time only, one
// at midnight as its date only, others as the date, a space and the time.
// Times are rounded to the second.
//
// Text read as a date, in every locale: "M/d/yyyy" (month first, as the
// English short date and the invariant one write it) or "yyyy-M-d", each
// optionally followed by a time "h:mm" or "h:mm:ss" with an optional AM or
// PM; or a time alone (which is on 30 December 1899). Years have four
// digits. White space around the parts is skipped; anything else is not a
// date (DISP_E_TYPEMISMATCH), nor is a day the month lacks.
#pragma once

#include <cstddef>
#include <string>

#include "fgplatform/basetypes.h"

namespace fgp {

inline constexpr double kFirstDay = -657434.0;  // 1 January 100
inline constexpr double kLastDay = 2958465.0;   // 31 December 9999

// Whether a number is a valid date: its whole part (the day, whichever way
// the fraction counts) is one of those days.
bool DateInRange(double date);

// The text of a valid date in the locale; false for one out of range.
bool DateToText(double date, LCID lcid, std::u16string& out);

// The date a text names; false when it names none or one out of range.
bool TextToDate(const char16_t* text, size_t length, double& out);

}  // namespace fgp
