#include "corvana/report/ReportDefinition.h"

#include <QCollator>
#include <QLocale>
#include <QString>
#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <system_error>

#include "corvana/data/Error.h"
#include "corvana/data/Text.h"
#include "corvana/report/ReportLayout.h"

namespace corvana::report {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

namespace {

// A fault of the definition, before the file's name is put in front.
struct Fault {
    std::string text;
};

[[noreturn]] void fault(const std::string& text) {
    throw Fault{text};
}

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

// Refuses keys the format does not have, so that a misspelt key is told
// instead of silently ignored.
void OnlyKeys(const Json& object, const std::string& path,
              std::initializer_list<const char*> known) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        const bool ok =
            std::any_of(known.begin(), known.end(), [&](const char* k) { return it.key() == k; });
        if (!ok)
            fault("a chave " + Quoted(it.key()) + (path.empty() ? "" : " de " + Quoted(path)) +
                  " não faz parte do formato");
    }
}

const Json& Object(const Json& parent, const char* key, const std::string& path) {
    const Json& value = parent.at(key);
    if (!value.is_object()) fault("o campo " + Quoted(path) + " deve ser um objeto");
    return value;
}

std::string Text(const Json& parent, const char* key, const std::string& path, bool required,
                 bool allowEmpty = false, const std::string& fallback = "") {
    if (!parent.contains(key)) {
        if (required) fault("falta o campo obrigatório " + Quoted(path));
        return fallback;
    }
    const Json& value = parent.at(key);
    if (!value.is_string()) fault("o campo " + Quoted(path) + " deve ser um texto");
    std::string text = value.get<std::string>();
    const bool blank = text.find_first_not_of(" \t\r\n") == std::string::npos;
    if (blank && !allowEmpty) fault("o campo " + Quoted(path) + " não pode ficar vazio");
    return text;
}

// A query: one text, or a list of lines (easier to read in the file).
std::string QueryText(const Json& parent, const char* key, const std::string& path) {
    if (parent.contains(key) && parent.at(key).is_array()) {
        std::string text;
        for (const Json& line : parent.at(key)) {
            if (!line.is_string()) fault("as linhas de " + Quoted(path) + " devem ser textos");
            text += (text.empty() ? "" : "\n") + line.get<std::string>();
        }
        if (text.find_first_not_of(" \t\r\n") == std::string::npos)
            fault("o campo " + Quoted(path) + " não pode ficar vazio");
        return text;
    }
    return Text(parent, key, path, true);
}

const Json* Array(const Json& parent, const char* key, const std::string& path, bool required) {
    if (!parent.contains(key)) {
        if (required) fault("falta o campo obrigatório " + Quoted(path));
        return nullptr;
    }
    const Json& value = parent.at(key);
    if (!value.is_array()) fault("o campo " + Quoted(path) + " deve ser uma lista");
    return &value;
}

std::vector<std::string> Texts(const Json& parent, const char* key, const std::string& path) {
    std::vector<std::string> out;
    const Json* list = Array(parent, key, path, false);
    if (!list) return out;
    for (std::size_t i = 0; i < list->size(); ++i) {
        if (!(*list)[i].is_string())
            fault("o item " + std::to_string(i + 1) + " de " + Quoted(path) + " deve ser um texto");
        out.push_back((*list)[i].get<std::string>());
    }
    return out;
}

double Number(const Json& parent, const char* key, const std::string& path, double low, double high,
              std::optional<double> fallback) {
    if (!parent.contains(key)) {
        if (!fallback) fault("falta o campo obrigatório " + Quoted(path));
        return *fallback;
    }
    const Json& value = parent.at(key);
    if (!value.is_number()) fault("o campo " + Quoted(path) + " deve ser um número");
    const double number = value.get<double>();
    if (!(number >= low && number <= high)) {
        std::ostringstream range;
        range << low << " a " << high;
        fault("o campo " + Quoted(path) + " deve estar entre " + range.str());
    }
    return number;
}

template <class E>
E Choice(const Json& parent, const char* key, const std::string& path,
         std::initializer_list<std::pair<const char*, E>> choices, E fallback) {
    if (!parent.contains(key)) return fallback;
    const Json& value = parent.at(key);
    std::string allowed;
    for (const auto& [name, e] : choices) {
        if (value.is_string() && value.get<std::string>() == name) return e;
        allowed += (allowed.empty() ? "" : ", ") + Quoted(name);
    }
    fault("o campo " + Quoted(path) + " deve ser um de " + allowed);
}

const std::regex& NamePattern() {
    static const std::regex pattern("[A-Za-z_][A-Za-z0-9_]*");
    return pattern;
}

