// GetImpLista over HTTP: guests imported from a file, the refused lines
// counted in file order, all-or-nothing, and a file of a thousand lines.
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include "ListConvTestSupport.h"

using namespace listconv_test;

namespace {

struct Line {
    Variant name, rg;
};

// The packet the import screen sends: the file's lines, last line first.
DataPacket FilePacket(const ListId& list, const std::vector<Line>& lines) {
    DataPacket p({{"CDFILIAL", FieldType::String, 4},
                  {"NRORCAEVENTO", FieldType::String, 10},
                  {"NRSEQORCAEVE", FieldType::String, 2},
                  {"NRRGLISTAOREV", FieldType::String, 20},
                  {"NMLISTACONVOREV", FieldType::String, 80}});
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
        p.addRow({list.branch, list.budget, list.sequence, it->rg, it->name});
    return p;
}
using Texts = std::vector<std::string>;

}  // namespace

TEST_F(ListConvTest, ImportKeepsFileOrderAndListsTheRefusedLines) {
    AddGuests(
        {NewGuest(kList, "Ana Souza", {{"IDTPTRATCONVESPEC", "Dra."}, {"NRRGLISTAOREV", "111"}}),
         NewGuest(kList, "Bruno Lima")});
    const std::string longName(100, 'x');
    const std::string nbsp = "\xC2\xA0", zwsp = "\xE2\x80\x8B", ctrlA = "\x01", escape = "\x1B";
    const Variant answer = Call(
        "GetImpLista",
        {FilePacket(kList, {{"Carla Dias", ""},
                            {"ana souza", ""},      // 2: on the list
                            {"Davi Rocha", "111"},  // 3: R.G. on the list
                            {"  Elisa Prado  ", "22.333.444-5"},
                            {"CARLA DIAS", ""},            // 5: earlier in the file
                            {"", ""},                      // 6: no name
                            {longName, "9"},               // 7: too long
                            {"Fábio Nunes", "223334445"},  // 8: R.G. earlier
                            {"Gilda Reis", Variant()},
                            {std::string(50, 'y'), ""},
                            {"BRUNO LÍMA", ""},                  // 11: accent twin
                            {"Gílda Réis", ""},                  // 12: accent twin
                            {"Hugo" + ctrlA + "Alves", ""},      // 13
                            {"Iara Melo", "12" + escape + "3"},  // 14
                            {"Ana" + nbsp + "Souza", ""},        // 15: look-alike
                            {"Jo" + zwsp + "a\xCC\x83o Paz" + nbsp, nbsp + "9" + nbsp + "8"}})});
    ASSERT_TRUE(answer.isPacket()) << answer.toJson();
    const DataPacket& refused = answer.asPacket();
    EXPECT_EQ(refused.fields(), (std::vector<FieldDef>{{"NRCONTLINHA", FieldType::String, 10},
                                                       {"NMLISTACONVOREV", FieldType::String, 80},
                                                       {"NRRGLISTAOREV", FieldType::String, 20}}));
    EXPECT_EQ(Column(refused, "NRCONTLINHA"),
              (Texts{"2", "3", "5", "6", "7", "8", "11", "12", "13", "14", "15"}));
    EXPECT_EQ(refused.rows()[1], (Row{"3", "Davi Rocha", "111"}));
    EXPECT_EQ(Cell(refused, 4, "NMLISTACONVOREV"), Variant(longName.substr(0, 80)));
    // Lines 13 and 14 hold control characters, which cannot be stored: they
    // are listed with each shown as U+FFFD.
    const std::string shown = "\xEF\xBF\xBD";  // U+FFFD
    EXPECT_EQ(refused.rows()[8], (Row{"13", "Hugo" + shown + "Alves", ""}));
    EXPECT_EQ(refused.rows()[9], (Row{"14", "Iara Melo", "12" + shown + "3"}));

    const DataPacket list = Guests(kList);
    EXPECT_EQ(Column(list, "NMLISTACONVOREV"),
              (Texts{"Ana Souza", "Bruno Lima", "Carla Dias", "Elisa Prado", "Gilda Reis",
                     std::string(50, 'y'), "João Paz"}));
    EXPECT_EQ(Cell(list, 6, "NRRGLISTAOREV"), Variant("9 8"));
    EXPECT_EQ(Column(list, "NRLISTACONVOREV").back(), "00007");
    // The first guest's treatment and the screen's placeholders.
    EXPECT_EQ(list.rows()[2],
              (Row{"Dra.",    "*",       "*",    "Carla Dias", "*",     "N", "*",
                   "*",       "*",       "*",    "NORMAL",     "N",     "*", Variant(),
                   Variant(), Variant(), "0001", "0000000002", "00003", 1.0, "01"}));
    EXPECT_EQ(Cell(list, 3, "NRRGLISTAOREV"), Variant("22.333.444-5"));
}

