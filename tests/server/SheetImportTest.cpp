// GetImpPlanilha over HTTP: every row of a spreadsheet with its verdict and
// reason code, the dry run equal to the import that follows it and writing
// nothing, the rows added written in one unit of work.
#include "ListConvTestSupport.h"

using namespace listconv_test;

namespace {

using Texts = std::vector<std::string>;

// The columns a spreadsheet maps, in the order of the wizard's packet.
const std::vector<std::string> kColumns = {
    "NRCONTLINHA",      "NMLISTACONVOREV", "NRRGLISTAOREV",      "NRINSJURCLILISCONV",
    "NRTELCONVEVEN",    "NRCELCONVEVEN",   "DSEMAILCONVEVEN",    "QUANTIDADE",
    "IDCONDICAOCONVEV", "IDTIPOCONVEVEN",  "IDEXIBECONVCONTRAT", "NRORDEMEXIBCONTRAT"};

// A row: its line and the cells by column name (absent ones null).
using SheetRow = std::vector<std::pair<std::string, std::string>>;

DataPacket SheetPacket(const std::vector<SheetRow>& rows) {
    std::vector<FieldDef> fields;
    for (const std::string& c : kColumns) fields.push_back({c, FieldType::String, 200});
    DataPacket p(fields);
    for (const SheetRow& r : rows) {
        Row row(kColumns.size());
        for (const auto& [name, value] : r)
            row[static_cast<std::size_t>(p.requireField(name))] = Variant(value);
        p.addRow(row);
    }
    return p;
}

class SheetImportTest : public ListConvTest {
protected:
    Variant Sheet(const DataPacket& rows, const std::string& dryRun, const ListId* list = nullptr) {
        const ListId& l = list ? *list : kList;
        return Call("GetImpPlanilha", {l.branch, l.budget, l.sequence, rows, dryRun});
    }
};

}  // namespace

