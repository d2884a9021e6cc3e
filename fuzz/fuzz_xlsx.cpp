// Fuzzes the spreadsheet import's XLSX reader (sheet/XlsxReader.h): its
// sheet names and its first sheet read from a workbook file (minizip needs
// a file: it is written to $TMPDIR). Input that starts with "PK" is the file
// itself (the zip's own faults); any other input is the text of the parts,
// separated by lines "----", zipped as they are (xl/workbook.xml, its
// relations, xl/worksheets/sheet1.xml, xl/sharedStrings.xml, xl/styles.xml):
// so that mutations reach the XML, which a zip's checksum would otherwise
// refuse first.
//
// What it holds it to: a refusal is a corvana::Error naming the file, never
// a crash, a hang or another exception; every cell read is well-formed
// UTF-8; rows come in increasing line order and within the row limit.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <minizip/zip.h>

#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "corvana/data/Error.h"
#include "corvana/data/Text.h"
#include "sheet/XlsxReader.h"

namespace {

const std::string& WorkbookPath() {
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        return std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz-xlsx-" +
               std::to_string(::getpid()) + ".xlsx";
    }();
    return path;
}

void WriteParts(const std::string& path, std::string_view text) {
    static const char* const kParts[] = {"xl/workbook.xml", "xl/_rels/workbook.xml.rels",
                                         "xl/worksheets/sheet1.xml", "xl/sharedStrings.xml",
                                         "xl/styles.xml"};
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (!zip) fuzz::Fail("cannot write the workbook file", path);
    for (const char* part : kParts) {
        const std::size_t end = text.find("\n----\n");
        const std::string_view body = text.substr(0, end);
        zipOpenNewFileInZip(zip, part, nullptr, nullptr, 0, nullptr, 0, nullptr, 0, 0);
        zipWriteInFileInZip(zip, body.data(), static_cast<unsigned>(body.size()));
        zipCloseFileInZip(zip);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 6);
    }
    zipClose(zip, nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = WorkbookPath();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (!bytes.starts_with("PK")) {
        WriteParts(path, bytes);
    } else {
        FILE* file = std::fopen(path.c_str(), "wb");
        if (!file) fuzz::Fail("cannot write the workbook file", path);
        if (size) std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    try {
        evt::sheet::XlsxSheetNames(path);
        const evt::sheet::SheetTable table = evt::sheet::ReadXlsx(path);
        fuzz::Check(table.rows.size() <= evt::sheet::kMaxRows, "row limit");
        long last = 0;
        for (const evt::sheet::SheetRow& row : table.rows) {
            fuzz::Check(row.line > last, "rows out of order");
            last = row.line;
            for (const std::string& cell : row.cells)
                fuzz::Check(corvana::isValidUtf8(cell), "cell not UTF-8", cell);
        }
    } catch (const corvana::Error& e) {
        const std::string what = e.what();
        fuzz::Check(what.find(path) != std::string::npos, "refusal without the file's name", what);
    }
    return 0;
}
