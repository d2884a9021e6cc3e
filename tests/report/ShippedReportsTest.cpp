// The shipped definitions of EVT078 printed to PDF for budgets of the demo
// data, read back with pdftotext: the guests of the sequence or of the
// resulting copy, accents, order, marks, totals and page numbers.
#include <QCollator>
#include <QDateTime>
#include <QRegularExpression>
#include <algorithm>
#include <map>
#include <set>

#include "ReportSupport.h"
#include "corvana/report/ReportPainter.h"
#include "corvana/report/ReportQuery.h"
#include "storage/DemoData.h"
#include "storage/Schema.h"
#include "support/ScreenFixture.h"

using namespace corvana::report;
using namespace report_test;
namespace demo = evt::server::storage::demo;

namespace {

class ShippedReports : public corvana::test::ScreenFixture {
protected:
    void SetUp() override {
        ScreenFixture::SetUp();
        if (!HavePdfToText()) GTEST_SKIP() << "pdftotext (poppler-utils) não está instalado";
    }

    struct Printed {
        ReportDocument doc;
        std::vector<QString> pages;
    };

    // The definition printed to a PDF with these parameter values, and the
    // PDF's text.
    Printed Print(const char* file, const std::string& budget, const std::string& sequence,
                  const std::string& idResult, const std::string& branch = "0001") {
        const ReportDefinition def = LoadReportDefinition(Shipped(file));
        TReportParams params;
        for (const auto& p : def.parameters) params.Add(p.name, p.defaultValue);
        params.ParamByName("P_CDFILIAL").AsString = branch;
        params.ParamByName("P_NRORCAEVENTO").AsString = budget;
        params.ParamByName("P_NRSEQORCAEVE").AsString = sequence;
        params.ParamByName("P_IDRESULT").AsString = idResult;
        ReportData data = RunReportQueries(def, params);
        SortReportRows(def, data);
        Printed out;
        out.doc = LayoutReport(def, data, PageSize(def.orientation), QDateTime::currentDateTime());
        const fs::path pdf = dir / (std::string(file) + ".pdf");
        SaveReportPdf(out.doc, QString::fromStdString(pdf.string()));
        out.pages = PdfPages(pdf);
        EXPECT_EQ(out.pages.size(), out.doc.pages.size()) << file;
        return out;
    }

    // The cells of a laid-out text line (columns are two blanks apart or more).
    static QStringList Cells(const QString& line) {
        QStringList cells;
        for (const QString& c : line.split(QRegularExpression("\\s{2,}"), Qt::SkipEmptyParts))
            cells << c.trimmed();
        return cells;
    }

    // The rows printed: each line with a cell that is one of `names`, by name
    // in the order printed, with the line's other cells.
    static std::vector<std::pair<std::string, QStringList>> Rows(
        const QString& page, const std::set<std::string>& names) {
        std::vector<std::pair<std::string, QStringList>> rows;
        for (const QString& line : page.split('\n')) {
            const QStringList cells = Cells(line);
            for (const QString& cell : cells)
                if (names.count(cell.toStdString())) rows.emplace_back(cell.toStdString(), cells);
        }
        return rows;
    }

    // Name -> a column of the stored guest list.
    std::map<std::string, std::string> Column(const char* column, const std::string& budget,
                                              const std::string& sequence) {
        auto connection = db->Acquire();
        auto st = connection->Prepare(
            std::string("SELECT NMLISTACONVOREV, COALESCE(") + column +
            ", '') FROM LISTACONVOREV WHERE CDFILIAL = '0001' AND NRORCAEVENTO = ? "
            "AND NRSEQORCAEVE = ?");
        st->BindAll(budget, sequence);
        std::map<std::string, std::string> out;
        while (st->Step()) out[st->Text(0)] = st->Text(1);
        return out;
    }

    static std::vector<std::string> Sorted(std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    }