std::string FieldName(const Json& parent, const char* key, const std::string& path, bool required) {
    std::string name = Text(parent, key, path, required);
    if (!name.empty() && !std::regex_match(name, NamePattern()))
        fault("o campo " + Quoted(path) +
              " deve ser o nome de uma coluna da consulta, sem espaços");
    return name;
}

void ReadParameters(const Json& root, ReportDefinition& def) {
    const Json* list = Array(root, "parameters", "parameters", false);
    if (!list) return;
    std::set<std::string> seen;
    for (std::size_t i = 0; i < list->size(); ++i) {
        const std::string path = "parameters[" + std::to_string(i + 1) + "]";
        const Json& item = (*list)[i];
        ReportParameter p;
        if (item.is_string()) {
            p.name = item.get<std::string>();
        } else if (item.is_object()) {
            OnlyKeys(item, path, {"name", "default"});
            p.name = Text(item, "name", path + ".name", true);
            p.defaultValue = Text(item, "default", path + ".default", false, true);
        } else {
            fault("o item " + Quoted(path) + " deve ser um nome ou um objeto com \"name\"");
        }
        if (!std::regex_match(p.name, NamePattern()))
            fault("o parâmetro " + Quoted(p.name) +
                  " tem um nome inválido (use letras, dígitos e _)");
        if (!seen.insert(p.name).second)
            fault("o parâmetro " + Quoted(p.name) + " aparece duas vezes");
        def.parameters.push_back(std::move(p));
    }
}

void ReadHeader(const Json& root, ReportDefinition& def) {
    if (!root.contains("header")) return;
    const Json& header = Object(root, "header", "header");
    OnlyKeys(header, "header", {"query", "fields"});
    def.headerQuery = QueryText(header, "query", "header.query");
    const Json* fields = Array(header, "fields", "header.fields", true);
    for (std::size_t i = 0; i < fields->size(); ++i) {
        const std::string path = "header.fields[" + std::to_string(i + 1) + "]";
        const Json& item = (*fields)[i];
        if (!item.is_object()) fault("o item " + Quoted(path) + " deve ser um objeto");
        OnlyKeys(item, path, {"label", "field"});
        def.headerFields.push_back({Text(item, "label", path + ".label", true),
                                    FieldName(item, "field", path + ".field", true)});
    }
}

void ReadColumns(const Json& root, ReportDefinition& def) {
    const Json* list = Array(root, "columns", "columns", true);
    if (list->empty()) fault("a lista " + Quoted("columns") + " deve ter ao menos uma coluna");
    double total = 0;
    for (std::size_t i = 0; i < list->size(); ++i) {
        const std::string path = "columns[" + std::to_string(i + 1) + "]";
        const Json& item = (*list)[i];
        if (!item.is_object()) fault("o item " + Quoted(path) + " deve ser um objeto");
        OnlyKeys(item, path, {"kind", "field", "label", "width", "align", "values", "otherwise"});
        ReportColumn c;
        c.kind = Choice<ReportColumn::Kind>(
            item, "kind", path + ".kind",
            {{"text", ReportColumn::Kind::Text}, {"checkbox", ReportColumn::Kind::Checkbox}},
            ReportColumn::Kind::Text);
        const bool text = c.kind == ReportColumn::Kind::Text;
        c.field = FieldName(item, "field", path + ".field", text);
        c.label = Text(item, "label", path + ".label", true, !text);
        c.widthMm = Number(item, "width", path + ".width", 3, 400, std::nullopt);
        c.align = Choice<Align>(
            item, "align", path + ".align",
            {{"left", Align::Left}, {"center", Align::Center}, {"right", Align::Right}},
            text ? Align::Left : Align::Center);
        if (item.contains("values")) {
            const Json& values = Object(item, "values", path + ".values");
            for (auto it = values.begin(); it != values.end(); ++it) {
                if (!it.value().is_string())
                    fault("o valor de " + Quoted(it.key()) + " em " + Quoted(path + ".values") +
                          " deve ser um texto");
                c.values[it.key()] = it.value().get<std::string>();
            }
        }
        if (item.contains("otherwise"))
            c.otherwise = Text(item, "otherwise", path + ".otherwise", true, true);
        total += c.widthMm;
        def.columns.push_back(std::move(c));
    }
    const double usable = UsableWidthMm(def.orientation);
    if (total > usable + 1e-9) {
        std::ostringstream text;
        text << "as colunas somam " << total << " mm de largura e a página "
             << (def.orientation == Orientation::Portrait ? "em retrato" : "em paisagem") << " tem "
             << usable << " mm úteis";
        fault(text.str());
    }
}

