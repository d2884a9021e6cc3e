#include "storage/NameFold.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

#include <array>
#include <climits>

#include "corvana/data/Error.h"
#include "corvana/data/Text.h"

namespace evt::server::storage {

namespace {

// ICU's normalizers are shared, immutable singletons; the buffers are kept
// per thread so that folding a name during an import allocates nothing once
// they have grown to the longest name.
struct Folder {
    const icu::Normalizer2* nfd = nullptr;
    const icu::Normalizer2* nfc = nullptr;
    const icu::Normalizer2* nfkc = nullptr;
    icu::UnicodeString text, decomposed, bare, composed;

    Folder() {
        UErrorCode status = U_ZERO_ERROR;
        nfd = icu::Normalizer2::getNFDInstance(status);
        nfc = icu::Normalizer2::getNFCInstance(status);
        nfkc = icu::Normalizer2::getNFKCInstance(status);
        if (U_FAILURE(status))
            throw corvana::Error(std::string("Não foi possível carregar os dados Unicode (ICU): ") +
                                 u_errorName(status));
    }

    // Reads valid UTF-8 text into `text`.
    void Read(std::string_view run, UErrorCode& status) {
        // A UTF-8 text never needs more UTF-16 units than it has bytes.
        const auto capacity = static_cast<int32_t>(run.size());
        int32_t length = 0;
        UChar* buffer = text.getBuffer(capacity);
        u_strFromUTF8(buffer, capacity, &length, run.data(), capacity, &status);
        text.releaseBuffer(U_SUCCESS(status) ? length : 0);
    }

    // Appends the NFC (or NFKC) form of valid UTF-8 text to out.
    void Compose(std::string_view run, std::string& out, bool compatible = false) {
        if (run.empty()) return;
        UErrorCode status = U_ZERO_ERROR;
        Read(run, status);
        const icu::UnicodeString* result = &text;
        const icu::Normalizer2* form = compatible ? nfkc : nfc;
        if (!form->isNormalized(text, status)) {
            form->normalize(text, composed, status);
            result = &composed;
        }
        if (U_FAILURE(status))
            throw corvana::Error(std::string("Falha ao normalizar um texto (ICU): ") +
                                 u_errorName(status));
        result->toUTF8String(out);
    }

    // Appends the folded form of valid UTF-8 text to out.
    void Append(std::string_view run, std::string& out) {
        if (run.empty()) return;
        UErrorCode status = U_ZERO_ERROR;
        Read(run, status);

        text.foldCase(U_FOLD_CASE_DEFAULT);
        nfd->normalize(text, decomposed, status);
        bare.remove();
        for (int32_t i = 0; i < decomposed.length();) {
            const UChar32 c = decomposed.char32At(i);
            if (u_charType(c) != U_NON_SPACING_MARK) bare.append(c);
            i += U16_LENGTH(c);
        }
        // Dropping the marks leaves Latin text composed; other scripts may
        // need to be put back together.
        const icu::UnicodeString* result = &bare;
        if (!nfc->isNormalized(bare, status)) {
            nfc->normalize(bare, composed, status);
            result = &composed;
        }
        if (U_FAILURE(status))
            throw corvana::Error(std::string("Falha ao normalizar um nome (ICU): ") +
                                 u_errorName(status));
        result->toUTF8String(out);
    }
};

Folder& threadFolder() {
    thread_local Folder folder;
    return folder;
}

// Calls append(run, out) for each run of valid UTF-8 of text and copies
// the bytes of each invalid sequence between them to out.
template <typename Append>
std::string byValidRuns(std::string_view text, Append append) {
    std::string out;
    out.reserve(text.size());
    const char* s = text.data();
    const auto n = static_cast<int32_t>(text.size());
    int32_t runStart = 0;
    for (int32_t i = 0; i < n;) {
        const int32_t at = i;
        UChar32 c;
        U8_NEXT(s, i, n, c);
        if (c >= 0) continue;
        append(text.substr(static_cast<std::size_t>(runStart),
                           static_cast<std::size_t>(at - runStart)),
               out);
        out.append(s + at, static_cast<std::size_t>(i - at));
        runStart = i;
    }
    append(text.substr(static_cast<std::size_t>(runStart)), out);
    return out;
}

bool isAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Whether text is valid UTF-8 of code points below `limit` (at most U+0800:
// one or two bytes each).
bool isTwoByteTextBelow(std::string_view text, unsigned limit) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (s[i] < 0x80) continue;
        if (s[i] < 0xC2 || s[i] > 0xDF || i + 1 == n || (s[i + 1] & 0xC0) != 0x80) return false;
        if ((((s[i] & 0x1Fu) << 6) | (s[i + 1] & 0x3Fu)) >= limit) return false;
        ++i;
    }
    return true;
}

// The folded form of each character from U+0080 to U+00FF, as Folder
// makes it ("É" gives "e", "ß" "ss", "µ" "μ", "Æ" "æ"), computed once.
// None of them holds a combining mark, so the form of a text of such
// characters is the forms of its characters one after another.
const std::array<std::string, 128>& latin1Folds() {
    static const std::array<std::string, 128> folds = [] {
        std::array<std::string, 128> f;
        for (unsigned c = 0x80; c <= 0xFF; ++c) {
            const char utf8[] = {static_cast<char>(0xC0 | (c >> 6)),
                                 static_cast<char>(0x80 | (c & 0x3F))};
            threadFolder().Append(std::string_view(utf8, 2), f[c - 0x80]);
        }
        return f;
    }();
    return folds;
}

}  // namespace