    static int Number(const QString& text, const QString& pattern) {
        const auto m = QRegularExpression(pattern).match(text);
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    }
};

bool HasAccent(const std::vector<std::string>& names) {
    return std::any_of(names.begin(), names.end(), [](const std::string& n) {
        return std::any_of(n.begin(), n.end(),
                           [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    });
}

}  // namespace

TEST_F(ShippedReports, EachDefinitionPrintsTheGuestsOfTheSequenceOrOfTheResultingCopy) {
    // A budget whose resulting copy is another sequence than "01".
    const std::string budget =
        Scalar(*db,
               "SELECT NRORCAEVENTO FROM ORCAEVENTOSEQ WHERE CDFILIAL = '0001' AND IDRESULT = 'S' "
               "AND NRSEQORCAEVE <> '01' AND NRORCAEVENTO <> ? ORDER BY NRORCAEVENTO LIMIT 1",
               std::string(demo::kBigListBudget));
    ASSERT_FALSE(budget.empty());
    const std::string result = Scalar(*db,
                                      "SELECT NRSEQORCAEVE FROM ORCAEVENTOSEQ WHERE CDFILIAL = "
                                      "'0001' AND NRORCAEVENTO = ? AND IDRESULT = 'S'",
                                      budget);

    for (const auto& [sequence, idResult, listed] :
         {std::tuple<std::string, std::string, std::string>{"01", "", "01"}, {"", "T", result}}) {
        SCOPED_TRACE("sequência '" + sequence + "', P_IDRESULT '" + idResult + "'");
        const auto presence = Column("IDCONVPRESEOREV", budget, listed);
        const auto contract = Column("IDEXIBECONVCONTRAT", budget, listed);
        const auto order = Column("NRORDEMEXIBCONTRAT", budget, listed);
        const auto type = Column("IDTIPOCONVEVEN", budget, listed);
        std::vector<std::string> guests, onContract;
        for (const auto& [name, shown] : contract) {
            guests.push_back(name);
            if (shown != "N" && !shown.empty()) onContract.push_back(name);
        }
        ASSERT_TRUE(HasAccent(guests));
        ASSERT_FALSE(onContract.empty());
        // Every name of either list, so that a guest of the other list
        // printed here is seen.
        std::set<std::string> universe(guests.begin(), guests.end());
        for (const auto& other : {std::string("01"), result})
            for (const auto& n : GuestNames(*db, "0001", budget, other)) universe.insert(n);
        ASSERT_GT(universe.size(), guests.size());
        const long present = std::count_if(presence.begin(), presence.end(),
                                           [](const auto& p) { return p.second == "S"; });

        {
            const Printed byName = Print(kByName, budget, sequence, idResult);
            ASSERT_EQ(byName.pages.size(), 1u);
            const QString page = byName.pages[0];
            std::vector<std::string> printed;
            for (const auto& [name, cells] : Rows(page, universe)) {
                printed.push_back(name);
                // Presença and Contrato in words.
                const bool shown = contract.at(name) != "N" && !contract.at(name).empty();
                EXPECT_EQ(cells.count("Sim"), (presence.at(name) == "S") + shown) << name;
                EXPECT_EQ(cells.count("Não"), (presence.at(name) == "N") + !shown) << name;
            }
            EXPECT_EQ(Sorted(printed), Sorted(guests));
            EXPECT_TRUE(page.contains(
                QString("Convidados: %1 nesta página · %1 até aqui").arg(guests.size())));
            EXPECT_TRUE(
                page.contains(QString("Presentes: %1 nesta página · %1 até aqui").arg(present)));
            EXPECT_TRUE(page.contains(QString("Convidados: %1\n").arg(guests.size())));
            EXPECT_TRUE(page.contains("Página 1 de 1"));
            EXPECT_TRUE(page.contains(QString::fromStdString("Orçamento: " + budget)));
            EXPECT_TRUE(page.contains(QString::fromStdString("Sequencial: " + listed)));
        }
        {
            const Printed contractList = Print(kContract, budget, sequence, idResult);
            std::vector<std::string> printed;
            int last = 0;
            for (const auto& [name, cells] : Rows(contractList.pages.at(0), universe)) {
                printed.push_back(name);
                const int number = QString::fromStdString(order.at(name)).toInt();
                EXPECT_EQ(cells.front(), QString::fromStdString(order.at(name))) << name;
                EXPECT_LE(last, number) << "ordem do contrato";
                last = number;
            }
            EXPECT_EQ(Sorted(printed), Sorted(onContract));
            EXPECT_TRUE(contractList.pages[0].contains(
                QString("Convidados no contrato: %1\n").arg(onContract.size())));
        }
        {
            const Printed door = Print(kDoor, budget, sequence, idResult);
            std::vector<std::string> printed;
            long special = 0;
            for (const auto& [name, cells] : Rows(door.pages.at(0), universe)) {
                printed.push_back(name);
                const bool isSpecial = type.at(name) != "NORMAL" && !type.at(name).empty();
                special += isSpecial;
                EXPECT_EQ(cells.contains("★ Especial"), isSpecial) << name;
            }
            EXPECT_EQ(Sorted(printed), Sorted(guests));
            EXPECT_TRUE(door.pages[0].contains(QString("Especiais: %1\n").arg(special)));
            // Each guest's initial, without accent, titles its group.
            for (const std::string& name : guests) {
                const QString initial = QString::fromStdString(name)
                                            .normalized(QString::NormalizationForm_D)
                                            .left(1)
                                            .toUpper();
                EXPECT_TRUE(door.pages[0].contains("Letra: " + initial)) << name;
            }
        }
    }
}

TEST_F(ShippedReports, TheFiveThousandGuestListHasItsPageNumbersAndTotalsOnEveryPage) {
    const auto presence = Column("IDCONVPRESEOREV", demo::kBigListBudget, demo::kBigListSequence);
    ASSERT_EQ(presence.size(), static_cast<std::size_t>(demo::kBigListGuests));
    std::set<std::string> names;
    long present = 0;
    for (const auto& [name, p] : presence) {
        names.insert(name);
        present += p == "S";
    }

    // The resulting copy of the budget is its 5000-guest sequence.
    const Printed printed = Print(kByName, demo::kBigListBudget, "", "T");
    const int count = static_cast<int>(printed.pages.size());
    ASSERT_GT(count, 50);
    long guests = 0, presents = 0;
    std::vector<std::string> all;
    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE("página " + std::to_string(i + 1));
        const QString& page = printed.pages[static_cast<std::size_t>(i)];
        long onPage = 0, presentOnPage = 0;
        for (const auto& row : Rows(page, names)) {
            ++onPage;
            presentOnPage += presence.at(row.first) == "S";
            all.push_back(row.first);
        }
        guests += onPage;
        presents += presentOnPage;
        EXPECT_TRUE(page.contains(QString("Página %1 de %2").arg(i + 1).arg(count)));
        EXPECT_EQ(Number(page, "Convidados: (\\d+) nesta página"), onPage);
        EXPECT_EQ(Number(page, "Convidados: \\d+ nesta página · (\\d+) até aqui"), guests);
        EXPECT_EQ(Number(page, "Presentes: (\\d+) nesta página"), presentOnPage);
        EXPECT_EQ(Number(page, "Presentes: \\d+ nesta página · (\\d+) até aqui"), presents);
        EXPECT_TRUE(page.contains("Lista de Convidados por Nome"));
        EXPECT_TRUE(page.contains("Nome do Convidado"));
    }
    EXPECT_EQ(guests, demo::kBigListGuests);
    EXPECT_EQ(std::set<std::string>(all.begin(), all.end()), names);
    EXPECT_TRUE(
        printed.pages.back().contains(QString("Convidados: %1\n").arg(demo::kBigListGuests)));
    EXPECT_TRUE(printed.pages.back().contains(QString("Presentes: %1\n").arg(present)));
    // By name, as a Brazilian reader orders them.
    QCollator collator{QLocale(QLocale::Portuguese, QLocale::Brazil)};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    for (std::size_t i = 1; i < all.size(); ++i)
        ASSERT_LE(
            collator.compare(QString::fromStdString(all[i - 1]), QString::fromStdString(all[i])), 0)
            << all[i - 1] << " / " << all[i];
}

TEST_F(ShippedReports, NamesOfFiftyCharactersStayWithinTheirColumn) {
    // Two guests of the plain list renamed: words of wide letters with
    // accents, and one word wider than the column.
    const QString words = "Wenceslau Ângelo Wolfgang Guimarães Walbrück Mwâmo";
    QString word;
    while (word.size() < 50) word += QStringLiteral("WÂMÊ");
    word.truncate(50);
    ASSERT_EQ(words.size(), 50);
    for (const auto& [number, name] : {std::pair{"00001", words}, std::pair{"00002", word}}) {
        auto connection = db->Acquire();
        connection
            ->Prepare(
                "UPDATE LISTACONVOREV SET NMLISTACONVOREV = ?, NMCHAVE = ? WHERE CDFILIAL = '0001' "
                "AND NRORCAEVENTO = ? AND NRSEQORCAEVE = '01' AND NRLISTACONVOREV = ?")
            ->BindAll(name.toStdString(), evt::server::storage::GuestNameKey(name.toStdString()),
                      std::string(demo::kPlainListBudget), std::string(number))
            .Execute();
    }
    const Printed printed = Print(kByName, demo::kPlainListBudget, "01", "");
    const fs::path pdf = dir / (std::string(kByName) + ".pdf");

    QProcess p;
    p.start("pdftotext",
            {"-bbox", "-f", "1", "-l", "1", QString::fromStdString(pdf.string()), "-"});
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString boxes = QString::fromUtf8(p.readAllStandardOutput());
    const double left = printed.doc.columnSpans[0].first / kUnitsPerPoint;
    const double right = printed.doc.columnSpans[0].second / kUnitsPerPoint;
    QString inColumn;
    QRegularExpression box(R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" )re"
                           R"re(xMax="([\d.]+)" yMax="[\d.]+">([^<]*)</word>)re");
    double rowsTop = -1;  // below the column titles
    for (auto it = box.globalMatch(boxes); it.hasNext();) {
        const auto m = it.next();
        const double x0 = m.captured(1).toDouble(), y0 = m.captured(2).toDouble(),
                     x1 = m.captured(3).toDouble();
        if (rowsTop < 0) {
            if (m.captured(4) == "Convidado") rowsTop = y0 + 1;
            continue;
        }
        if (y0 < rowsTop || x0 < left - 0.5 || x0 >= right) continue;
        EXPECT_LE(x1, right) << m.captured(4).toStdString() << " passa da coluna do nome";
        inColumn += m.captured(4);
    }
    EXPECT_TRUE(inColumn.contains(QString(words).remove(' '))) << inColumn.toStdString();
    EXPECT_TRUE(inColumn.contains(word)) << inColumn.toStdString();
}