void ReadGroupSortTotals(const Json& root, ReportDefinition& def) {
    if (root.contains("group")) {
        const Json& group = Object(root, "group", "group");
        OnlyKeys(group, "group", {"field", "by", "label"});
        ReportGroup g;
        g.field = FieldName(group, "field", "group.field", true);
        g.byInitial =
            Choice<bool>(group, "by", "group.by", {{"value", false}, {"initial", true}}, false);
        g.label = Text(group, "label", "group.label", false, true);
        def.group = std::move(g);
    }
    if (const Json* sort = Array(root, "sort", "sort", false)) {
        for (std::size_t i = 0; i < sort->size(); ++i) {
            const std::string path = "sort[" + std::to_string(i + 1) + "]";
            const Json& item = (*sort)[i];
            if (!item.is_object()) fault("o item " + Quoted(path) + " deve ser um objeto");
            OnlyKeys(item, path, {"field", "order", "as"});
            SortKey k;
            k.field = FieldName(item, "field", path + ".field", true);
            k.descending = Choice<bool>(item, "order", path + ".order",
                                        {{"asc", false}, {"desc", true}}, false);
            k.numeric =
                Choice<bool>(item, "as", path + ".as", {{"text", false}, {"number", true}}, false);
            def.sort.push_back(std::move(k));
        }
    }
    if (const Json* totals = Array(root, "totals", "totals", false)) {
        for (std::size_t i = 0; i < totals->size(); ++i) {
            const std::string path = "totals[" + std::to_string(i + 1) + "]";
            const Json& item = (*totals)[i];
            if (!item.is_object()) fault("o item " + Quoted(path) + " deve ser um objeto");
            OnlyKeys(item, path, {"label", "field", "equals", "notEquals"});
            ReportTotal t;
            t.label = Text(item, "label", path + ".label", true);
            t.field = FieldName(item, "field", path + ".field", false);
            t.equals = Texts(item, "equals", path + ".equals");
            t.notEquals = Texts(item, "notEquals", path + ".notEquals");
            if (t.field.empty() && (!t.equals.empty() || !t.notEquals.empty()))
                fault("o total " + Quoted(path) +
                      " compara valores mas não diz o campo (\"field\")");
            if (!t.field.empty() && t.equals.empty() && t.notEquals.empty())
                fault("o total " + Quoted(path) +
                      " diz o campo mas não os valores (\"equals\" ou \"notEquals\")");
            def.totals.push_back(std::move(t));
        }
    }
}

ReportDefinition Parse(const Json& root, const fs::path& file) {
    if (!root.is_object()) fault("o conteúdo deve ser um objeto JSON");
    OnlyKeys(root, "",
             {"format", "report", "title", "orientation", "fontSize", "parameters", "query",
              "header", "columns", "group", "sort", "totals"});
    if (!root.contains("format")) fault("falta o campo obrigatório \"format\"");
    const Json& format = root.at("format");
    if (!format.is_number_integer() || format.get<int>() != kReportFormat)
        fault("o formato " + format.dump() + " não é conhecido (este programa lê o formato " +
              std::to_string(kReportFormat) + ")");
    ReportDefinition def;
    def.file = file;
    def.report = Text(root, "report", "report", true);
    def.title = Text(root, "title", "title", true);
    def.orientation = Choice<Orientation>(
        root, "orientation", "orientation",
        {{"portrait", Orientation::Portrait}, {"landscape", Orientation::Landscape}},
        Orientation::Portrait);
    def.fontSize = Number(root, "fontSize", "fontSize", 6, 14, 9.0);
    ReadParameters(root, def);
    def.query = QueryText(root, "query", "query");
    ReadHeader(root, def);
    ReadColumns(root, def);
    ReadGroupSortTotals(root, def);
    return def;
}

// The line and column of the character before `byte` (where the reader
// stopped), counting characters as the text codec does.
std::string Located(std::string_view text, std::size_t byte) {
    std::size_t line = 1, column = 0;
    for (std::size_t i = 0; i < byte && i < text.size();
         i += corvana::decodeUtf8At(text, i).length) {
        if (text[i] == '\n') {
            ++line;
            column = 0;
        } else {
            ++column;
        }
    }
    return "linha " + std::to_string(line) + ", coluna " +
           std::to_string(std::max<std::size_t>(column, 1));
}

[[noreturn]] void Refuse(const fs::path& file, const std::string& why) {
    throw corvana::Error("Definição de relatório inválida no arquivo '" + file.filename().string() +
                         "': " + why + ".");
}

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw corvana::Error("Não foi possível ler a definição de relatório '" + file.string() +
                             "'.");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        throw corvana::Error("Não foi possível ler a definição de relatório '" + file.string() +
                             "'.");
    return text.str();
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool IsFileOf(const std::string& name, const std::string& code) {
    const std::string lower = Lower(name), prefix = Lower(code);
    if (lower.size() <= prefix.size() + 5 || lower.compare(0, prefix.size(), prefix) != 0)
        return false;
    const char sep = lower[prefix.size()];
    return (sep == '-' || sep == '_' || sep == '.') && lower.ends_with(".json");
}

