#include "sheet/CsvReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <map>

#include "corvana/data/Error.h"

namespace evt::sheet {

namespace {

// How many records the separator is detected from.
constexpr std::size_t kSampleRecords = 50;

// Cuts `text` into records by `separator`, calling `onRecord(cells)` for
// each; stops when it answers false. Answers false, having stopped, at a
// record of more than kMaxColumns cells, which is not read whole.
template <class OnRecord>
bool Cut(std::string_view text, char separator, OnRecord&& onRecord) {
    std::vector<std::string> cells;
    std::string cell;
    std::size_t at = 0;
    const std::size_t n = text.size();
    bool any = false;  // the record has begun (a cell or a separator)
    while (at < n) {
        const char c = text[at];
        if (c == '"' && cell.empty()) {
            // A quoted cell: up to the lone quote that closes it.
            ++at;
            while (at < n) {
                if (text[at] == '"') {
                    if (at + 1 < n && text[at + 1] == '"') {
                        cell += '"';
                        at += 2;
                        continue;
                    }
                    ++at;
                    break;
                }
                cell += text[at++];
            }
            any = true;
            continue;
        }
        if (c == separator) {
            if (cells.size() + 1 >= kMaxColumns) return false;
            cells.push_back(std::move(cell));
            cell.clear();
            any = true;
            ++at;
            continue;
        }
        if (c == '\r' || c == '\n') {
            at += (c == '\r' && at + 1 < n && text[at + 1] == '\n') ? 2 : 1;
            cells.push_back(std::move(cell));
            cell.clear();
            any = false;
            if (!onRecord(cells)) return true;
            cells.clear();
            continue;
        }
        cell += c;
        any = true;
        ++at;
    }
    if (any || !cell.empty()) {
        cells.push_back(std::move(cell));
        onRecord(cells);
    }
    return true;
}

[[noreturn]] void Unreadable(const std::string& path, const std::string& why) {
    throw corvana::Error("Não foi possível ler o arquivo \"" + path + "\": " + why + ".");
}

}  // namespace

char DetectSeparator(std::string_view text) {
    constexpr std::array<char, 3> kCandidates = {';', ',', '\t'};
    char best = ';';
    std::size_t bestScore = 0;
    for (char candidate : kCandidates) {
        // The most frequent number of cells among the sampled records, and
        // how many records have it.
        std::map<std::size_t, std::size_t> counts;
        std::size_t records = 0;
        (void)Cut(text, candidate, [&](const std::vector<std::string>& cells) {
            if (!(cells.size() == 1 && cells[0].empty())) ++counts[cells.size()];
            return ++records < kSampleRecords;
        });
        std::size_t score = 0;
        for (const auto& [cells, times] : counts)
            if (cells > 1 && times > score) score = times;
        if (score > bestScore) {
            bestScore = score;
            best = candidate;
        }
    }
    return best;
}

SheetTable CutCsv(std::string_view text, char separator, const std::string& path) {
    SheetTable table;
    long line = 0;
    std::size_t cellsRead = 0;
    bool tooMany = false, tooWide = false;
    const bool whole = Cut(text, separator, [&](std::vector<std::string>& cells) {
        ++line;
        if (table.rows.size() == kMaxRows) {
            tooMany = true;
            return false;
        }
        cellsRead += cells.size();
        if (cellsRead > kMaxCells) {
            tooWide = true;
            return false;
        }
        table.rows.push_back({line, std::move(cells)});
        return true;
    });
    if (tooMany) throw corvana::Error(TooManyRowsText(path));
    if (!whole)
        Unreadable(path, "a linha " + std::to_string(line + 1) + " tem mais de " +
                             std::to_string(kMaxColumns) + " colunas");
    if (tooWide) Unreadable(path, "tem células demais para uma lista de convidados");
    return table;
}

CsvFile ParseCsv(std::string_view bytes, const CsvOptions& options, const std::string& path) {
    CsvFile file;
    std::string text;
    if (options.encoding) {
        file.encoding = *options.encoding;
        text = DecodeGuestFileAs(bytes, file.encoding);
    } else {
        text = DecodeGuestFile(bytes, file.encoding);
    }
    if (text.find('\0') != std::string::npos) Unreadable(path, "não é um arquivo de texto");
    // A DOS end-of-file mark at the very end is no cell.
    if (!text.empty() && text.back() == '\x1A') text.pop_back();
    file.separator = options.separator ? *options.separator : DetectSeparator(text);
    file.table = CutCsv(text, file.separator, path);
    return file;
}

CsvFile ReadCsvFile(const std::string& path, const CsvOptions& options) {
    const std::uint64_t size = CheckedFileSize(path);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) Unreadable(path, std::strerror(errno));
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + filled, bytes.size() - filled);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        filled += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(filled);
    return ParseCsv(bytes, options, path);
}

std::string EncodingName(GuestFileEncoding encoding) {
    switch (encoding) {
        case GuestFileEncoding::Utf8:
            return "UTF-8";
        case GuestFileEncoding::Utf16LE:
            return "UTF-16 LE";
        case GuestFileEncoding::Utf16BE:
            return "UTF-16 BE";
        case GuestFileEncoding::Windows1252:
            break;
    }
    return "Windows-1252";
}

std::string TooLargeText(const std::string& path) {
    return "O arquivo \"" + path +
           "\" tem mais de 50 MB; divida a lista em arquivos menores para importá-la.";
}

std::string TooManyRowsText(const std::string& path) {
    return "O arquivo \"" + path +
           "\" tem mais de 200.000 linhas; divida a lista em arquivos menores para importá-la.";
}

std::uint64_t CheckedFileSize(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) Unreadable(path, "o arquivo não existe");
        Unreadable(path, std::strerror(errno));
    }
    if (S_ISDIR(info.st_mode)) Unreadable(path, "é uma pasta, não um arquivo");
    if (!S_ISREG(info.st_mode)) Unreadable(path, "não é um arquivo comum");
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size > kMaxFileBytes) throw corvana::Error(TooLargeText(path));
    return size;
}

bool IsBlankRow(const SheetRow& row) {
    for (const std::string& cell : row.cells)
        if (cell.find_first_not_of(" \t") != std::string::npos) return false;
    return true;
}

}  // namespace evt::sheet