TEST_F(ListConvTest, ImportIsAllOrNothingPerFile) {
    // Into an empty list: numbers from 00001, no treatment to copy.
    EXPECT_EQ(Call("GetImpLista", {FilePacket(kOtherSequence, {{"Ana Souza", ""}})})
                  .asPacket()
                  .rowCount(),
              0u);
    EXPECT_EQ(Guests(kOtherSequence).rows()[0][0], Variant("*"));

    const Variant missing =
        Call("GetImpLista", {FilePacket({"0001", "0000000002", "09"}, {{"Ana", ""}})});
    EXPECT_EQ(missing,
              Variant::serverError("A lista de convidados (filial 0001, orçamento 0000000002, "
                                   "sequência 09) não existe; nada foi importado."));
    // A file whose last line names a missing list: its first lines go too.
    DataPacket mixed = FilePacket(kList, {{"Ana Souza", ""}, {"Bruno Lima", ""}});
    mixed.rows().insert(mixed.rows().begin(), Row{"0001", "0000000003", "01", "", "Carla Dias"});
    EXPECT_TRUE(Call("GetImpLista", {Variant(mixed)}).isError());
    EXPECT_TRUE(Guests(kList).rows().empty());

    DataPacket noName({{"CDFILIAL", FieldType::String, 4},
                       {"NRORCAEVENTO", FieldType::String, 10},
                       {"NRSEQORCAEVE", FieldType::String, 2},
                       {"NRRGLISTAOREV", FieldType::String, 20}});
    EXPECT_THROW(Call("GetImpLista", {Variant(noName)}), corvana::Error);  // HTTP 400
    EXPECT_THROW(Call("GetImpLista", {Delta().Packet()}), corvana::Error);

    // A full list (99999 is the screens' "no guest") takes nobody more.
    const ListId full{"0001", "0000000001", "01"};
    Exec(
        "INSERT INTO LISTACONVOREV (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRLISTACONVOREV, "
        "NMLISTACONVOREV, NMCHAVE) VALUES ('0001', '0000000001', '01', '99998', 'Último', "
        "'ultimo')");
    const Variant fullList = Variant::serverError(
        "A lista de convidados (filial 0001, orçamento 0000000001, sequência 01) já tem o máximo "
        "de "
        "99998 convidados.");
    EXPECT_EQ(Call("GetImpLista", {FilePacket(full, {{"Ana", ""}})}), fullList);
    EXPECT_EQ(Call("SetConvOrceve", {Delta().Insert(NewGuest(full, "Ana")).Packet()}), fullList);
}

// A file of 99,998 lines is bench_server's BM_GetImpLista/rows:99998.
TEST_F(ListConvTest, ImportOfAThousandLinesNumbersInFileOrder) {
    constexpr int kLines = 1000;
    std::vector<Line> lines;
    for (int i = 1; i <= kLines; ++i)  // every 50th line repeats the one before
        lines.push_back({"Convidado " + std::to_string(i % 50 == 0 ? i - 1 : i), i % 3 ? "" : "*"});
    const Variant answer = Call("GetImpLista", {Variant(FilePacket(kList, lines))});

    ASSERT_TRUE(answer.isPacket()) << answer.toJson();
    const DataPacket& refused = answer.asPacket();
    ASSERT_EQ(refused.rows().size(), static_cast<std::size_t>(kLines / 50));
    EXPECT_EQ(refused.rows().front(), (Row{"50", "Convidado 49", ""}));
    EXPECT_EQ(Cell(refused, refused.rows().size() - 1, "NRCONTLINHA"), Variant("1000"));
    EXPECT_EQ(Count("SELECT COUNT(DISTINCT NRLISTACONVOREV) FROM LISTACONVOREV"),
              kLines - kLines / 50);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM LISTACONVOREV WHERE NRLISTACONVOREV = '00980' AND "
                    "NMLISTACONVOREV = 'Convidado 999'"),
              1);
}

// The server reads a body within a memory budget of three times its size
// (and 1 MiB): an import passes with room, as much JSON of small numbers
// (40 bytes each once read) is refused before it takes the memory.
TEST_F(ListConvTest, BodyOfTinyValuesIsRefusedWhereAnImportOfItsSizePasses) {
    std::vector<Line> lines;
    for (int i = 1; i <= 5000; ++i) lines.push_back({"Convidado " + std::to_string(i), ""});
    const Variant file(FilePacket(kOtherSequence, lines));
    const std::size_t bodySize = Variant(Variant::Array{file}).toJson().size();
    Variant::Array numbers((bodySize - 3) / 2, Variant(7));  // [[7,7,...]], as long
    try {
        Call("GetImpLista", {Variant(std::move(numbers))});
        ADD_FAILURE() << "lido dentro do orçamento de memória";
    } catch (const corvana::Error& e) {
        EXPECT_STREQ(e.what(),
                     "HTTP 413: Corpo da chamada exige memória demais para ser lido; divida a "
                     "chamada em partes menores.");
    }
    EXPECT_EQ(Call("GetImpLista", {file}).asPacket().rowCount(), 0u);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM LISTACONVOREV"), 5000);
}

