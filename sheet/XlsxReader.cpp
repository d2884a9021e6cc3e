#include "sheet/XlsxReader.h"

#include <minizip/unzip.h>

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>
#include <charconv>
#include <cmath>
#include <map>
#include <memory>
#include <optional>

#include "corvana/data/Error.h"

namespace evt::sheet {

namespace {

// No part of a workbook of 200,000 guests comes near this: a larger one is
// a zip bomb or not a guest list.
constexpr std::uint64_t kMaxPartBytes = 512ull * 1024 * 1024;

[[noreturn]] void Refuse(const std::string& path, const std::string& why) {
    throw corvana::Error("Não foi possível ler a planilha \"" + path + "\": " + why + ".");
}

[[noreturn]] void RefuseCell(const std::string& path, const std::string& sheet,
                             const std::string& cell, const std::string& why) {
    throw corvana::Error("Não foi possível ler a planilha \"" + path + "\": a célula " + cell +
                         " da folha \"" + sheet + "\" " + why + ".");
}

struct ZipCloser {
    void operator()(void* zip) const { unzClose(zip); }
};

// The parts of the workbook's zip.
class Package {
public:
    explicit Package(const std::string& path) : path_(path) {
        CheckedFileSize(path);
        zip_.reset(unzOpen64(path.c_str()));
        if (!zip_) Refuse(path, "não é um arquivo XLSX (zip) válido");
    }

    // The part's bytes; nullopt when the package has no such part.
    std::optional<QByteArray> Part(const std::string& name) {
        if (unzLocateFile(zip_.get(), name.c_str(), 0) != UNZ_OK) return std::nullopt;
        unz_file_info64 info{};
        if (unzGetCurrentFileInfo64(zip_.get(), &info, nullptr, 0, nullptr, 0, nullptr, 0) !=
            UNZ_OK)
            Refuse(path_, "a parte " + name + " está danificada");
        if (info.uncompressed_size > kMaxPartBytes)
            Refuse(path_, "a parte " + name + " é grande demais");
        if (unzOpenCurrentFile(zip_.get()) != UNZ_OK)
            Refuse(path_, "a parte " + name + " está danificada");
        QByteArray bytes;
        bytes.reserve(static_cast<qsizetype>(info.uncompressed_size));
        char buffer[65536];
        int n = 0;
        while ((n = unzReadCurrentFile(zip_.get(), buffer, sizeof buffer)) > 0) {
            bytes.append(buffer, n);
            if (static_cast<std::uint64_t>(bytes.size()) > kMaxPartBytes) {
                unzCloseCurrentFile(zip_.get());
                Refuse(path_, "a parte " + name + " é grande demais");
            }
        }
        const int closed = unzCloseCurrentFile(zip_.get());
        if (n < 0 || closed != UNZ_OK) Refuse(path_, "a parte " + name + " está danificada");
        return bytes;
    }

    QByteArray RequiredPart(const std::string& name) {
        auto part = Part(name);
        if (!part) Refuse(path_, "falta a parte " + name);
        return std::move(*part);
    }

private:
    std::string path_;
    std::unique_ptr<void, ZipCloser> zip_;
};

void CheckXml(const QXmlStreamReader& xml, const std::string& path, const std::string& part) {
    if (xml.hasError())
        Refuse(path, "o XML da parte " + part + " está danificado (" +
                         xml.errorString().toStdString() + ", linha " +
                         std::to_string(xml.lineNumber()) + ")");
}

struct SheetEntry {
    std::string name, target;
};

// The sheets of xl/workbook.xml with the part each is in.
std::vector<SheetEntry> Sheets(Package& package, const std::string& path) {
    std::map<QString, QString> targets;
    {
        const QByteArray rels = package.RequiredPart("xl/_rels/workbook.xml.rels");
        QXmlStreamReader xml(rels);
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == u"Relationship")
                targets[xml.attributes().value(QLatin1String("Id")).toString()] =
                    xml.attributes().value(QLatin1String("Target")).toString();
        }
        CheckXml(xml, path, "xl/_rels/workbook.xml.rels");
    }
    std::vector<SheetEntry> sheets;
    const QByteArray workbook = package.RequiredPart("xl/workbook.xml");
    QXmlStreamReader xml(workbook);
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement() || xml.name() != u"sheet") continue;
        QString id;
        for (const QXmlStreamAttribute& a : xml.attributes())
            if (a.name() == u"id") id = a.value().toString();
        const QString name = xml.attributes().value(QLatin1String("name")).toString();
        QString target = targets.count(id) ? targets[id] : QString();
        // Relative to xl/, or absolute from the package's root.
        if (target.startsWith(u'/'))
            target.remove(0, 1);
        else if (!target.isEmpty())
            target = "xl/" + target;
        sheets.push_back({name.toStdString(), target.toStdString()});
    }
    CheckXml(xml, path, "xl/workbook.xml");
    return sheets;
}

