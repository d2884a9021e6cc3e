#pragma once
#include <string>
#include <string_view>
#include <vector>

// The guest file of the import screen: a text file with one guest per line,
// the name in columns 1 to 80 and the R.G. in columns 81 to 181, without
// separators (docs/import.md describes it for the people who prepare it).

// How the bytes of a file were read.
enum class GuestFileEncoding {
    Windows1252,  // the host's ANSI code page; plain ASCII reads the same
    Utf8,         // valid UTF-8 holding other than ASCII, or with a byte-order mark
    Utf16LE,      // with its byte-order mark (FF FE)
    Utf16BE,      // with its byte-order mark (FE FF)
};

// One usable line: both texts in UTF-8, without edge blanks and tabs.
struct GuestLine {
    std::string name;  // at most 80 characters, never empty
    std::string rg;    // at most 20 characters, may be empty
    bool operator==(const GuestLine&) const = default;
};

struct GuestFile {
    GuestFileEncoding encoding = GuestFileEncoding::Windows1252;
    std::vector<GuestLine> guests;  // in file order
};

// Reads the whole file at `path` and cuts it into guests. Raises
// corvana::Error with a Portuguese text naming the file when it cannot be
// read: it cannot be opened (permission, missing), it is a folder, a device
// or anything but a regular file, reading fails, or it holds NUL bytes (no
// text file does, in the encodings above).
GuestFile ReadGuestFile(const std::string& path);

// The file's bytes as UTF-8, and how they were read. The choice: a UTF-8
// byte-order mark gives UTF-8 (where each byte outside a well-formed
// sequence becomes U+FFFD, as in corvana/data/Text.h) and a UTF-16 one
// UTF-16 (each mark is dropped); otherwise bytes that are all valid UTF-8
// and not all ASCII give UTF-8; anything else is Windows-1252, decoded by
// iconv, where each byte is one character and the five bytes the code page
// leaves undefined become U+FFFD. Never raises.
std::string DecodeGuestFile(std::string_view bytes, GuestFileEncoding& encoding);

// The file's bytes as UTF-8 read in the encoding given (the user's choice
// over the one DecodeGuestFile detected): a byte-order mark of that encoding
// is dropped, what does not decode becomes U+FFFD. Never raises.
std::string DecodeGuestFileAs(std::string_view bytes, GuestFileEncoding encoding);

// The usable lines of decoded text. Lines end at LF, CR LF or a CR alone; a
// last line without an end counts, and a DOS end-of-file mark (Ctrl+Z) as
// the very last character is dropped. Columns count characters: the name is
// characters 1 to 80, the R.G. characters 81 to 181; in both a non-breaking
// space becomes a blank and a zero-width character is dropped
// (corvana::plainBlanks), then both are trimmed of blanks and tabs, the R.G.
// then keeps its first 20 characters. A line whose name is empty is skipped,
// whatever its R.G. columns hold. Control characters are kept: the server
// refuses the guest and lists the line.
std::vector<GuestLine> CutGuestLines(std::string_view text);
