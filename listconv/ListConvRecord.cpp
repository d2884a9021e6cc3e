// The guest record: its fields, the grid's columns, the screen's message
// table and the texts shown for the coded fields.
#include "corvana/core/Consiste.h"
#include "corvana/core/MaskFormat.h"
#include "guestrecord/GuestRecord.h"
#include "listconv/Cli_evt07800.h"

using corvana::Field;
using evt::guestrecord::IndexOf;

namespace {

// How the screen shows a field of the guest record: its label, which is also
// the title of its grid column, and whether it is visible. The coded fields
// are hidden: the grid shows them through their texts. Fields not listed
// keep their names as labels and are hidden.
struct FieldLook {
    std::size_t field;
    const char* label;
    bool visible = true;
    bool fixedChar = false;
};
constexpr FieldLook kFieldLooks[] = {
    {.field = IndexOf("NRINSJURCLILISCONV"), .label = "Inscrição"},
    {.field = IndexOf("NMLISTACONVOREV"), .label = "Nome do Convidado"},
    {.field = IndexOf("NRRGLISTAOREV"), .label = "RG"},
    {.field = IndexOf("IDCONVPRESEOREV"), .label = "Presença", .visible = false},
    {.field = IndexOf("IDCONDICAOCONVEV"), .label = "Condição", .visible = false},
    {.field = IndexOf("NRTELCONVEVEN"), .label = "Tel."},
    {.field = IndexOf("NRCELCONVEVEN"), .label = "Cel."},
    {.field = IndexOf("DSEMAILCONVEVEN"), .label = "E-mail"},
    {.field = IndexOf("IDTIPOCONVEVEN"), .label = "Tipo", .visible = false},
    {.field = IndexOf("IDEXIBECONVCONTRAT"),
     .label = "Contrato",
     .visible = false,
     .fixedChar = true},
    {.field = IndexOf("NRORDEMEXIBCONTRAT"), .label = "Ordem"},
};

// A telephone of area code and number in digits, laid out as Brazilian
// telephones are written: "(51) 2172-4552", "(51) 93480-1740". Any other
// text is shown as it is.
std::string LaidOutTelephone(const std::string& digits) {
    const std::size_t n = digits.size();
    if ((n != 10 && n != 11) || digits.find_first_not_of("0123456789") != std::string::npos)
        return digits;
    return "(" + digits.substr(0, 2) + ") " + digits.substr(2, n - 6) + "-" + digits.substr(n - 4);
}

const FieldLook* LookOf(std::size_t field) {
    for (const FieldLook& look : kFieldLooks) {
        if (look.field == field) return &look;
    }
    return nullptr;
}

}  // namespace

// The guest record in the order of the server's packet, each field with the
// name, type and size of the record's description.
Field& TfrmListConv::GuestField(std::size_t index) {
    if (cdsConvOrceve.FieldCount() == 0) {
        for (std::size_t i = 0; i < evt::guestrecord::kFieldCount; ++i) {
            const evt::guestrecord::Field& field = evt::guestrecord::kFields[i];
            const FieldLook* look = LookOf(i);
            const std::string label = look ? look->label : "";
            const bool visible = look && look->visible;
            const bool fixedChar = look && look->fixedChar;
            cdsConvOrceve.AddField(std::string(field.name), field.type, field.size, label, visible,
                                   fixedChar);
        }
    }
    return *cdsConvOrceve.Fields()[index];
}

