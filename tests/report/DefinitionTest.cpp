// Report definitions: reading and checking a file, the list of a code's
// definitions in a folder, and saving one under a new title.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <filesystem>

#include "ReportSupport.h"
#include "corvana/data/Error.h"
#include "corvana/report/ReportDefinition.h"

using namespace corvana::report;
using namespace report_test;

namespace {

// A definition that reads well; each case below breaks one thing of it.
std::string Valid(const std::string& code = "EVT078", const std::string& title = "Lista") {
    return R"({"format": 1, "report": ")" + code + R"(", "title": ")" + title + R"(",
  "parameters": ["P_NRORCAEVENTO"],
  "query": "SELECT NMLISTACONVOREV FROM LISTACONVOREV WHERE NRORCAEVENTO = :P_NRORCAEVENTO",
  "columns": [{"field": "NMLISTACONVOREV", "label": "Nome", "width": 80}]})";
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

class DefinitionFolder : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("evt-report-defs-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

}  // namespace

TEST(ReportDefinitionTest, AFaultyDefinitionIsRefusedNamingTheFileAndTheFault) {
    struct Case {
        std::string text;
        std::string fault;
    };
    const std::vector<Case> cases = {
        {Valid().substr(0, 40), "o texto não é um JSON válido (linha 1, coluna"},
        {Replaced(Valid(), "\"format\": 1", "\"format\": 2"), "o formato 2 não é conhecido"},
        {Replaced(Valid(), R"("title": "Lista",)", ""), "falta o campo obrigatório \"title\""},
        {Replaced(Valid(), "\"columns\"", "\"colums\""),
         "a chave \"colums\" não faz parte do formato"},
        {Replaced(Valid(), "\"width\": 80", "\"width\": \"80\""),
         "o campo \"columns[1].width\" deve ser um número"},
        {Replaced(Valid(), "\"width\": 80", "\"width\": 200"),
         "as colunas somam 200 mm de largura e a página em retrato tem 186 mm úteis"},
        {Replaced(Valid(), "\"width\": 80}", "\"width\": 80, \"align\": \"middle\"}"),
         "o campo \"columns[1].align\" deve ser um de \"left\", \"center\", \"right\""},
        {Replaced(Valid(), R"(["P_NRORCAEVENTO"])", R"(["P_NRORCAEVENTO", "P_NRORCAEVENTO"])"),
         "o parâmetro \"P_NRORCAEVENTO\" aparece duas vezes"},
        {Replaced(Valid(), "\"columns\"",
                  R"("totals": [{"label": "Presentes", "field": "IDCONVPRESEOREV"}], "columns")"),
         "o total \"totals[1]\" diz o campo mas não os valores"},
        {Replaced(Valid(), "\"field\": \"NMLISTACONVOREV\"", "\"field\": \"NOME DO CONVIDADO\""),
         "o campo \"columns[1].field\" deve ser o nome de uma coluna da consulta"},
    };
    for (const Case& c : cases) {
        try {
            ParseReportDefinition(c.text, "/algum/lugar/EVT078-teste.json");
            ADD_FAILURE() << "aceita: " << c.text;
        } catch (const corvana::Error& e) {
            const std::string what = e.what();
            EXPECT_EQ(
                what.rfind("Definição de relatório inválida no arquivo 'EVT078-teste.json': ", 0),
                0u)
                << what;
            EXPECT_NE(what.find(c.fault), std::string::npos) << what;
        }
    }
    // The list form of a query is its lines joined.
    const ReportDefinition def = ParseReportDefinition(
        Replaced(
            Valid(),
            R"("SELECT NMLISTACONVOREV FROM LISTACONVOREV WHERE NRORCAEVENTO = :P_NRORCAEVENTO")",
            R"(["SELECT NMLISTACONVOREV", "FROM LISTACONVOREV"])"),
        "EVT078-linhas.json");
    EXPECT_EQ(def.query, "SELECT NMLISTACONVOREV\nFROM LISTACONVOREV");
}

TEST_F(DefinitionFolder, TheCatalogListsTheCodesFilesByTitleAndTellsTheUnreadableOnes) {
    EXPECT_FALSE(LoadReportCatalog(dir / "nenhuma", "EVT078").AnyFile());
    EXPECT_FALSE(LoadReportCatalog(dir, "EVT078").AnyFile());

    WriteFile(dir / "EVT078-b.json", Valid("EVT078", "Órfãos e Viúvas"));
    WriteFile(dir / "evt078_a.json", Valid("EVT078", "Lista de Convidados"));
    WriteFile(dir / "EVT078-quebrado.json", "{\"format\": 1,\n  \"report\": }");
    WriteFile(dir / "EVT078-outro-codigo.json", Valid("EVT079", "Outro"));
    WriteFile(dir / "EVT0780-x.json", Valid("EVT0780", "Outro código"));
    WriteFile(dir / "EVT079-c.json", Valid("EVT079", "Outro"));
    WriteFile(dir / "EVT078-d.txt", Valid());

    const ReportCatalog catalog = LoadReportCatalog(dir, "EVT078");
    std::vector<std::string> titles;
    for (const auto& d : catalog.definitions) titles.push_back(d.title);
    EXPECT_EQ(titles, (std::vector<std::string>{"Lista de Convidados", "Órfãos e Viúvas"}));
    ASSERT_EQ(catalog.faults.size(), 2u);
    EXPECT_NE(catalog.faults[0].find("'EVT078-outro-codigo.json'"), std::string::npos)
        << catalog.faults[0];
    EXPECT_NE(catalog.faults[0].find("não é o do nome do arquivo"), std::string::npos)
        << catalog.faults[0];
    EXPECT_NE(
        catalog.faults[1].find("'EVT078-quebrado.json': o texto não é um JSON válido (linha 2"),
        std::string::npos)
        << catalog.faults[1];
}

TEST_F(DefinitionFolder, ACopyUnderANewTitleIsListedAndTakenTitlesAreRefused) {
    fs::copy_file(Shipped(kByName), dir / kByName);
    const ReportDefinition source = LoadReportDefinition(dir / kByName);

    const fs::path copy = SaveReportCopy(source, "  Festa de Sábado ", dir);
    EXPECT_EQ(copy.filename().string(), "EVT078-festa-de-sabado.json");
    const ReportDefinition saved = LoadReportDefinition(copy);
    EXPECT_EQ(saved.title, "Festa de Sábado");
    EXPECT_EQ(saved.query, source.query);
    EXPECT_EQ(saved.columns.size(), source.columns.size());
    EXPECT_EQ(LoadReportCatalog(dir, "EVT078").definitions.size(), 2u);

    const auto refused = [&](const std::string& title) {
        try {
            SaveReportCopy(source, title, dir);
        } catch (const corvana::Error& e) {
            return std::string(e.what());
        }
        return std::string("aceito");
    };
    EXPECT_EQ(refused("festa de sábado"), "Já existe um relatório com o título 'Festa de Sábado'.");
    EXPECT_EQ(refused(" LISTA DE CONVIDADOS POR NOME"),
              "Já existe um relatório com o título 'Lista de Convidados por Nome'.");
    EXPECT_EQ(refused("   "), "O título do relatório deve ser informado.");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}
