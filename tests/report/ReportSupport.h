#pragma once
// What the report tests share: the shipped definitions in a reports folder
// of the test's own, the rows of a guest list read from the database, and
// the text of a PDF as pdftotext reads it.
#include <gtest/gtest.h>

#include <QProcess>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "corvana/core/Corvana.h"
#include "storage/Database.h"

namespace report_test {

namespace fs = std::filesystem;

inline fs::path Shipped(const std::string& name) {
    return fs::path(EVT_REPORT_DEFINITIONS) / name;
}

inline const char* const kByName = "EVT078-lista-por-nome.json";
inline const char* const kContract = "EVT078-convidados-do-contrato.json";
inline const char* const kDoor = "EVT078-lista-de-portaria.json";

// A reports folder under `dir` holding the shipped definitions, made the
// one of the settings.
inline fs::path InstallShipped(const fs::path& dir) {
    const fs::path reports = dir / "reports";
    fs::create_directories(reports);
    for (const auto& entry : fs::directory_iterator(EVT_REPORT_DEFINITIONS))
        fs::copy_file(entry.path(), reports / entry.path().filename(),
                      fs::copy_options::overwrite_existing);
    Corvana::SetReportsDir(reports.string());
    return reports;
}

inline void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// The pages of a PDF as pdftotext gives them (in their layout), one text per
// page; empty when pdftotext could not read it.
inline std::vector<QString> PdfPages(const fs::path& pdf) {
    QProcess p;
    p.start("pdftotext", {"-layout", "-enc", "UTF-8", QString::fromStdString(pdf.string()), "-"});
    if (!p.waitForFinished(120000) || p.exitCode() != 0) return {};
    QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).split('\f');
    if (!pages.isEmpty() && pages.back().trimmed().isEmpty()) pages.removeLast();
    return {pages.begin(), pages.end()};
}

inline bool HavePdfToText() {
    QProcess p;
    p.start("pdftotext", {"-v"});
    return p.waitForFinished(10000);
}

// The names of a guest list, as stored.
inline std::vector<std::string> GuestNames(evt::server::storage::Database& db,
                                           const std::string& branch, const std::string& budget,
                                           const std::string& sequence) {
    auto connection = db.Acquire();
    auto st = connection->Prepare(
        "SELECT NMLISTACONVOREV FROM LISTACONVOREV WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND "
        "NRSEQORCAEVE = ?");
    st->BindAll(branch, budget, sequence);
    std::vector<std::string> names;
    while (st->Step()) names.push_back(st->Text(0));
    return names;
}

// A value of the database: the first column of the first row.
template <typename... A>
std::string Scalar(evt::server::storage::Database& db, const char* sql, const A&... values) {
    auto connection = db.Acquire();
    auto st = connection->Prepare(sql);
    st->BindAll(values...);
    return st->Step() ? st->Text(0) : std::string();
}

}  // namespace report_test
