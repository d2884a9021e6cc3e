// The spreadsheet files of the guest import and export (sheet/): CSV and
// text files as offices save them (detection of the separator, the quotes
// and the encoding), the header guessed, XLSX written by a third-party
// program (python3-openpyxl) read right, our XLSX and CSV read back by it
// and by Python's csv module, corrupt and oversized files refused with
// their message.
#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "corvana/data/Error.h"
#include "sheet/CsvReader.h"
#include "sheet/GuestColumns.h"
#include "sheet/SheetWriter.h"
#include "sheet/XlsxReader.h"
#include "support/ErrorOf.h"

namespace {

namespace fs = std::filesystem;
using namespace evt::sheet;
using Cells = std::vector<std::string>;

using corvana::test::ErrorOf;

class SheetFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("evt-sheet-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    // Runs a Python script (written to a file) with the test's folder as its
    // first argument; its standard output, and whether it exited with 0.
    std::string Python(const std::string& script, bool* ok = nullptr) {
        const std::string path = Write("script.py", script);
        // Debian's Python, where python3-openpyxl is (a python3 of another
        // origin may come first on the PATH).
        const char* python =
            ::access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
        FILE* pipe = ::popen(
            (std::string(python) + " '" + path + "' '" + dir.string() + "' 2>&1").c_str(), "r");
        std::string out;
        char buf[4096];
        for (std::size_t n; pipe && (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;)
            out.append(buf, n);
        const int status = pipe ? ::pclose(pipe) : -1;
        if (ok) *ok = status == 0;
        return out;
    }

    // Skips the test when python3-openpyxl is missing (./dev installs it).
    bool HasOpenpyxl() {
        bool ok = false;
        Python("import openpyxl\n", &ok);
        return ok;
    }

    fs::path dir;
};

std::vector<Cells> CellsOf(const SheetTable& table) {
    std::vector<Cells> rows;
    for (const SheetRow& r : table.rows) rows.push_back(r.cells);
    return rows;
}

std::vector<long> LinesOf(const SheetTable& table) {
    std::vector<long> lines;
    for (const SheetRow& r : table.rows) lines.push_back(r.line);
    return lines;
}

}  // namespace

// A list saved by a spreadsheet in Portuguese on Windows: ";" because the
// comma is the decimal mark, Windows-1252, CR LF, a header in Portuguese.
TEST_F(SheetFilesTest, ASemicolonFileInWindows1252FromAPortugueseSpreadsheet) {
    const std::string path =
        Write("lista.csv",
              "Nome;R.G.;Telefone;Qtd.;E-mail\r\n"
              "Jos\xE9 da Concei\xE7\xE3o;12.345.678-9;(11) 3333-4444;1,5;jose@exemplo.com.br\r\n"
              "Ana L\xFA\x63ia;;;2;\r\n"
              ";;;;\r\n"
              "\"Souza; Maria\";9.876.543-2;;1;\r\n");
    const CsvFile file = ReadCsvFile(path);
    EXPECT_EQ(file.encoding, GuestFileEncoding::Windows1252);
    EXPECT_EQ(file.separator, ';');
    EXPECT_EQ(CellsOf(file.table),
              (std::vector<Cells>{{"Nome", "R.G.", "Telefone", "Qtd.", "E-mail"},
                                  {"José da Conceição", "12.345.678-9", "(11) 3333-4444", "1,5",
                                   "jose@exemplo.com.br"},
                                  {"Ana Lúcia", "", "", "2", ""},
                                  {"", "", "", "", ""},
                                  {"Souza; Maria", "9.876.543-2", "", "1", ""}}));
    EXPECT_EQ(LinesOf(file.table), (std::vector<long>{1, 2, 3, 4, 5}));

    const ColumnGuess guess = GuessColumns(file.table);
    EXPECT_TRUE(guess.header);
    EXPECT_EQ(guess.mapping, (std::vector<int>{0, 1, 3, 6, 5}));

    // The user's choice over the detection: read as UTF-8, the accents are
    // not letters of it.
    CsvOptions utf8;
    utf8.encoding = GuestFileEncoding::Utf8;
    EXPECT_EQ(ReadCsvFile(path, utf8).table.rows[1].cells[0], "Jos\uFFFD da Concei\uFFFD\uFFFDo");
}

// What an online form or a program exports: UTF-8 with a byte-order mark,
// commas, quotes around cells that hold a comma, a quote or line breaks, an
// English header.
TEST_F(SheetFilesTest, AUtf8FileWithAByteOrderMarkAndQuotedLineBreaks) {
    const std::string path =
        Write("form.csv",
              "\xEF\xBB\xBFName,Phone,E-mail,Notes\r\n"
              "\"Silva, Ana\",11 3333-1111,ana@example.com,\"mesa 4\r\nperto do palco\"\r\n"
              "\"Bruno \"\"Bebeto\"\" Reis\",,b@example.com,\n"
              "Carla Dias,,,\"sem\nfim");
    const CsvFile file = ReadCsvFile(path);
    EXPECT_EQ(file.encoding, GuestFileEncoding::Utf8);
    EXPECT_EQ(file.separator, ',');
    EXPECT_EQ(CellsOf(file.table),
              (std::vector<Cells>{
                  {"Name", "Phone", "E-mail", "Notes"},
                  {"Silva, Ana", "11 3333-1111", "ana@example.com", "mesa 4\r\nperto do palco"},
                  {"Bruno \"Bebeto\" Reis", "", "b@example.com", ""},
                  {"Carla Dias", "", "", "sem\nfim"}}));
    // A record's line is its number in the file, whatever it holds.
    EXPECT_EQ(LinesOf(file.table), (std::vector<long>{1, 2, 3, 4}));
    const ColumnGuess guess = GuessColumns(file.table);
    EXPECT_TRUE(guess.header);
    EXPECT_EQ(guess.mapping, (std::vector<int>{0, 3, 5, kIgnored}));
}

// A tab-separated file without a header (copied from a table and pasted
// into an editor): the first row is a guest, the first column the name.
TEST_F(SheetFilesTest, ATabFileWithoutAHeader) {
    const CsvFile file =
        ReadCsvFile(Write("colado.txt", "Maria Souza\t12.345.678-9\t2\nPedro Alves\t\t1\n\n"));
    EXPECT_EQ(file.encoding, GuestFileEncoding::Windows1252);  // plain ASCII
    EXPECT_EQ(file.separator, '\t');
    EXPECT_EQ(
        CellsOf(file.table),
        (std::vector<Cells>{{"Maria Souza", "12.345.678-9", "2"}, {"Pedro Alves", "", "1"}, {""}}));
    const ColumnGuess guess = GuessColumns(file.table);
    EXPECT_FALSE(guess.header);
    EXPECT_EQ(guess.mapping, (std::vector<int>{0, kIgnored, kIgnored}));
}

TEST_F(SheetFilesTest, HeadersAreGuessedInPortugueseAndEnglish) {
    const std::vector<std::pair<std::string, int>> named = {{"Nome", 0},
                                                            {"NAME", 0},
                                                            {"Nome completo", 0},
                                                            {"Convidado", 0},
                                                            {"RG", 1},
                                                            {"R.G.", 1},
                                                            {"Documento", 1},
                                                            {"CPF", 2},
                                                            {"Inscrição", 2},
                                                            {"CNPJ", 2},
                                                            {"Telefone", 3},
                                                            {"phone", 3},
                                                            {"Celular", 4},
                                                            {"Mobile", 4},
                                                            {"e-mail", 5},
                                                            {"EMAIL", 5},
                                                            {"Qtd", 6},
                                                            {"qtde.", 6},
                                                            {"Quantity", 6},
                                                            {"Condição", 7},
                                                            {"Tipo", 8},
                                                            {"Contrato", 9},
                                                            {"Ordem", 10},
                                                            {"Observação", kIgnored},
                                                            {"", kIgnored},
                                                            {"Maria Souza", kIgnored}};
    for (const auto& [text, field] : named) EXPECT_EQ(FieldOfHeader(text), field) << text;

    // A field named twice is taken by its first column.
    SheetTable table;
    table.rows.push_back({1, {"Telefone", "Nome", "Fone", "Name"}});
    EXPECT_EQ(GuessColumns(table).mapping, (std::vector<int>{3, 0, kIgnored, kIgnored}));
}

// The rows sent to the server: the header and blank rows left out, each
// row with its line; rows read = sent + skipped.
TEST_F(SheetFilesTest, TheRowsSentLeaveOutTheHeaderAndTheBlankRows) {
    SheetTable table;
    table.rows = {{1, {"Nome", "Obs", "RG"}},
                  {2, {"Ana", "x", "1"}},
                  {3, {" ", "só uma nota", ""}},
                  {4, {}},
                  {6, {"Bia", "", ""}}};
    std::vector<long> skipped;
    const corvana::DataPacket rows = ImportRows(table, {0, kIgnored, 1}, true, skipped);
    EXPECT_EQ(rows.fields(), (std::vector<corvana::FieldDef>{
                                 {"NRCONTLINHA", corvana::FieldType::String, 10},
                                 {"NMLISTACONVOREV", corvana::FieldType::String, 32767},
                                 {"NRRGLISTAOREV", corvana::FieldType::String, 32767}}));
    EXPECT_EQ(rows.rows(), (std::vector<corvana::Row>{{"2", "Ana", "1"}, {"6", "Bia", ""}}));
    EXPECT_EQ(skipped, (std::vector<long>{3, 4}));
    EXPECT_EQ(rows.rows().size() + skipped.size() + 1, table.rows.size());
}

TEST_F(SheetFilesTest, AFileTooLargeOrWithTooManyRowsIsRefusedBeforeItIsReadWhole) {
    const std::string big = (dir / "grande.csv").string();
    {
        std::ofstream(big) << "Nome\n";
        fs::resize_file(big, kMaxFileBytes + 1);  // sparse: nothing written
    }
    EXPECT_EQ(ErrorOf([&] { ReadCsvFile(big); }), TooLargeText(big));
    EXPECT_EQ(ErrorOf([&] { ReadXlsx(big); }), TooLargeText(big));
    EXPECT_NE(TooLargeText(big).find("50 MB"), std::string::npos);

    std::string rows;
    for (std::size_t i = 0; i <= kMaxRows; ++i) rows += "a\n";
    const std::string many = Write("muitas.csv", rows);
    EXPECT_EQ(ErrorOf([&] { ReadCsvFile(many); }), TooManyRowsText(many));
    rows.resize(rows.size() - 2);  // exactly the limit
    EXPECT_EQ(ReadCsvFile(Write("limite.csv", rows)).table.rows.size(), kMaxRows);

    // Separators alone: each empty cell would take the room of a text, so
    // a row wider than a spreadsheet and a file of more cells than a guest
    // list has are refused as they are cut, not after.
    const std::string wide = Write("larga.csv", "Nome\n" + std::string(kMaxColumns, ';') + "\n");
    EXPECT_EQ(
        ErrorOf([&] { CutCsv(std::string(kMaxColumns, ';'), ';', wide); }),
        "Não foi possível ler o arquivo \"" + wide + "\": a linha 1 tem mais de 16384 colunas.");
    EXPECT_EQ(
        ErrorOf([&] {
            ReadCsvFile(wide, {';', std::nullopt});
        }),
        "Não foi possível ler o arquivo \"" + wide + "\": a linha 2 tem mais de 16384 colunas.");
    const std::string row(kMaxColumns - 2, ';');
    std::string cells;
    for (std::size_t n = 0; n <= kMaxCells / (kMaxColumns - 1); ++n) cells += row + "\n";
    EXPECT_EQ(
        ErrorOf([&] { CutCsv(cells, ';', "celulas.csv"); }),
        "Não foi possível ler o arquivo \"celulas.csv\": tem células demais para uma lista de "
        "convidados.");

    EXPECT_EQ(ErrorOf([&] { ReadCsvFile((dir / "nada.csv").string()); }),
              "Não foi possível ler o arquivo \"" + (dir / "nada.csv").string() +
                  "\": o arquivo não existe.");
    EXPECT_EQ(ErrorOf([&] { ReadCsvFile(Write("nul.csv", std::string("a\0b", 3))); }),
              "Não foi possível ler o arquivo \"" + (dir / "nul.csv").string() +
                  "\": não é um arquivo de texto.");
}

// A workbook as a third-party program writes it: shared strings, numbers
// that are R.G.s and telephones, decimals, empty cells and rows, a second
// sheet, and the cells the reader refuses (a date, a formula).
TEST_F(SheetFilesTest, AnXlsxWrittenByOpenpyxlIsReadRight) {
    if (!HasOpenpyxl()) GTEST_SKIP() << "python3-openpyxl não está instalado";
    bool ok = false;
    const std::string out = Python(R"(
import sys, datetime, openpyxl
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Convidados"
ws.append(["Nome", "RG", "Celular", "Qtd"])
ws.append(["José Antônio", 123456789, 11988887777, 2])
ws.append(["Ana", None, None, 1.5])
ws.append([])
ws.append(["Bia", "0012", None, None])
ws["F5"] = "fora"
dates = wb.create_sheet("Datas")
dates.append(["Nome", "Nascimento"])
dates.append(["Caio", datetime.date(2001, 5, 4)])
formulas = wb.create_sheet("Contas")
formulas.append(["Nome", "Qtd"])
formulas.append(["Davi", "=1+1"])
wb.save(sys.argv[1] + "/lista.xlsx")
)",
                                   &ok);
    ASSERT_TRUE(ok) << out;
    const std::string path = (dir / "lista.xlsx").string();
    EXPECT_EQ(XlsxSheetNames(path), (std::vector<std::string>{"Convidados", "Datas", "Contas"}));
    const SheetTable table = ReadXlsx(path);
    EXPECT_EQ(CellsOf(table), (std::vector<Cells>{{"Nome", "RG", "Celular", "Qtd"},
                                                  {"José Antônio", "123456789", "11988887777", "2"},
                                                  {"Ana", "", "", "1.5"},
                                                  {"Bia", "0012", "", "", "", "fora"}}));
    EXPECT_EQ(LinesOf(table), (std::vector<long>{1, 2, 3, 5}));
    EXPECT_EQ(GuessColumns(table).mapping, (std::vector<int>{0, 1, 4, 6, kIgnored, kIgnored}));

