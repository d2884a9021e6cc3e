#include "storage/NameFold.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

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
    icu::UnicodeString text, decomposed, bare, composed;

    Folder() {
        UErrorCode status = U_ZERO_ERROR;
        nfd = icu::Normalizer2::getNFDInstance(status);
        nfc = icu::Normalizer2::getNFCInstance(status);
        if (U_FAILURE(status))
            throw corvana::Error(std::string("Não foi possível carregar os dados Unicode (ICU): ") +
                                 u_errorName(status));
    }

    // Appends the folded form of valid UTF-8 text to out.
    void Append(std::string_view run, std::string& out) {
        if (run.empty()) return;
        UErrorCode status = U_ZERO_ERROR;
        // A UTF-8 text never needs more UTF-16 units than it has bytes.
        const auto capacity = static_cast<int32_t>(run.size());
        int32_t length = 0;
        UChar* buffer = text.getBuffer(capacity);
        u_strFromUTF8(buffer, capacity, &length, run.data(), capacity, &status);
        text.releaseBuffer(U_SUCCESS(status) ? length : 0);

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

bool isAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

}  // namespace

std::string FoldName(std::string_view text) {
    // Most names of a list are plain ASCII: lower case is all there is to do.
    if (isAscii(text)) return corvana::foldCase(text);
    if (text.size() > static_cast<std::size_t>(INT32_MAX)) return corvana::foldCase(text);

    thread_local Folder folder;
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
        // An invalid sequence: the text before it is folded, its bytes copied.
        folder.Append(text.substr(static_cast<std::size_t>(runStart),
                                  static_cast<std::size_t>(at - runStart)),
                      out);
        out.append(s + at, static_cast<std::size_t>(i - at));
        runStart = i;
    }
    folder.Append(text.substr(static_cast<std::size_t>(runStart)), out);
    return out;
}

}  // namespace evt::server::storage
