#pragma once
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvana {

// A civil date and time without a time zone, as event dates are kept.
struct DateTime {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, millisecond = 0;

    auto operator<=>(const DateTime&) const = default;

    // "2026-12-07T19:44:00" (milliseconds added only when not zero).
    std::string toIso() const;
    // Accepts "YYYY-MM-DD", "YYYY-MM-DDTHH:MM[:SS[.mmm]]" and a space in
    // place of the "T". Empty optional when the text is not such a date or
    // names an impossible day.
    static std::optional<DateTime> fromIso(std::string_view text);
    // The Brazilian display form: "07/12/2026 19:44:00", or "07/12/2026"
    // when the time is midnight.
    std::string toDisplay() const;
    bool valid() const;
};

}  // namespace corvana