// The title in plain lower-case letters and digits, words joined by "-".
std::string Slug(const std::string& title) {
    const QString folded = QString::fromStdString(title).normalized(QString::NormalizationForm_KD);
    std::string slug;
    for (QChar ch : folded) {
        if (ch.category() == QChar::Mark_NonSpacing) continue;
        const char16_t u = ch.toLower().unicode();
        if ((u >= 'a' && u <= 'z') || (u >= '0' && u <= '9')) {
            slug.push_back(static_cast<char>(u));
        } else if (!slug.empty() && slug.back() != '-') {
            slug.push_back('-');
        }
        if (slug.size() >= 60) break;
    }
    while (!slug.empty() && slug.back() == '-') slug.pop_back();
    return slug.empty() ? "relatorio" : slug;
}

QString Comparable(const std::string& title) {
    return QString::fromStdString(title).trimmed().toCaseFolded();
}

}  // namespace

std::vector<std::string> ReportDefinition::ParameterNames() const {
    std::vector<std::string> names;
    for (const auto& p : parameters) names.push_back(p.name);
    return names;
}

std::vector<std::string> ReportDefinition::ReferencedFields() const {
    std::vector<std::string> fields;
    auto add = [&](const std::string& f) {
        if (!f.empty() && std::find(fields.begin(), fields.end(), f) == fields.end())
            fields.push_back(f);
    };
    for (const auto& c : columns) add(c.field);
    if (group) add(group->field);
    for (const auto& k : sort) add(k.field);
    for (const auto& t : totals) add(t.field);
    return fields;
}

ReportDefinition ParseReportDefinition(std::string_view json, const fs::path& file) {
    Json root;
    try {
        root = Json::parse(json.begin(), json.end());
    } catch (const Json::parse_error& e) {
        Refuse(file, "o texto não é um JSON válido (" + Located(json, e.byte) + ")");
    }
    try {
        return Parse(root, file);
    } catch (const Fault& f) {
        Refuse(file, f.text);
    }
}

ReportDefinition LoadReportDefinition(const fs::path& file) {
    return ParseReportDefinition(ReadAll(file), file);
}

ReportCatalog LoadReportCatalog(const fs::path& folder, const std::string& code) {
    ReportCatalog catalog;
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return catalog;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (entry.is_regular_file(ec) && IsFileOf(entry.path().filename().string(), code))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        try {
            ReportDefinition def = LoadReportDefinition(file);
            if (Lower(def.report) != Lower(code))
                Refuse(file, "o código do relatório no arquivo (\"" + def.report +
                                 "\") não é o do nome do arquivo (\"" + code + "\")");
            catalog.definitions.push_back(std::move(def));
        } catch (const corvana::Error& e) {
            catalog.faults.push_back(e.what());
        }
    }
    QCollator byTitle{QLocale(QLocale::Portuguese, QLocale::Brazil)};
    byTitle.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(catalog.definitions.begin(), catalog.definitions.end(),
                     [&](const ReportDefinition& a, const ReportDefinition& b) {
                         return byTitle.compare(QString::fromStdString(a.title),
                                                QString::fromStdString(b.title)) < 0;
                     });
    return catalog;
}

fs::path SaveReportCopy(const ReportDefinition& source, const std::string& newTitle,
                        const fs::path& folder) {
    const std::string title = QString::fromStdString(newTitle).trimmed().toStdString();
    if (title.empty()) throw corvana::Error("O título do relatório deve ser informado.");
    for (const ReportDefinition& def : LoadReportCatalog(folder, source.report).definitions) {
        if (Comparable(def.title) == Comparable(title))
            throw corvana::Error("Já existe um relatório com o título '" + def.title + "'.");
    }
    Json root = Json::parse(ReadAll(source.file));
    root["title"] = title;

    const std::string base = source.report + "-" + Slug(title);
    fs::path target = folder / (base + ".json");
    for (int n = 2; fs::exists(target); ++n)
        target = folder / (base + "-" + std::to_string(n) + ".json");
    const fs::path partial = target.string() + ".parcial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << root.dump(2) << '\n';
        out.close();
        if (!out) {
            std::error_code ec;
            fs::remove(partial, ec);
            throw corvana::Error("Não foi possível gravar o relatório em '" + target.string() +
                                 "'.");
        }
    }
    std::error_code ec;
    fs::rename(partial, target, ec);
    if (ec) {
        fs::remove(partial, ec);
        throw corvana::Error("Não foi possível gravar o relatório em '" + target.string() + "'.");
    }
    return target;
}

}  // namespace corvana::report