void TfrmListConv::CreateRecord() {
    msgPadrao.SetLines({
        "Excl|Confirma exclusão?",
        "ORCA_N_INF|Orçamento deve ser informado.",
        "ORCA_N_CAD|Orçamento não cadastrado.",
        "FILI_N_CAD|Filial não cadastrada.",
        "FILIAL|Filial deve ser informada.",
        "Sim|Sim",
        "Nao|Não",
        "NM_N_INF|Nome deve ser informado.",
        "NM_JA_CAD|Nome já cadastrado.",
        "RG_JA_CAD|R.G. já cadastrado.",
        "SEQ_N_INF|Sequencial deve ser informado.",
        "SEQ_N_CAD|Sequencial não cadastrado para o orçamento informado.",
        "ORCA_D_INF|Orçamento não informado.",
        "Conv_N_Cad|Não há convidado cadastrado como cliente.",
        "CONVIDADO|Convidado",
        "Normal|Normal",
        "Especial|Especial",
        "Noivo|Noivo",
        "Noiva|Noiva",
        "Debutante|Debutante",
        "Representante|Representante",
        "CLIE_N_CAD|Número de inscrição não cadastrado.",
        "Existe_Ordem|Ordem já definida para um convidado.",
        "INSC_JA_CAD|Inscrição já cadastrada.",
    });

    // Each translated field shows and takes its text through the screen's
    // handlers of its name.
    using GetText = void (TfrmListConv::*)(Field&, std::string&, bool);
    using SetText = void (TfrmListConv::*)(Field&, const std::string&);
    const auto translate = [this](Field& field, GetText get, SetText set) {
        field.OnGetText = [this, get](Field& f, std::string& t, bool d) { (this->*get)(f, t, d); };
        if (set)
            field.OnSetText = [this, set](Field& f, const std::string& t) { (this->*set)(f, t); };
    };
    translate(cdsConvOrceveIDCONVPRESEOREV, &TfrmListConv::cdsConvOrceveIDCONVPRESEOREVGetText,
              &TfrmListConv::cdsConvOrceveIDCONVPRESEOREVSetText);
    translate(cdsConvOrceveIDCONDICAOCONVEV, &TfrmListConv::cdsConvOrceveIDCONDICAOCONVEVGetText,
              &TfrmListConv::cdsConvOrceveIDCONDICAOCONVEVSetText);
    translate(cdsConvOrceveIDTIPOCONVEVEN, &TfrmListConv::cdsConvOrceveIDTIPOCONVEVENGetText,
              &TfrmListConv::cdsConvOrceveIDTIPOCONVEVENSetText);
    translate(cdsConvOrceveIDEXIBECONVCONTRAT,
              &TfrmListConv::cdsConvOrceveIDEXIBECONVCONTRATGetText,
              &TfrmListConv::cdsConvOrceveIDEXIBECONVCONTRATSetText);
    translate(cdsConvOrceveNRINSJURCLILISCONV,
              &TfrmListConv::cdsConvOrceveNRINSJURCLILISCONVGetText, nullptr);
    // Telephones are typed and stored as digits; the grid shows them laid
    // out, as the clients' telephones were once stored ("(51) 2172-4552").
    for (Field* telephone : {&cdsConvOrceveNRTELCONVEVEN, &cdsConvOrceveNRCELCONVEVEN})
        telephone->OnGetText = [](Field&, std::string& text, bool displayText) {
            if (displayText) text = LaidOutTelephone(text);
        };

    // Each column as wide as its widest value (a CNPJ, a mobile with its
    // area code, a 14-digit telephone typed as it came, the longest word of a
    // pick list); the name and the e-mail share what is left, down to a floor
    // that keeps a typical name and address readable.
    const std::vector<std::string> telephones = {"(00) 00000-0000", "00000000000000"};
    dbgPadrao->SetColumns({
        {.FieldName = "NRINSJURCLILISCONV",
         .EllipsisButton = true,
         .Samples = {corvana::FormatMaskText(Consiste::PictPess("J"), "00000000000000")}},
        {.FieldName = "CDFILIAL", .Visible = false},
        {.FieldName = "NRORCAEVENTO", .Visible = false},
        {.FieldName = "NMLISTACONVOREV", .Width = 170, .Stretch = 3},
        {.FieldName = "NRRGLISTAOREV", .Samples = {"00.000.000-00"}},
        {.FieldName = "IDCONVPRESEOREV", .PickList = {"Sim", "Não"}},
        {.FieldName = "NRLISTACONVOREV", .Visible = false},
        {.FieldName = "IDCONDICAOCONVEV",
         .PickList = {"", "Noivo", "Noiva", "Debutante", "Representante"}},
        {.FieldName = "NRTELCONVEVEN", .Samples = telephones},
        {.FieldName = "NRCELCONVEVEN", .Samples = telephones},
        {.FieldName = "DSEMAILCONVEVEN", .Width = 140, .Stretch = 2},
        {.FieldName = "IDTIPOCONVEVEN", .PickList = {"Normal", "Especial"}},
        {.FieldName = "IDEXIBECONVCONTRAT", .PickList = {"Não", "Sim"}},
        {.FieldName = "NRORDEMEXIBCONTRAT", .Samples = {"00"}},
    });
    dbtNome->SetDataField("NMLISTACONVOREV");
}

