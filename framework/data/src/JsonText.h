#pragma once
// Internal helpers for the JSON forms of Variant and DataPacket: a fast
// writer and the streaming reader that builds values without an
// intermediate document (a 100,000-row list packet is read in one pass).
#include <string>
#include <string_view>

#include <optional>

#include "corvana/data/DataPacket.h"
#include "corvana/data/PackedRow.h"
#include "corvana/data/Variant.h"

namespace corvana::json_text {

// Appends `s` as a JSON string. A bad byte (corvana/data/Text.h) is written
// as U+FFFD, so that the output is always valid JSON.
void appendString(std::string& out, std::string_view s);
// Appends a double so that it reads back as a float: always with a fraction
// or an exponent. NaN and infinities have no JSON form and are written null.
void appendFloat(std::string& out, double d);
void appendVariant(std::string& out, const Variant& v);
void appendPacket(std::string& out, const DataPacket& p);

// Deepest nesting accepted when reading: a packet needs 4 levels inside its
// envelope; argument arrays rarely more than 2. Deeper input is refused
// before anything is built from it.
constexpr int kMaxDepth = 64;

// Without a budget nothing is counted; with one, the reader raises
// MemoryLimitError once the value it builds would hold more than `budget`
// bytes (Variant::fromJson).
constexpr std::size_t kNoBudget = static_cast<std::size_t>(-1);

// With packRows, every packet's rows and changes are read packed.
Variant readVariant(std::string_view text, std::size_t budget = kNoBudget, bool packRows = false);
DataPacket readPacket(std::string_view text, std::size_t budget = kNoBudget);
// PackedData::fromAnswerJson.
std::optional<PackedData> readAnswerPacked(std::string_view text, Variant& other);

}  // namespace corvana::json_text
