// Fuzzes the import screen's reading of a guest file (import/GuestFile.h):
// the bytes of a file are decoded (DecodeGuestFile: Windows-1252, UTF-8 or
// UTF-16 chosen from the bytes) and cut into guests (CutGuestLines).
//
// What it holds them to:
//  - decoding never raises and always gives well-formed UTF-8, and the
//    encoding it reports is the one a byte-order mark names;
//  - every guest has a name of 1 to 80 characters and an R.G. of at most
//    20, both without edge blanks and without line ends;
//  - there are no more guests than lines.
// The server's import of the guests (GetImpLista) is fuzzed by fuzz_router.
#include <algorithm>
#include <cstdint>

#include "FuzzSupport.h"
#include "corvana/data/Text.h"
#include "import/GuestFile.h"

namespace {

bool HasEdgeBlank(std::string_view text) {
    constexpr std::string_view kBlanks = " \t";
    return !text.empty() && (kBlanks.find(text.front()) != kBlanks.npos ||
                             kBlanks.find(text.back()) != kBlanks.npos);
}

bool HasLineEnd(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    GuestFileEncoding encoding = GuestFileEncoding::Windows1252;
    const std::string text = DecodeGuestFile(bytes, encoding);
    fuzz::Check(corvana::isValidUtf8(text), "decoded text is not UTF-8", text);
    if (bytes.starts_with("\xEF\xBB\xBF"))
        fuzz::Check(encoding == GuestFileEncoding::Utf8, "UTF-8 mark not read as UTF-8");
    else if (bytes.starts_with("\xFF\xFE"))
        fuzz::Check(encoding == GuestFileEncoding::Utf16LE, "UTF-16LE mark not read as such");
    else if (bytes.starts_with("\xFE\xFF"))
        fuzz::Check(encoding == GuestFileEncoding::Utf16BE, "UTF-16BE mark not read as such");

    const std::vector<GuestLine> guests = CutGuestLines(text);
    const std::size_t lines =
        1 + static_cast<std::size_t>(std::count_if(text.begin(), text.end(),
                                                   [](char c) { return c == '\n' || c == '\r'; }));
    fuzz::Check(guests.size() <= lines, "more guests than lines");
    for (const GuestLine& guest : guests) {
        const std::size_t nameLength = corvana::utf8Length(guest.name);
        fuzz::Check(nameLength >= 1 && nameLength <= 80, "name of a wrong length", guest.name);
        fuzz::Check(corvana::utf8Length(guest.rg) <= 20, "R.G. longer than 20", guest.rg);
        fuzz::Check(!HasEdgeBlank(guest.name) && !HasLineEnd(guest.name),
                    "name with an edge blank or a line end", guest.name);
        fuzz::Check(!HasEdgeBlank(guest.rg) && !HasLineEnd(guest.rg),
                    "R.G. with an edge blank or a line end", guest.rg);
        fuzz::Check(corvana::isValidUtf8(guest.name) && corvana::isValidUtf8(guest.rg),
                    "guest text is not UTF-8", guest.name + "|" + guest.rg);
    }
    return 0;
}
