#include "import/GuestFile.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "corvana/data/Error.h"
#include "corvana/data/Text.h"

namespace {

constexpr std::size_t kNameColumns = 80;
constexpr std::size_t kRgColumns = 101;  // columns 81 to 181
constexpr std::size_t kRgSize = 20;

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LEMark = "\xFF\xFE";
constexpr std::string_view kUtf16BEMark = "\xFE\xFF";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

[[noreturn]] void Unreadable(const std::string& path, const std::string& why) {
    throw corvana::Error("Não foi possível ler o arquivo \"" + path + "\": " + why + ".");
}

std::string Reason(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return "sem permissão de leitura";
        case ENOENT:
            return "o arquivo não existe mais";
        case EISDIR:
            return "é uma pasta, não um arquivo";
        case EIO:
            return "erro de leitura do disco ou do dispositivo";
        default:
            return "erro do sistema " + std::to_string(error) + " (" + std::strerror(error) + ")";
    }
}

struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// The whole content of a regular file. Opening does not wait on a fifo or
// a device: those are refused once opened.
std::string ReadAll(const std::string& path) {
    const Descriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (file.fd < 0) Unreadable(path, Reason(errno));
    struct stat info {};
    if (::fstat(file.fd, &info) != 0) Unreadable(path, Reason(errno));
    if (S_ISDIR(info.st_mode)) Unreadable(path, "é uma pasta, não um arquivo");
    if (!S_ISREG(info.st_mode))
        Unreadable(path, "não é um arquivo comum (é um dispositivo, uma fila ou um soquete)");
    std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t filled = 0;
    while (true) {
        if (filled == bytes.size()) bytes.resize(bytes.size() + 65536);  // until read says the end
        const ssize_t n = ::read(file.fd, bytes.data() + filled, bytes.size() - filled);
        if (n < 0) {
            if (errno == EINTR) continue;
            Unreadable(path, Reason(errno));
        }
        if (n == 0) break;
        filled += static_cast<std::size_t>(n);
    }
    bytes.resize(filled);
    return bytes;
}