TEST_F(SheetImportTest, EveryRowHasItsVerdictAndTheDryRunIsWhatTheImportDoes) {
    AddGuests({NewGuest(kList, "Ana Souza",
                        {{"NRRGLISTAOREV", "111"},
                         {"NRINSJURCLILISCONV", "52998224725"},
                         {"NRORDEMEXIBCONTRAT", "01"}}),
               NewGuest(kList, "Bruno Lima")});
    const DataPacket rows = SheetPacket({
        {{"NRCONTLINHA", "2"},
         {"NMLISTACONVOREV", "Carla Dias"},
         {"NRRGLISTAOREV", "22.333.444-5"},
         {"NRINSJURCLILISCONV", "123.456.789-01"},
         {"NRTELCONVEVEN", "(11) 3333-4444"},
         {"DSEMAILCONVEVEN", "carla@exemplo.com.br"},
         {"QUANTIDADE", "2"},
         {"IDCONDICAOCONVEV", "noiva"},
         {"IDTIPOCONVEVEN", "Especial"},
         {"IDEXIBECONVCONTRAT", "Sim"},
         {"NRORDEMEXIBCONTRAT", "2"}},
        {{"NRCONTLINHA", "3"}, {"NMLISTACONVOREV", "ANA SOUZA"}},
        {{"NRCONTLINHA", "4"}, {"NMLISTACONVOREV", "Davi Rocha"}, {"NRRGLISTAOREV", "1.1.1"}},
        {{"NRCONTLINHA", "5"}, {"NMLISTACONVOREV", "carla dias"}},
        {{"NRCONTLINHA", "6"}, {"NMLISTACONVOREV", ""}, {"NRRGLISTAOREV", "9"}},
        {{"NRCONTLINHA", "7"}, {"NMLISTACONVOREV", std::string(51, 'x')}},
        {{"NRCONTLINHA", "8"}, {"NMLISTACONVOREV", "Elisa Prado"}, {"QUANTIDADE", "muitos"}},
        {{"NRCONTLINHA", "9"}, {"NMLISTACONVOREV", "Fábio Nunes"}, {"NRINSJURCLILISCONV", "123"}},
        {{"NRCONTLINHA", "10"},
         {"NMLISTACONVOREV", "Gilda Reis"},
         {"NRINSJURCLILISCONV", "529.982.247-25"}},
        {{"NRCONTLINHA", "11"}, {"NMLISTACONVOREV", "Hugo Alves"}, {"NRRGLISTAOREV", "223334445"}},
        {{"NRCONTLINHA", "12"}, {"NMLISTACONVOREV", "Iara Melo"}, {"IDCONDICAOCONVEV", "tia"}},
        {{"NRCONTLINHA", "13"}, {"NMLISTACONVOREV", "João Paz"}, {"NRORDEMEXIBCONTRAT", "1"}},
        {{"NRCONTLINHA", "14"}, {"NMLISTACONVOREV", "Lia\x01Mota"}},
        {{"NRCONTLINHA", "15"}, {"NMLISTACONVOREV", "Mara Luz"}, {"IDTIPOCONVEVEN", "vip"}},
        {{"NRCONTLINHA", "16"}, {"NMLISTACONVOREV", "Nina Sá"}, {"IDEXIBECONVCONTRAT", "talvez"}},
        {{"NRCONTLINHA", "17"}, {"NMLISTACONVOREV", "Otto Reis"}, {"NRORDEMEXIBCONTRAT", "2"}},
        {{"NRCONTLINHA", "18"}, {"NMLISTACONVOREV", "Paula Dias"}, {"NRORDEMEXIBCONTRAT", "abc"}},
        {{"NRCONTLINHA", "19"},
         {"NMLISTACONVOREV", "Rui Melo"},
         {"DSEMAILCONVEVEN", std::string(51, 'e')}},
        {{"NRCONTLINHA", "20"}, {"NMLISTACONVOREV", "  Sara Lima  "}, {"QUANTIDADE", "1,0"}},
    });

    const Variant preview = Sheet(rows, "S");
    ASSERT_TRUE(preview.isPacket()) << preview.toJson();
    const DataPacket& verdicts = preview.asPacket();
    EXPECT_EQ(verdicts.fields(), (std::vector<FieldDef>{{"NRCONTLINHA", FieldType::String, 10},
                                                        {"IDRESULTADO", FieldType::String, 1},
                                                        {"CDMOTIVO", FieldType::String, 20},
                                                        {"DSMOTIVO", FieldType::String, 120}}));
    EXPECT_EQ(Column(verdicts, "NRCONTLINHA"),
              (Texts{"2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15",
                     "16", "17", "18", "19", "20"}));
    EXPECT_EQ(
        Column(verdicts, "CDMOTIVO"),
        (Texts{"", "NOME_NA_LISTA", "RG_NA_LISTA", "NOME_REPETIDO", "NOME_VAZIO", "NOME_LONGO",
               "QUANTIDADE_INVALIDA", "INSCRICAO_INVALIDA", "INSCRICAO_NA_LISTA", "RG_REPETIDO",
               "CONDICAO_INVALIDA", "ORDEM_NA_LISTA", "CARACTERE_CONTROLE", "TIPO_INVALIDO",
               "CONTRATO_INVALIDO", "ORDEM_REPETIDA", "ORDEM_INVALIDA", "CAMPO_LONGO", ""}));
    EXPECT_EQ(Cell(verdicts, 3, "DSMOTIVO"), Variant("nome repetido no arquivo (linha 2)."));
    EXPECT_EQ(Cell(verdicts, 5, "DSMOTIVO"), Variant("nome com mais de 50 caracteres (51)."));
    EXPECT_EQ(Column(verdicts, "IDRESULTADO"),
              (Texts{"A", "R", "R", "R", "R", "R", "R", "R", "R", "R", "R", "R", "R", "R", "R", "R",
                     "R", "R", "A"}));
    // Nothing written by the dry run.
    EXPECT_EQ(Guests(kList).rows().size(), 2u);

    // The import answers the same verdicts and adds exactly the rows the
    // preview said it would.
    const Variant imported = Sheet(rows, "N");
    ASSERT_TRUE(imported.isPacket()) << imported.toJson();
    EXPECT_EQ(imported.asPacket().rows(), verdicts.rows());
    const DataPacket list = Guests(kList);
    EXPECT_EQ(Column(list, "NMLISTACONVOREV"),
              (Texts{"Ana Souza", "Bruno Lima", "Carla Dias", "Sara Lima"}));
    // The words of the coded fields stored as their codes, the inscription
    // without its mask, the quantity as a number, the first guest's treatment.
    EXPECT_EQ(list.rows()[2], (Row{"Sr.",
                                   "*",
                                   "12345678901",
                                   "Carla Dias",
                                   "22.333.444-5",
                                   "N",
                                   "NOIVA",
                                   "(11) 3333-4444",
                                   "*",
                                   "carla@exemplo.com.br",
                                   "ESPECIAL",
                                   "S",
                                   "2",
                                   Variant(),
                                   Variant(),
                                   Variant(),
                                   "0001",
                                   "0000000002",
                                   "00003",
                                   2.0,
                                   "01"}));
    EXPECT_EQ(Cell(list, 3, "QUANTIDADE"), Variant(1.0));

    // Sent again, every row is now on the list.
    const Variant again = Sheet(rows, "S");
    ASSERT_TRUE(again.isPacket());
    EXPECT_EQ(Cell(again.asPacket(), 0, "CDMOTIVO"), Variant("NOME_NA_LISTA"));
    EXPECT_EQ(Cell(again.asPacket(), 18, "CDMOTIVO"), Variant("NOME_NA_LISTA"));
}

