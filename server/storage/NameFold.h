#pragma once
#include <string>
#include <string_view>

namespace evt::server::storage {

// The text with letter case and accents folded away, for comparing names:
// "JOSÉ", "José", "jose" and "Jose" (also with the accent typed as a
// separate combining mark) give the same text, "Gonçalves" and "Goncalves"
// too. Full Unicode case folding ("Straße" matches "STRASSE"), then every
// non-spacing mark of the canonical decomposition is dropped; the result is
// in NFC. Blanks are kept as they are.
//
// Any byte sequence is accepted: a byte that does not belong to a valid
// UTF-8 sequence is copied unchanged and the valid text around it is
// folded. The result never holds an ASCII capital letter.
//
// Safe to call from any thread; raises corvana::Error only when the
// Unicode data cannot be loaded.
std::string FoldName(std::string_view text);

// The text in Unicode NFC, the form every text is stored in: a letter and
// its accent typed as a separate combining mark ("e" + U+0301) become the
// one precomposed letter ("é"). Bad bytes are copied unchanged, as by
// FoldName; text of characters below U+0300 (ASCII, Latin-1, Latin
// Extended) is in NFC already and returned as it is.
std::string ComposedText(std::string_view text);

}  // namespace evt::server::storage