// What a name is comes from Unicode's own data, drawn here from ICU's
// category tables rather than typed: every space separator and line or
// paragraph separator is a blank, every format character and
// default-ignorable code point is nothing, the direction overrides and
// isolates are refused, and compatibility forms (full-width digits and
// letters) make the same key. None of them makes a second "José Teste",
// through a save or an import.
TEST_F(ListConvTest, LookAlikeAndInvisibleCharactersMakeNoSecondGuest) {
    AddGuests({NewGuest(kList, "José Teste", {{"NRRGLISTAOREV", "123456789"}})});
    std::vector<UChar32> blanks, invisible, direction;
    for (UChar32 c = 0x80; c <= 0x10FFFF; ++c) {
        if (U_IS_SURROGATE(c)) continue;
        const auto type = static_cast<UCharCategory>(u_charType(c));
        if (type == U_SPACE_SEPARATOR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR)
            blanks.push_back(c);
        else if ((c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069))
            direction.push_back(c);
        else if (type == U_FORMAT_CHAR ||
                 u_hasBinaryProperty(c, UCHAR_DEFAULT_IGNORABLE_CODE_POINT))
            invisible.push_back(c);
    }
    ASSERT_GE(blanks.size(), 18u);
    ASSERT_GE(invisible.size(), 150u);
    ASSERT_EQ(direction.size(), 9u);
    auto utf8 = [](UChar32 c) {
        std::string text;
        icu::UnicodeString(c).toUTF8String(text);
        return text;
    };
    auto inside = [&](UChar32 c) {
        const auto type = static_cast<UCharCategory>(u_charType(c));
        return type == U_SPACE_SEPARATOR || type == U_LINE_SEPARATOR ||
                       type == U_PARAGRAPH_SEPARATOR
                   ? "José" + utf8(c) + "Teste"
                   : "José T" + utf8(c) + "este";
    };

    // Saved one at a time: every blank, every format character, the
    // direction controls in the name and in another field.
    for (const auto* group : {&blanks, &invisible}) {
        for (UChar32 c : *group) {
            if (group == &invisible && u_charType(c) != U_FORMAT_CHAR) continue;
            const std::string refusal = Refusal(Delta().Insert(NewGuest(kList, inside(c))));
            EXPECT_NE(refusal.find("nome já cadastrado"), std::string::npos)
                << std::hex << c << ": " << refusal;
        }
    }
    for (UChar32 c : direction) {
        EXPECT_NE(Refusal(Delta().Insert(NewGuest(kList, "Ana" + utf8(c) + "Lima")))
                      .find("o campo nome contém um caractere que inverte a direção do texto"),
                  std::string::npos);
        EXPECT_NE(Refusal(Delta().Insert(NewGuest(kList, "Ana Lima",
                                                  {{"DSEMAILCONVEVEN", "a" + utf8(c) + "@b.br"}})))
                      .find("o campo e-mail contém um caractere que inverte"),
                  std::string::npos);
    }
    EXPECT_EQ(Refusal(Delta().Insert(NewGuest(kList, "\xC2\xAD"))),
              "Há um convidado sem nome na lista: informe o nome antes de gravar.");
    EXPECT_NE(
        Refusal(Delta().Insert(NewGuest(kList, "Ｊｏｓé Ｔｅｓｔｅ"))).find("nome já cadastrado"),
        std::string::npos);
    EXPECT_NE(Refusal(Delta().Insert(
                          NewGuest(kList, "Rui Alves", {{"NRRGLISTAOREV", "１２３４５６７８９"}})))
                  .find("R.G. já cadastrado"),
              std::string::npos);

    // Imported in one file: every one of them, default-ignorable code points
    // of other categories included, is a refused line.
    std::vector<Line> lines;
    for (const auto* group : {&blanks, &invisible, &direction})
        for (UChar32 c : *group) lines.push_back({inside(c), ""});
    lines.push_back({"\xC2\xAD\xE3\x85\xA4", ""});
    lines.push_back({"Rui Alves", "１２３４５６７８９"});
    const Variant answer = Call("GetImpLista", {FilePacket(kList, lines)});
    ASSERT_TRUE(answer.isPacket()) << answer.toJson();
    EXPECT_EQ(answer.asPacket().rows().size(), lines.size());
    EXPECT_EQ(Count("SELECT COUNT(*) FROM LISTACONVOREV WHERE NRORCAEVENTO = '0000000002' AND "
                    "NRSEQORCAEVE = '01'"),
              1);
}
