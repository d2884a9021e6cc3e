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

// What a person sees of a name or an R.G., by Unicode's own data: every
// space separator and line or paragraph separator (categories Zs, Zl, Zp:
// the non-breaking, thin, em and ideographic spaces, U+2028) becomes a plain
// blank, and every format character (Cf: the soft hyphen, direction marks,
// joiners, the BOM) and default-ignorable code point (the Hangul fillers,
// variation selectors) is removed; the direction overrides and isolates are
// kept, for HasDirectionControl to refuse. Bad bytes are copied unchanged;
// ASCII text is returned as it is.
std::string VisibleText(std::string_view text);

// True when the text holds a character that overrides or isolates the
// direction of the text around it (U+202A to U+202E, U+2066 to U+2069):
// "Ana\u202Eetset" is shown as "Anatestes" reversed. Refused in every field.
bool HasDirectionControl(std::string_view text);

// The text in Unicode NFKC, for the keys: compatibility forms are folded
// (full-width digits and letters, ligatures, superscripts, "ª" to "a").
// Bad bytes are copied unchanged; ASCII text is returned as it is.
std::string CompatibleText(std::string_view text);

}  // namespace evt::server::storage