TEST_F(SheetImportTest, AListThatDoesNotExistOrABadCallIsRefusedWhole) {
    const DataPacket rows = SheetPacket({{{"NRCONTLINHA", "2"}, {"NMLISTACONVOREV", "Ana"}}});
    const ListId missing{"0001", "0000000003", "01"};
    const Variant answer = Sheet(rows, "N", &missing);
    ASSERT_TRUE(answer.isError()) << answer.toJson();
    EXPECT_EQ(answer.errorMessage(),
              "A lista de convidados (filial 0001, orçamento 0000000003, sequência 01) não "
              "existe; nada foi importado.");

    const std::string path = "/evt07800.rdmListConv/GetImpPlanilha";
    const auto bad = Raw("POST", path,
                         R"(["0001","0000000002","01",{"$packet":{"format":)"
                         R"("corvana.datapacket","version":1,"kind":"data",)"
                         R"("fields":[{"name":"NMLISTACONVOREV","type":)"
                         R"("string","size":50}],"rows":[["Ana"]]}},"S"])");
    EXPECT_EQ(bad.status, 400);
    EXPECT_NE(bad.body.find("NRCONTLINHA"), std::string::npos) << bad.body;
    const auto flag = Raw(
        "POST", path, R"(["0001","0000000002","01",)" + Variant(rows).toJson() + R"(,"talvez"])");
    EXPECT_EQ(flag.status, 400);
    EXPECT_EQ(Guests(kList).rows().size(), 0u);
}

// 99,998 is the last number: the rows past it are refused one by one, the
// ones before are added.
TEST_F(SheetImportTest, RowsPastTheLastNumberAreRefusedAsAFullList) {
    AddGuests({NewGuest(kList, "Ana Souza")});
    Exec("UPDATE LISTACONVOREV SET NRLISTACONVOREV = '99997'");
    const DataPacket rows = SheetPacket({{{"NRCONTLINHA", "2"}, {"NMLISTACONVOREV", "Bia"}},
                                         {{"NRCONTLINHA", "3"}, {"NMLISTACONVOREV", "Caio"}}});
    const Variant answer = Sheet(rows, "N");
    ASSERT_TRUE(answer.isPacket()) << answer.toJson();
    EXPECT_EQ(Column(answer.asPacket(), "CDMOTIVO"), (Texts{"", "LISTA_CHEIA"}));
    EXPECT_EQ(Column(Guests(kList), "NRLISTACONVOREV"), (Texts{"99997", "99998"}));
}