    EXPECT_EQ(ErrorOf([&] { ReadXlsx(path, 1); }),
              "Não foi possível ler a planilha \"" + path +
                  "\": a célula B2 da folha \"Datas\" é uma data; nenhum campo do convidado é uma "
                  "data (formate a coluna como texto e digite o valor de novo).");
    EXPECT_EQ(ErrorOf([&] { ReadXlsx(path, 2); }),
              "Não foi possível ler a planilha \"" + path +
                  "\": a célula B2 da folha \"Contas\" tem uma fórmula; copie a coluna e cole só "
                  "os valores antes de importar.");
    EXPECT_EQ(
        ErrorOf([&] { ReadXlsx(path, 3); }),
        "Não foi possível ler a planilha \"" + path + "\": a pasta de trabalho não tem a folha 4.");
}

// Files that are not what they claim: each refused with its message, never
// a crash.
TEST_F(SheetFilesTest, CorruptXlsxFilesAreRefusedWithTheirMessage) {
    const std::string notZip = Write("texto.xlsx", "Nome;RG\nAna;1\n");
    EXPECT_EQ(ErrorOf([&] { ReadXlsx(notZip); }), "Não foi possível ler a planilha \"" + notZip +
                                                      "\": não é um arquivo XLSX (zip) válido.");

    bool ok = false;
    const std::string out = Python(R"(
import sys, zipfile
d = sys.argv[1]
rels = '<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Target="worksheets/sheet1.xml" Type="t"/></Relationships>'
book = '<?xml version="1.0"?><workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets><sheet name="Lista" sheetId="1" r:id="rId1"/></sheets></workbook>'
strings = '<?xml version="1.0"?><sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><si><t>Ana</t></si></sst>'
def sheet(cells):
    return '<?xml version="1.0"?><worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData><row r="1">' + cells + '</row></sheetData></worksheet>'
def save(name, parts):
    with zipfile.ZipFile(d + "/" + name, "w") as z:
        for k, v in parts.items():
            z.writestr(k, v)
save("sem-folha.xlsx", {"xl/workbook.xml": book, "xl/_rels/workbook.xml.rels": rels})
save("sem-livro.xlsx", {"[Content_Types].xml": "<Types/>"})
save("indice.xlsx", {"xl/workbook.xml": book, "xl/_rels/workbook.xml.rels": rels,
    "xl/sharedStrings.xml": strings,
    "xl/worksheets/sheet1.xml": sheet('<c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>7</v></c>')})
save("xml.xlsx", {"xl/workbook.xml": book, "xl/_rels/workbook.xml.rels": rels,
    "xl/worksheets/sheet1.xml": sheet('<c r="A1" t="inlineStr"><is><t>Ana</t></is>')})
save("erro.xlsx", {"xl/workbook.xml": book, "xl/_rels/workbook.xml.rels": rels,
    "xl/worksheets/sheet1.xml": sheet('<c r="C1" t="e"><v>#DIV/0!</v></c>')})
)",
                                   &ok);
    ASSERT_TRUE(ok) << out;
    auto refusal = [&](const std::string& name) {
        const std::string path = (dir / name).string();
        const std::string message = ErrorOf([&] { ReadXlsx(path); });
        const std::string start = "Não foi possível ler a planilha \"" + path + "\": ";
        EXPECT_EQ(message.rfind(start, 0), 0u) << message;
        return message.substr(std::min(message.size(), start.size()));
    };
    EXPECT_EQ(refusal("sem-folha.xlsx"), "falta a folha \"Lista\".");
    EXPECT_EQ(refusal("sem-livro.xlsx"), "falta a parte xl/_rels/workbook.xml.rels.");
    EXPECT_EQ(refusal("indice.xlsx"),
              "a célula B1 da folha \"Lista\" aponta para um texto compartilhado que não existe "
              "(7).");
    EXPECT_EQ(
        refusal("xml.xlsx").rfind("o XML da parte xl/worksheets/sheet1.xml está danificado", 0),
        0u);
    EXPECT_EQ(refusal("erro.xlsx"), "a célula C1 da folha \"Lista\" tem um erro (#DIV/0!).");
}

