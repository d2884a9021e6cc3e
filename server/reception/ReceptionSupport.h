#pragma once
// What the organiser's module (RdmRecepcao) and the station's calls
// (StationApi) share: the list's key, times, digests and codes, and the
// guests as reception reads them (docs/reception.md).
#include <chrono>
#include <compare>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "storage/Database.h"

namespace evt::server::reception {

// Branch, budget and sequence: which guest list.
struct ListKey {
    std::string branch, budget, sequence;
    auto operator<=>(const ListKey&) const = default;
};

// "filial 0001, orçamento 0000000001, sequência 01".
std::string Describe(const ListKey& list);

// The server's local time as stored: "2026-12-08T20:41:07".
std::string NowText();
// A moment in the server's local time, as stored.
std::string TimeText(std::chrono::system_clock::time_point when);
// A time the station sent ("2026-12-08T20:41:07-03:00", "...Z", or without
// a zone: taken as local) in the server's local time as stored; nullopt when
// it is not such a time.
std::optional<std::string> StationTimeText(std::string_view text);
// "20:41" of a stored time.
std::string ClockText(std::string_view stored);

// The SHA-256 digest of a text, in lowercase hex (64 characters).
std::string DigestHex(std::string_view text);

// A station's one-time code: 10 characters of kCodeAlphabet, from the
// system's random source.
inline constexpr std::string_view kCodeAlphabet = "ABCDEFGHJKMNPQRSTUVWXYZ23456789";
inline constexpr std::size_t kCodeLength = 10;
std::string NewCode();
// A code as typed, in the form it was made ("abcd-efgh 23" → "ABCDEFGH23");
// nullopt when it cannot be one.
std::optional<std::string> CodeAsMade(std::string_view typed);
// A station token: 32 random bytes in base64url (43 characters).
std::string NewToken();

// The people of a guest's entry: QUANTIDADE, 1 when empty or below 1, its
// whole part otherwise.
int PeopleOf(const std::optional<double>& quantity);

// A list's reception row.
struct ListState {
    bool enabled = false;
    std::int64_t version = 0;
    std::int64_t wholeVersion = 0;  // NRVERSAOLISTA
};
std::optional<ListState> ReadListState(storage::Connection& connection, const ListKey& list);

// Whether the budget sequence exists.
bool ListExists(storage::Connection& connection, const ListKey& list);

// What the check-ins of a guest add up to.
struct Arrivals {
    int people = 0;  // of the check-ins and door additions not undone
    bool door = false;
    std::string lastWhen;  // stored time of the latest not undone; empty when none
    std::string lastStation;
};

// A guest as the station sees it.
struct StationGuest {
    std::string number, name, rg, document, phone, cell, treatment;
    bool special = false;  // IDTIPOCONVEVEN "ESPECIAL"
    bool contract = false;
    int quantity = 1;
    Arrivals arrivals;
    int Arrived() const { return std::min(quantity, arrivals.people); }
};

// The guests of a list (all of them, or those numbered in `only`) with their
// arrivals, in number order.
std::vector<StationGuest> ReadGuests(storage::Connection& connection, const ListKey& list,
                                     const std::set<std::string>* only = nullptr);

// Text members of a JSON object being written, comma separated, each
// `"key":"text"` with the text escaped; the caller writes the braces and
// any comma before them.
using JsonTexts = std::initializer_list<std::pair<std::string_view, std::string_view>>;
void AppendJsonTexts(std::string& out, JsonTexts members);

// The guest's JSON object (docs/reception.md).
void AppendGuestJson(std::string& out, const StationGuest& guest);

// The totals of a list: guests, people expected, people arrived.
struct Totals {
    std::int64_t guests = 0, people = 0, arrived = 0;
};
Totals ReadTotals(storage::Connection& connection, const ListKey& list);

}  // namespace evt::server::reception