std::vector<QString> SharedStrings(Package& package, const std::string& path) {
    std::vector<QString> strings;
    const auto part = package.Part("xl/sharedStrings.xml");
    if (!part) return strings;
    QXmlStreamReader xml(*part);
    QString current;
    bool inItem = false, inPhonetic = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == u"si") {
                inItem = true;
                current.clear();
            } else if (xml.name() == u"rPh") {
                inPhonetic = true;  // a reading aid, not the text
            } else if (xml.name() == u"t" && inItem && !inPhonetic) {
                current += xml.readElementText();
            }
        } else if (xml.isEndElement()) {
            if (xml.name() == u"si") {
                strings.push_back(current);
                inItem = false;
            } else if (xml.name() == u"rPh") {
                inPhonetic = false;
            }
        }
    }
    CheckXml(xml, path, "xl/sharedStrings.xml");
    return strings;
}

bool IsDateFormatCode(const QString& code) {
    bool quoted = false, bracket = false;
    for (const QChar c : code) {
        if (c == u'"') quoted = !quoted;
        if (quoted) continue;
        if (c == u'[') bracket = true;
        if (c == u']') bracket = false;
        if (bracket) continue;
        const QChar l = c.toLower();
        if (l == u'd' || l == u'm' || l == u'y' || l == u'h' || l == u's') return true;
    }
    return false;
}

bool IsBuiltinDateFormat(int id) {
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
           (id >= 50 && id <= 58);
}

// For each cell style (the cell's s), whether it shows a date.
std::vector<bool> DateStyles(Package& package, const std::string& path) {
    std::vector<bool> dates;
    const auto part = package.Part("xl/styles.xml");
    if (!part) return dates;
    std::map<int, bool> custom;
    QXmlStreamReader xml(*part);
    bool inCellXfs = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == u"numFmt") {
                custom[xml.attributes().value(QLatin1String("numFmtId")).toInt()] =
                    IsDateFormatCode(
                        xml.attributes().value(QLatin1String("formatCode")).toString());
            } else if (xml.name() == u"cellXfs") {
                inCellXfs = true;
            } else if (xml.name() == u"xf" && inCellXfs) {
                const int id = xml.attributes().value(QLatin1String("numFmtId")).toInt();
                const auto found = custom.find(id);
                dates.push_back(found != custom.end() ? found->second : IsBuiltinDateFormat(id));
            }
        } else if (xml.isEndElement() && xml.name() == u"cellXfs") {
            inCellXfs = false;
        }
    }
    CheckXml(xml, path, "xl/styles.xml");
    return dates;
}

// "B12": column 1 (from 0), row 12; nullopt when it is not a reference.
std::optional<std::pair<std::size_t, long>> ParseReference(QStringView ref) {
    std::size_t column = 0;
    qsizetype i = 0;
    for (; i < ref.size() && ref[i] >= u'A' && ref[i] <= u'Z'; ++i) {
        column = column * 26 + static_cast<std::size_t>(ref[i].unicode() - u'A' + 1);
        if (column > 16384) return std::nullopt;
    }
    if (i == 0 || i == ref.size()) return std::nullopt;
    bool ok = false;
    const long row = ref.mid(i).toLong(&ok);
    if (!ok || row < 1 || row > 1048576) return std::nullopt;
    return std::make_pair(column - 1, row);
}

std::string NumberText(const QString& value, bool& ok) {
    const QByteArray latin = value.trimmed().toLatin1();
    double number = 0;
    const auto [end, error] = std::from_chars(latin.data(), latin.data() + latin.size(), number);
    ok = error == std::errc() && end == latin.data() + latin.size() && std::isfinite(number);
    if (!ok) return {};
    char out[64];
    const auto written = std::to_chars(out, out + sizeof out, number);
    return std::string(out, written.ptr);
}

std::string ColumnName(std::size_t column) {
    std::string name;
    for (std::size_t c = column + 1; c > 0; c = (c - 1) / 26)
        name.insert(name.begin(), static_cast<char>('A' + (c - 1) % 26));
    return name;
}

}  // namespace

std::vector<std::string> XlsxSheetNames(const std::string& path) {
    Package package(path);
    std::vector<std::string> names;
    for (const SheetEntry& s : Sheets(package, path)) names.push_back(s.name);
    return names;
}

