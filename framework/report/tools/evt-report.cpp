// evt-report: prints one report definition to a PDF file or a picture of a
// page, without a window, on the host's database.
//
//   evt-report --definition FILE [--param NAME=VALUE]... [--pdf FILE]
//              [--png FILE [--page N] [--dpi D]] [--DatabaseURL=... and other settings]
//
// Parameters not given keep their defaults. --page counts from 1.
// Example (the demo database of ./dev run), on one line:
//   evt-report --DataDir=data --definition data/reports/EVT078-lista-por-nome.json
//     --param P_CDFILIAL=0001 --param P_NRORCAEVENTO=0000001001 --param P_NRSEQORCAEVE=01
//     --png out/lista.png
#include <QDateTime>
#include <QGuiApplication>
#include <cstdlib>
#include <iostream>

#include "corvana/core/Corvana.h"
#include "corvana/data/Error.h"
#include "corvana/report/ReportPainter.h"
#include "corvana/report/ReportQuery.h"
#include "guestrecord/ListDatabase.h"

using namespace corvana::report;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    try {
        // The host's database, where the host looks for it.
        Corvana::SetDatabaseFileName(guestrecord::kListDatabaseFile);
        const std::vector<std::string> rest = Corvana::LoadSettings(argc, argv);
        std::string definition, pdf, png;
        std::vector<std::pair<std::string, std::string>> values;
        int page = 1, dpi = 110;
        for (std::size_t i = 0; i < rest.size(); ++i) {
            const std::string& a = rest[i];
            const bool more = i + 1 < rest.size();
            if (a == "--definition" && more)
                definition = rest[++i];
            else if (a == "--pdf" && more)
                pdf = rest[++i];
            else if (a == "--png" && more)
                png = rest[++i];
            else if (a == "--page" && more)
                page = std::stoi(rest[++i]);
            else if (a == "--dpi" && more)
                dpi = std::stoi(rest[++i]);
            else if (a == "--param" && more) {
                const std::string p = rest[++i];
                const auto eq = p.find('=');
                if (eq == std::string::npos) throw corvana::Error("Use --param NOME=VALOR: " + p);
                values.emplace_back(p.substr(0, eq), p.substr(eq + 1));
            } else {
                throw corvana::Error("Opção desconhecida: " + a);
            }
        }
        if (definition.empty() || (pdf.empty() && png.empty()))
            throw corvana::Error(
                "Use: evt-report --definition ARQUIVO [--param NOME=VALOR]... [--pdf ARQUIVO] "
                "[--png ARQUIVO [--page N] [--dpi D]]");
        const ReportDefinition def = LoadReportDefinition(definition);
        TReportParams params;
        for (const ReportParameter& p : def.parameters) params.Add(p.name, p.defaultValue);
        for (const auto& [name, value] : values) params.ParamByName(name).AsString = value;
        ReportData data = RunReportQueries(def, params);
        SortReportRows(def, data);
        const ReportDocument doc =
            LayoutReport(def, data, PageSize(def.orientation), QDateTime::currentDateTime());
        if (!pdf.empty()) SaveReportPdf(doc, QString::fromStdString(pdf));
        if (!png.empty()) {
            if (page < 1 || page > static_cast<int>(doc.pages.size()))
                throw corvana::Error("O relatório tem " + std::to_string(doc.pages.size()) +
                                     " páginas.");
            if (!RenderReportPage(doc, page - 1, dpi).save(QString::fromStdString(png), "PNG"))
                throw corvana::Error("Não foi possível gravar " + png);
        }
        const std::size_t pages = doc.pages.size();
        std::cout << def.title << ": " << pages << (pages == 1 ? " página, " : " páginas, ")
                  << data.rows.size() << (data.rows.size() == 1 ? " linha\n" : " linhas\n");
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "evt-report: " << e.what() << "\n";
        return 1;
    }
}