// Our XLSX read by a third-party program: the sheet named after the list,
// a header, texts as texts (leading zeros kept), numbers as numbers, empty
// cells empty; and by our own reader.
TEST_F(SheetFilesTest, OurXlsxIsReadBackByOpenpyxlWithTheSameValuesAndTypes) {
    if (!HasOpenpyxl()) GTEST_SKIP() << "python3-openpyxl não está instalado";
    ExportTable table;
    table.title = "Convidados 0001-0000001001-01";
    table.columns = {{"Nome", false}, {"R.G.", false}, {"Quantidade", true}};
    table.rows = {{"José Antônio", "0012345678", "2"},
                  {"Ana \"Aninha\"; Souza", "", "1,5"},
                  {"Bia", "00.111.222-3", ""}};
    const std::string path = (dir / "export.xlsx").string();
    WriteXlsx(path, table);
    bool ok = false;
    const std::string out = Python(R"(
import sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1] + "/export.xlsx")
ws = wb.active
print(ws.title)
print(wb.properties.title)
for row in ws.iter_rows(values_only=True):
    print("|".join("%s:%r" % (type(v).__name__, v) for v in row))
print(ws.column_dimensions["A"].width > ws.column_dimensions["C"].width)
)",
                                   &ok);
    ASSERT_TRUE(ok) << out;
    EXPECT_EQ(out,
              "Convidados 0001-0000001001-01\n"
              "Convidados 0001-0000001001-01\n"
              "str:'Nome'|str:'R.G.'|str:'Quantidade'\n"
              "str:'José Antônio'|str:'0012345678'|int:2\n"
              "str:'Ana \"Aninha\"; Souza'|NoneType:None|float:1.5\n"
              "str:'Bia'|str:'00.111.222-3'|NoneType:None\n"
              "True\n");
    EXPECT_EQ(CellsOf(ReadXlsx(path)), (std::vector<Cells>{{"Nome", "R.G.", "Quantidade"},
                                                           {"José Antônio", "0012345678", "2"},
                                                           {"Ana \"Aninha\"; Souza", "", "1.5"},
                                                           {"Bia", "00.111.222-3"}}));
    EXPECT_EQ(SheetName("Lista [01/02]: A*B?"), "Lista -01-02-- A-B-");
}

