#include "date_text.h"

#include <cmath>
#include <cstdio>

#include "locale_table.h"

namespace fgp {

namespace {

// Days from 1 March of year 0 of the proleptic Gregorian calendar, in
// 400-year eras of 146097 days.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yearOfEra = y - era * 400;
  int64_t dayOfYear = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra;
}

void CivilFromDays(int64_t z, int64_t& y, int& m, int& d) {
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t dayOfEra = z - era * 146097;
  int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  int64_t mp = (5 * dayOfYear + 2) / 153;
  d = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = yearOfEra + era * 400 + (m <= 2);
}

const int64_t kEpoch = DaysFromCivil(1899, 12, 30);

bool English(LCID lcid) { return (ResolveLocale(lcid) & 0x3FF) == 0x09; }

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Reads a date's text part by part: numbers, marks and AM or PM, with the
// white space around them skipped.
class Reader {
 public:
  Reader(const char16_t* text, size_t length) : m_at(text), m_end(text + length) {}
  void SkipSpace() {
    while (m_at < m_end && (*m_at == u' ' || *m_at == u'\t')) ++m_at;
  }
  bool AtEnd() {
    SkipSpace();
    return m_at == m_end;
  }
  // A number of 1 to `maxDigits` digits.
  bool Number(int maxDigits, int& out, int* digits = nullptr) {
    SkipSpace();
    int n = 0;
    out = 0;
    for (; m_at < m_end && IsDigit(*m_at) && n < maxDigits; ++m_at, ++n) out = out * 10 + (*m_at - u'0');
    if (digits != nullptr) *digits = n;
    return n > 0 && (m_at == m_end || !IsDigit(*m_at));
  }
  bool Mark(char16_t c) {
    SkipSpace();
    if (m_at == m_end || *m_at != c) return false;
    ++m_at;
    return true;
  }
  char16_t Peek() {
    SkipSpace();
    return m_at < m_end ? *m_at : 0;
  }
  // "AM" or "PM" in any case: 0 for none, 1 for AM, 2 for PM.
  int Meridiem() {
    SkipSpace();
    if (m_end - m_at < 2 || (m_at[1] != u'M' && m_at[1] != u'm')) return 0;
    int which = m_at[0] == u'A' || m_at[0] == u'a' ? 1 : m_at[0] == u'P' || m_at[0] == u'p' ? 2 : 0;
    if (which != 0) m_at += 2;
    return which;
  }

 private:
  const char16_t* m_at;
  const char16_t* m_end;
};

bool ValidDay(int64_t y, int m, int d) {
  if (m < 1 || m > 12 || d < 1 || d > 31) return false;
  int64_t first = DaysFromCivil(y, m, 1);
  int64_t next = m == 12 ? DaysFromCivil(y + 1, 1, 1) : DaysFromCivil(y, m + 1, 1);
  return d <= next - first;
}

// A time after its hour was read: ":mm[:ss] [AM|PM]", as seconds.
bool ReadTime(Reader& r, int hour, int& seconds) {
  int minute = 0, second = 0;
  if (!r.Mark(u':') || !r.Number(2, minute)) return false;
  if (r.Mark(u':') && !r.Number(2, second)) return false;
  int meridiem = r.Meridiem();
  if (meridiem != 0) {
    if (hour < 1 || hour > 12) return false;
    hour = hour % 12 + (meridiem == 2 ? 12 : 0);
  }
  if (hour > 23 || minute > 59 || second > 59) return false;
  seconds = hour * 3600 + minute * 60 + second;
  return true;
}

double Compose(int64_t days, int seconds) {
  double fraction = seconds / 86400.0;
  return static_cast<double>(days) + (days >= 0 ? fraction : -fraction);
}

}  // namespace

bool DateInRange(double date) {
  return std::isfinite(date) && std::trunc(date) >= kFirstDay && std::trunc(date) <= kLastDay;
}

bool DateToText(double date, LCID lcid, std::u16string& out) {
  if (!DateInRange(date)) return false;
  int64_t days = static_cast<int64_t>(std::trunc(date));
  auto seconds = static_cast<int64_t>(std::llround(std::fabs(date - static_cast<double>(days)) * 86400.0));
  int64_t calendarDay = days;
  if (seconds >= 86400) {
    seconds -= 86400;
    ++calendarDay;  // the fraction counts forward on either side of the epoch
  }
  int64_t y = 0;
  int m = 0, d = 0;
  CivilFromDays(kEpoch + calendarDay, y, m, d);
  int hour = static_cast<int>(seconds / 3600), minute = static_cast<int>(seconds / 60 % 60),
      second = static_cast<int>(seconds % 60);
  bool english = English(lcid);
  char dateText[32] = "", timeText[32] = "";
  std::snprintf(dateText, sizeof dateText, english ? "%d/%d/%04lld" : "%02d/%02d/%04lld", m, d,
                static_cast<long long>(y));
  if (english)
    std::snprintf(timeText, sizeof timeText, "%d:%02d:%02d %s", hour % 12 == 0 ? 12 : hour % 12, minute, second,
                  hour < 12 ? "AM" : "PM");
  else
    std::snprintf(timeText, sizeof timeText, "%02d:%02d:%02d", hour, minute, second);
  std::string text = calendarDay == 0 && days == 0 ? timeText
                     : seconds == 0               ? dateText
                                                  : std::string(dateText) + " " + timeText;
  out.assign(text.begin(), text.end());
  return true;
}

bool TextToDate(const char16_t* text, size_t length, double& out) {
  Reader r(text, length);
  int first = 0, digits = 0;
  if (!r.Number(4, first, &digits)) return false;
  int64_t days = 0;
  int seconds = 0;
  if (r.Peek() == u':') {
    if (!ReadTime(r, first, seconds)) return false;  // a time alone
  } else {
    int64_t y = 0;
    int m = 0, d = 0, year = 0, yearDigits = 0;
    if (digits == 4 && r.Mark(u'-')) {
      y = first;
      if (!r.Number(2, m) || !r.Mark(u'-') || !r.Number(2, d)) return false;
    } else if (digits <= 2 && r.Mark(u'/')) {
      m = first;
      if (!r.Number(2, d) || !r.Mark(u'/') || !r.Number(4, year, &yearDigits) || yearDigits != 4) return false;
      y = year;
    } else {
      return false;
    }
    if (!ValidDay(y, m, d)) return false;
    days = DaysFromCivil(y, m, d) - kEpoch;
    int hour = 0;
    if (!r.AtEnd() && (!r.Number(2, hour) || !ReadTime(r, hour, seconds))) return false;
  }
  if (!r.AtEnd()) return false;
  out = Compose(days, seconds);
  return DateInRange(out);
}

}  // namespace fgp