// --- presence: "S"/"N", no default either way ------------------------------------

void TfrmListConv::cdsConvOrceveIDCONVPRESEOREVGetText(Field& sender, std::string& text, bool) {
    const std::string code = sender.AsString();
    if (code == "S")
        text = msgPadrao.Msg("Sim");
    else if (code == "N")
        text = msgPadrao.Msg("Nao");
    else
        text.clear();
}

void TfrmListConv::cdsConvOrceveIDCONVPRESEOREVSetText(Field& sender, const std::string& text) {
    if (text == msgPadrao.Msg("Sim"))
        sender.SetAsString("S");
    else if (text == msgPadrao.Msg("Nao"))
        sender.SetAsString("N");
}

// --- condition: a text outside the table clears the field --------------------------

void TfrmListConv::cdsConvOrceveIDCONDICAOCONVEVGetText(Field& sender, std::string& text, bool) {
    const std::string code = sender.AsString();
    for (const evt::guestrecord::Code& c : evt::guestrecord::kConditions) {
        if (code == c.code) {
            text = msgPadrao.Msg(c.word);
            return;
        }
    }
    text.clear();
}

void TfrmListConv::cdsConvOrceveIDCONDICAOCONVEVSetText(Field& sender, const std::string& text) {
    for (const evt::guestrecord::Code& c : evt::guestrecord::kConditions) {
        if (text == msgPadrao.Msg(c.word)) {
            sender.SetAsString(std::string(c.code));
            return;
        }
    }
    sender.Clear();
}

// --- type: "NORMAL" (or empty) is normal, anything else special ----------------------

void TfrmListConv::cdsConvOrceveIDTIPOCONVEVENGetText(Field& sender, std::string& text, bool) {
    const std::string code = sender.AsString();
    text = msgPadrao.Msg(code == "NORMAL" || code.empty() ? "Normal" : "Especial");
}

void TfrmListConv::cdsConvOrceveIDTIPOCONVEVENSetText(Field& sender, const std::string& text) {
    sender.SetAsString(text == msgPadrao.Msg("Normal") ? "NORMAL" : "ESPECIAL");
}

// --- shown on contract: "N" (or empty) is no, anything else yes ---------------------

void TfrmListConv::cdsConvOrceveIDEXIBECONVCONTRATGetText(Field& sender, std::string& text, bool) {
    const std::string code = sender.AsString();
    text = msgPadrao.Msg(code == "N" || code.empty() ? "Nao" : "Sim");
}

void TfrmListConv::cdsConvOrceveIDEXIBECONVCONTRATSetText(Field& sender, const std::string& text) {
    sender.SetAsString(text == msgPadrao.Msg("Nao") ? "N" : "S");
}

// --- inscription: laid into the mask of the record's person type -------------------
// There is no set-text: what is typed is stored as typed and normalised by
// the inscription check.

namespace {
std::string MaskedInscription(const Field& inscription, const Field& personType) {
    return corvana::FormatMaskText(Consiste::PictPess(personType.AsString()),
                                   inscription.AsString());
}
}  // namespace

void TfrmListConv::cdsConvOrceveNRINSJURCLILISCONVGetText(Field& sender, std::string& text, bool) {
    text = MaskedInscription(sender, cdsConvOrceveIDTPIJURCLIE);
}

void TfrmListConv::cdsClienteNRINSJURCLIEGetText(Field& sender, std::string& text, bool) {
    text = MaskedInscription(sender, cdsClienteIDTPIJURCLIE);
}
