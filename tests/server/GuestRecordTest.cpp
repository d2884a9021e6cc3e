// What a field of the guest record reaches beyond what follows the record by
// itself (the server's SQL and packets, the screen's dataset, the demo data;
// the schema's sizes are held to it in StorageTest): the printed reports and
// the import. Each stored field says where it stands; a field added to the
// record fails here until someone decides and writes it down below.
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "ListConvTestSupport.h"

using namespace listconv_test;
namespace record = evt::guestrecord;
namespace fs = std::filesystem;

namespace {

// How an imported guest gets the field.
enum class Imported {
    FromFile,     // read from the file's line (import/GuestFile.h, docs/import.md)
    FromList,     // as the list's first guest has it
    Placeholder,  // the record's placeholder; the quantity 1
};

struct Reach {
    std::string_view field;
    bool printed;  // named by a report definition (report/definitions)
    Imported imported;
};

constexpr Reach kReach[] = {
    {"IDTPTRATCONVESPEC", false, Imported::FromList},
    {"CDCLIENTELISTCONV", false, Imported::Placeholder},
    {"NRINSJURCLILISCONV", false, Imported::Placeholder},
    {"NMLISTACONVOREV", true, Imported::FromFile},
    {"NRRGLISTAOREV", true, Imported::FromFile},
    {"IDCONVPRESEOREV", true, Imported::Placeholder},
    {"IDCONDICAOCONVEV", true, Imported::Placeholder},
    {"NRTELCONVEVEN", false, Imported::Placeholder},
    {"NRCELCONVEVEN", false, Imported::Placeholder},
    {"DSEMAILCONVEVEN", false, Imported::Placeholder},
    {"IDTIPOCONVEVEN", true, Imported::Placeholder},
    {"IDEXIBECONVCONTRAT", true, Imported::Placeholder},
    {"NRORDEMEXIBCONTRAT", true, Imported::Placeholder},
    {"QUANTIDADE", false, Imported::Placeholder},
};

const Reach* ReachOf(std::string_view field) {
    for (const Reach& r : kReach)
        if (r.field == field) return &r;
    return nullptr;
}

std::string ShippedDefinitions() {
    std::string all;
    for (const auto& entry :
         fs::directory_iterator(fs::path(EVT_SOURCE_DIR) / "report" / "definitions")) {
        std::ifstream file(entry.path());
        std::ostringstream text;
        text << file.rdbuf();
        all += text.str();
    }
    return all;
}

}  // namespace

TEST(GuestRecordReach, EveryStoredFieldSaysWhetherReportsPrintItAndHowTheImportFillsIt) {
    const std::string definitions = ShippedDefinitions();
    ASSERT_FALSE(definitions.empty());
    for (const record::Field& f : record::kFields) {
        if (f.origin != record::Origin::Guest) continue;
        const Reach* reach = ReachOf(f.name);
        if (!reach) {
            ADD_FAILURE()
                << "O campo " << f.name
                << " do registro do convidado é novo: decida se os relatórios o "
                   "imprimem (report/definitions/*.json) e como a importação o preenche "
                   "(import/GuestFile.h, import/TfrmListaImpArq.cpp, docs/import.md; a planilha: "
                   "sheet/GuestColumns.cpp), "
                   "e registre a decisão em kReach (tests/server/GuestRecordTest.cpp).";
            continue;
        }
        const bool named =
            std::regex_search(definitions, std::regex("\\b" + std::string(f.name) + "\\b"));
        EXPECT_EQ(named, reach->printed)
            << f.name << (named ? " aparece" : " não aparece") << " em report/definitions";
    }
    for (const Reach& r : kReach) {
        const bool inRecord = std::any_of(
            record::kFields.begin(), record::kFields.end(), [&](const record::Field& f) {
                return f.name == r.field && f.origin == record::Origin::Guest;
            });
        EXPECT_TRUE(inRecord) << r.field << " não é um campo guardado do registro do convidado";
    }
}

// The import fills each stored field as kReach says.
TEST_F(ListConvTest, AnImportedGuestHoldsWhatItsFieldsReachSays) {
    AddGuests({NewGuest(kList, "Ana Souza", {{"IDTPTRATCONVESPEC", "Dra."}})});
    DataPacket file({{"CDFILIAL", FieldType::String, 4},
                     {"NRORCAEVENTO", FieldType::String, 10},
                     {"NRSEQORCAEVE", FieldType::String, 2},
                     {"NRRGLISTAOREV", FieldType::String, 20},
                     {"NMLISTACONVOREV", FieldType::String, 80}});
    file.addRow({kList.branch, kList.budget, kList.sequence, "4455", "Bruno Lima"});
    const Variant answer = Call("GetImpLista", {file});
    ASSERT_TRUE(answer.isPacket()) << answer.toJson();
    const DataPacket list = Guests(kList);
    ASSERT_EQ(list.rows().size(), 2u);
    const Row& first = list.rows()[0];
    const Row& imported = list.rows()[1];
    ASSERT_EQ(Cell(list, 1, "NMLISTACONVOREV"), Variant("Bruno Lima"));
    const DataPacket& line = file;
    for (const Reach& r : kReach) {
        SCOPED_TRACE(std::string(r.field));
        const auto at = static_cast<std::size_t>(list.requireField(std::string(r.field)));
        const Variant& value = imported[at];
        const record::Field& f = record::kFields[at];
        switch (r.imported) {
            case Imported::FromFile:
                EXPECT_EQ(value, Cell(line, 0, std::string(r.field)));
                break;
            case Imported::FromList:
                EXPECT_EQ(value, first[at]);
                break;
            case Imported::Placeholder:
                if (f.type != FieldType::String)
                    EXPECT_EQ(value.toDouble(), 1.0);
                else if (f.placeholder.empty())
                    EXPECT_TRUE(value.isNull()) << value.toJson();
                else
                    EXPECT_EQ(value, Variant(std::string(f.placeholder)));
                break;
        }
    }
}