std::string FoldName(std::string_view text) {
    // Most names of a list are plain ASCII: lower case is all there is to do.
    if (isAscii(text)) return corvana::foldCase(text);
    if (text.size() > static_cast<std::size_t>(INT32_MAX)) return corvana::foldCase(text);
    // Most of the rest are Portuguese, Spanish or French: Latin-1 letters,
    // each folded from a table.
    if (isTwoByteTextBelow(text, 0x100)) {
        const auto& folds = latin1Folds();
        std::string out;
        out.reserve(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (c < 0x80) {
                out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A'))
                                                   : static_cast<char>(c));
                continue;
            }
            out += folds[(((c & 0x1Fu) << 6) | (static_cast<unsigned char>(text[++i]) & 0x3Fu)) -
                         0x80];
        }
        return out;
    }

    return byValidRuns(
        text, [](std::string_view run, std::string& out) { threadFolder().Append(run, out); });
}

namespace {

bool IsDirectionControl(UChar32 c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// Which characters from U+0080 to U+00FF NFKC changes ("ª", "²", "µ", "¼"),
// computed once.
const std::array<bool, 128>& latin1Compatibility() {
    static const std::array<bool, 128> changes = [] {
        std::array<bool, 128> c{};
        for (unsigned cp = 0x80; cp <= 0xFF; ++cp) {
            const char utf8[] = {static_cast<char>(0xC0 | (cp >> 6)),
                                 static_cast<char>(0x80 | (cp & 0x3F))};
            std::string form;
            threadFolder().Compose(std::string_view(utf8, 2), form, true);
            c[cp - 0x80] = form != std::string_view(utf8, 2);
        }
        return c;
    }();
    return changes;
}

}  // namespace

std::string VisibleText(std::string_view text) {
    if (isAscii(text) || text.size() > static_cast<std::size_t>(INT32_MAX))
        return std::string(text);
    std::string out;
    out.reserve(text.size());
    const char* s = text.data();
    const auto n = static_cast<int32_t>(text.size());
    for (int32_t i = 0; i < n;) {
        const int32_t at = i;
        UChar32 c;
        U8_NEXT(s, i, n, c);
        const std::string_view bytes(s + at, static_cast<std::size_t>(i - at));
        if (c < 0x80) {  // ASCII, or a bad byte
            out += bytes;
            continue;
        }
        const auto type = static_cast<UCharCategory>(u_charType(c));
        if (type == U_SPACE_SEPARATOR || type == U_LINE_SEPARATOR ||
            type == U_PARAGRAPH_SEPARATOR) {
            out.push_back(' ');
        } else if ((type == U_FORMAT_CHAR ||
                    u_hasBinaryProperty(c, UCHAR_DEFAULT_IGNORABLE_CODE_POINT)) &&
                   !IsDirectionControl(c)) {
            continue;
        } else {
            out += bytes;
        }
    }
    return out;
}

bool HasDirectionControl(std::string_view text) {
    // Each of them is E2 80 AA..AE or E2 81 A6..A9 in UTF-8.
    for (std::size_t at = text.find('\xE2'); at != std::string_view::npos;
         at = text.find('\xE2', at + 1)) {
        if (at + 2 >= text.size()) return false;
        const auto second = static_cast<unsigned char>(text[at + 1]);
        const auto third = static_cast<unsigned char>(text[at + 2]);
        if ((second == 0x80 && third >= 0xAA && third <= 0xAE) ||
            (second == 0x81 && third >= 0xA6 && third <= 0xA9))
            return true;
    }
    return false;
}

std::string CompatibleText(std::string_view text) {
    if (isAscii(text) || text.size() > static_cast<std::size_t>(INT32_MAX))
        return std::string(text);
    if (isTwoByteTextBelow(text, 0x100)) {
        const auto& changes = latin1Compatibility();
        bool unchanged = true;
        for (std::size_t i = 0; i < text.size() && unchanged; ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (c < 0x80) continue;
            unchanged =
                !changes[(((c & 0x1Fu) << 6) | (static_cast<unsigned char>(text[++i]) & 0x3Fu)) -
                         0x80];
        }
        if (unchanged) return std::string(text);
    }
    return byValidRuns(text, [](std::string_view run, std::string& out) {
        threadFolder().Compose(run, out, true);
    });
}

std::string ComposedText(std::string_view text) {
    // Below U+0300 there is no combining mark and nothing that composes with
    // what comes before it: such a text is in NFC already.
    if (isTwoByteTextBelow(text, 0x300) || text.size() > static_cast<std::size_t>(INT32_MAX))
        return std::string(text);
    return byValidRuns(
        text, [](std::string_view run, std::string& out) { threadFolder().Compose(run, out); });
}

}  // namespace evt::server::storage
