#include "corvana/data/DateTime.h"

#include <charconv>
#include <cstdio>

namespace corvana {

namespace {

bool leapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leapYear(y) ? 29 : days[m - 1];
}

// Reads exactly `width` digits at `pos`; false when they are not there.
bool digits(std::string_view s, std::size_t pos, std::size_t width, int& out) {
    if (pos + width > s.size()) return false;
    for (std::size_t i = pos; i < pos + width; ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    std::from_chars(s.data() + pos, s.data() + pos + width, out);
    return true;
}

}  // namespace

bool DateTime::valid() const {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= daysInMonth(year, month) && hour >= 0 && hour < 24 && minute >= 0 &&
           minute < 60 && second >= 0 && second < 60 && millisecond >= 0 && millisecond < 1000;
}

std::string DateTime::toIso() const {
    char buf[40];
    if (millisecond != 0)
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", year, month, day, hour,
                      minute, second, millisecond);
    else
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", year, month, day, hour,
                      minute, second);
    return buf;
}

std::string DateTime::toDisplay() const {
    char buf[40];
    if (hour == 0 && minute == 0 && second == 0 && millisecond == 0)
        std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", day, month, year);
    else
        std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", day, month, year, hour,
                      minute, second);
    return buf;
}

std::optional<DateTime> DateTime::fromIso(std::string_view s) {
    DateTime d;
    if (!digits(s, 0, 4, d.year) || s.size() < 10 || s[4] != '-' || s[7] != '-' ||
        !digits(s, 5, 2, d.month) || !digits(s, 8, 2, d.day))
        return std::nullopt;
    d.hour = d.minute = d.second = d.millisecond = 0;
    if (s.size() > 10) {
        if ((s[10] != 'T' && s[10] != ' ') || s.size() < 16 || s[13] != ':' ||
            !digits(s, 11, 2, d.hour) || !digits(s, 14, 2, d.minute))
            return std::nullopt;
        std::size_t pos = 16;
        if (s.size() > pos) {
            if (s[pos] != ':' || !digits(s, pos + 1, 2, d.second)) return std::nullopt;
            pos += 3;
            if (s.size() > pos) {
                if (s[pos] != '.' || !digits(s, pos + 1, 3, d.millisecond) || s.size() != pos + 4)
                    return std::nullopt;
            }
        }
    }
    if (!d.valid()) return std::nullopt;
    return d;
}

}  // namespace corvana