TEST_F(SheetFilesTest, OurCsvIsReadByPythonsCsvModule) {
    ExportTable table;
    table.columns = {{"Nome", false}, {"R.G.", false}, {"Quantidade", true}};
    table.rows = {{"José; \"Zé\"", "0012", "2"}, {"Linha\r\nquebrada", "", "1"}};
    WriteCsv((dir / "export.csv").string(), table);
    bool ok = false;
    const std::string out = Python(R"(
import sys, csv
raw = open(sys.argv[1] + "/export.csv", "rb").read()
print(raw[:3] == b"\xef\xbb\xbf", raw.count(b"\r\n"))
with open(sys.argv[1] + "/export.csv", encoding="utf-8-sig", newline="") as f:
    for row in csv.reader(f, delimiter=";"):
        print(repr(row))
)",
                                   &ok);
    ASSERT_TRUE(ok) << out;
    EXPECT_EQ(out,
              "True 4\n"
              "['Nome', 'R.G.', 'Quantidade']\n"
              "['José; \"Zé\"', '0012', '2']\n"
              "['Linha\\r\\nquebrada', '', '1']\n");
    // And by our own reader, the same cells.
    const CsvFile back = ReadCsvFile((dir / "export.csv").string());
    EXPECT_EQ(back.separator, ';');
    EXPECT_EQ(CellsOf(back.table), (std::vector<Cells>{{"Nome", "R.G.", "Quantidade"},
                                                       {"José; \"Zé\"", "0012", "2"},
                                                       {"Linha\r\nquebrada", "", "1"}}));
}