// `in`, in the iconv encoding `from`, as UTF-8. What iconv refuses (a byte
// the code page leaves undefined, a broken sequence) becomes U+FFFD, and
// `unit` bytes of it are passed over.
std::string ToUtf8(std::string_view in, const char* from, std::size_t unit) {
    using Converter = std::unique_ptr<std::remove_pointer_t<iconv_t>, int (*)(iconv_t)>;
    const Converter cd(iconv_open("UTF-8", from), iconv_close);
    if (cd.get() == reinterpret_cast<iconv_t>(-1))
        throw corvana::Error(std::string("Conversor de texto ") + from + " indisponível.");
    // Every unit gives at most three bytes, the replacement included.
    std::string out(in.size() * 3 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    while (srcLeft > 0 &&
           iconv(cd.get(), &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1)) {
        if (errno == E2BIG || dstLeft < kReplacement.size()) {
            const std::size_t used = out.size() - dstLeft;
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dstLeft = out.size() - used;
            continue;
        }
        std::memcpy(dst, kReplacement.data(), kReplacement.size());
        dst += kReplacement.size();
        dstLeft -= kReplacement.size();
        const std::size_t skip = std::min(unit, srcLeft);
        src += skip;
        srcLeft -= skip;
    }
    out.resize(out.size() - dstLeft);
    return out;
}

bool IsAscii(std::string_view bytes) {
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Just past the first `count` characters of `text` from byte `from`.
std::size_t Advance(std::string_view text, std::size_t from, std::size_t count) {
    std::size_t at = from;
    for (; count > 0 && at < text.size(); --count) at += corvana::decodeUtf8At(text, at).length;
    return at;
}

}  // namespace

std::string DecodeGuestFile(std::string_view bytes, GuestFileEncoding& encoding) {
    if (bytes.starts_with(kUtf8Mark)) {
        encoding = GuestFileEncoding::Utf8;
        bytes.remove_prefix(kUtf8Mark.size());
        // The system's own codec, not iconv: glibc's lets the old five- and
        // six-byte forms and code points above U+10FFFF through.
        return corvana::isValidUtf8(bytes) ? std::string(bytes)
                                           : corvana::encodeUtf8(corvana::decodeUtf8(bytes));
    }
    if (bytes.starts_with(kUtf16LEMark)) {
        encoding = GuestFileEncoding::Utf16LE;
        return ToUtf8(bytes.substr(kUtf16LEMark.size()), "UTF-16LE", 2);
    }
    if (bytes.starts_with(kUtf16BEMark)) {
        encoding = GuestFileEncoding::Utf16BE;
        return ToUtf8(bytes.substr(kUtf16BEMark.size()), "UTF-16BE", 2);
    }
    if (IsAscii(bytes)) {
        encoding = GuestFileEncoding::Windows1252;
        return std::string(bytes);
    }
    if (corvana::isValidUtf8(bytes)) {
        encoding = GuestFileEncoding::Utf8;
        return std::string(bytes);
    }
    encoding = GuestFileEncoding::Windows1252;
    return ToUtf8(bytes, "WINDOWS-1252", 1);
}

std::string DecodeGuestFileAs(std::string_view bytes, GuestFileEncoding encoding) {
    switch (encoding) {
        case GuestFileEncoding::Utf8:
            if (bytes.starts_with(kUtf8Mark)) bytes.remove_prefix(kUtf8Mark.size());
            return corvana::isValidUtf8(bytes) ? std::string(bytes)
                                               : corvana::encodeUtf8(corvana::decodeUtf8(bytes));
        case GuestFileEncoding::Utf16LE:
            if (bytes.starts_with(kUtf16LEMark)) bytes.remove_prefix(kUtf16LEMark.size());
            return ToUtf8(bytes, "UTF-16LE", 2);
        case GuestFileEncoding::Utf16BE:
            if (bytes.starts_with(kUtf16BEMark)) bytes.remove_prefix(kUtf16BEMark.size());
            return ToUtf8(bytes, "UTF-16BE", 2);
        case GuestFileEncoding::Windows1252:
            break;
    }
    return IsAscii(bytes) ? std::string(bytes) : ToUtf8(bytes, "WINDOWS-1252", 1);
}

std::vector<GuestLine> CutGuestLines(std::string_view text) {
    if (!text.empty() && text.back() == '\x1A') text.remove_suffix(1);
    std::vector<GuestLine> guests;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find_first_of("\r\n", at);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(at, end - at);
        at = end;
        if (at < text.size()) at += text.compare(at, 2, "\r\n") == 0 ? 2 : 1;

        // Columns are cut as typed; then a non-breaking space is a blank and a
        // zero-width character nothing, as on the list.
        const std::size_t nameEnd = Advance(line, 0, kNameColumns);
        std::string name = corvana::trimBlanks(corvana::plainBlanks(line.substr(0, nameEnd)));
        if (name.empty()) continue;
        const std::size_t rgEnd = Advance(line, nameEnd, kRgColumns);
        // The cut may end inside the R.G. before a blank: trimmed again.
        std::string rg = corvana::trimBlanks(corvana::utf8Truncate(
            corvana::trimBlanks(corvana::plainBlanks(line.substr(nameEnd, rgEnd - nameEnd))),
            kRgSize));
        guests.push_back({std::move(name), std::move(rg)});
    }
    return guests;
}

GuestFile ReadGuestFile(const std::string& path) {
    const std::string bytes = ReadAll(path);
    GuestFile file;
    const std::string text = DecodeGuestFile(bytes, file.encoding);
    if (text.find('\0') != std::string::npos) Unreadable(path, "não é um arquivo de texto");
    file.guests = CutGuestLines(text);
    return file;
}