SheetTable ReadXlsx(const std::string& path, std::size_t sheetIndex) {
    Package package(path);
    const std::vector<SheetEntry> sheets = Sheets(package, path);
    if (sheetIndex >= sheets.size()) {
        Refuse(path, sheets.empty()
                         ? std::string("a pasta de trabalho não tem folhas")
                         : "a pasta de trabalho não tem a folha " + std::to_string(sheetIndex + 1));
    }
    const SheetEntry& sheet = sheets[sheetIndex];
    const auto part = sheet.target.empty() ? std::nullopt : package.Part(sheet.target);
    if (!part) Refuse(path, "falta a folha \"" + sheet.name + "\"");
    const std::vector<QString> strings = SharedStrings(package, path);
    const std::vector<bool> dateStyles = DateStyles(package, path);

    SheetTable table;
    QXmlStreamReader xml(*part);
    SheetRow* row = nullptr;
    long nextRow = 1;
    std::size_t cells = 0;  // the cells of every row, empty ones between values included
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) continue;
        if (xml.name() == u"row") {
            if (table.rows.size() == kMaxRows) throw corvana::Error(TooManyRowsText(path));
            bool ok = false;
            long number = xml.attributes().value(QLatin1String("r")).toLong(&ok);
            if (!ok || number < nextRow) number = nextRow;
            nextRow = number + 1;
            table.rows.push_back({number, {}});
            row = &table.rows.back();
            continue;
        }
        if (xml.name() != u"c" || !row) continue;

        const QXmlStreamAttributes attributes = xml.attributes();
        std::size_t column = row->cells.size();
        std::string ref = ColumnName(column) + std::to_string(row->line);
        if (attributes.hasAttribute(QLatin1String("r"))) {
            const auto parsed = ParseReference(attributes.value(QLatin1String("r")));
            if (!parsed || parsed->second != row->line || parsed->first < row->cells.size())
                RefuseCell(path, sheet.name,
                           attributes.value(QLatin1String("r")).toString().toStdString(),
                           "tem uma referência fora do lugar");
            column = parsed->first;
            ref = attributes.value(QLatin1String("r")).toString().toStdString();
        }
        const QString type = attributes.value(QLatin1String("t")).toString();
        const int style = attributes.value(QLatin1String("s")).toInt();
        QString value, inlineText;
        bool formula = false, hasValue = false;
        // The cell's children: <f>, <v>, <is><t>...</t></is>.
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isEndElement() && xml.name() == u"c") break;
            if (!xml.isStartElement()) continue;
            if (xml.name() == u"f") {
                formula = true;
                xml.skipCurrentElement();
            } else if (xml.name() == u"v") {
                value = xml.readElementText();
                hasValue = true;
            } else if (xml.name() == u"t") {
                inlineText += xml.readElementText();
                hasValue = true;
            }
        }
        CheckXml(xml, path, sheet.target);
        if (formula)
            RefuseCell(path, sheet.name, ref,
                       "tem uma fórmula; copie a coluna e cole só os valores antes de importar");
        std::string text;
        if (type == u"s") {
            bool ok = false;
            const long index = value.trimmed().toLong(&ok);
            if (!ok || index < 0 || static_cast<std::size_t>(index) >= strings.size())
                RefuseCell(path, sheet.name, ref,
                           "aponta para um texto compartilhado que não existe (" +
                               value.toStdString() + ")");
            text = strings[static_cast<std::size_t>(index)].toStdString();
        } else if (type == u"inlineStr" || type == u"str") {
            text = (type == u"str" ? value : inlineText).toStdString();
        } else if (type == u"b") {
            text = value.trimmed() == u"1" ? "VERDADEIRO" : "FALSO";
        } else if (type == u"e") {
            RefuseCell(path, sheet.name, ref, "tem um erro (" + value.toStdString() + ")");
        } else if (type == u"d") {
            RefuseCell(path, sheet.name, ref,
                       "é uma data; nenhum campo do convidado é uma data (formate a coluna como "
                       "texto e digite o valor de novo)");
        } else if (hasValue) {
            if (style >= 0 && static_cast<std::size_t>(style) < dateStyles.size() &&
                dateStyles[static_cast<std::size_t>(style)])
                RefuseCell(path, sheet.name, ref,
                           "é uma data; nenhum campo do convidado é uma data (formate a coluna "
                           "como texto e digite o valor de novo)");
            bool ok = false;
            text = NumberText(value, ok);
            if (!ok)
                RefuseCell(path, sheet.name, ref,
                           "deveria ter um número e tem \"" + value.toStdString() + "\"");
        }
        if (column >= kMaxColumns) RefuseCell(path, sheet.name, ref, "está além da última coluna");
        // An empty cell is what a row holds where it has none: only a value
        // widens the row, within the bound of the cells of a whole sheet.
        if (text.empty()) continue;
        cells += column + 1 - std::min(column + 1, row->cells.size());
        if (cells > kMaxCells)
            Refuse(path, "a folha \"" + sheet.name +
                             "\" tem células demais para uma lista de convidados");
        if (row->cells.size() <= column) row->cells.resize(column + 1);
        row->cells[column] = std::move(text);
    }
    CheckXml(xml, path, sheet.target);
    return table;
}

}  // namespace evt::sheet
