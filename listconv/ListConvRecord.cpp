// The guest record: its fields, the grid's columns, the screen's message
// table and the texts shown for the coded fields.
#include "corvana/core/Consiste.h"
#include "corvana/core/MaskFormat.h"
#include "listconv/Cli_evt07800.h"

using corvana::Field;
using corvana::FieldType;
using corvana::ui::TColumn;

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

    // The guest record, in the order of the server's packet. The label is
    // also the grid column's title.
    auto& ds = cdsConvOrceve;
    ds.AddField("IDTPTRATCONVESPEC", FieldType::String, 30, {}, false);
    ds.AddField("CDCLIENTELISTCONV", FieldType::String, 21, {}, false);
    Field& inscricao = ds.AddField("NRINSJURCLILISCONV", FieldType::String, 20, "Inscrição");
    ds.AddField("NMLISTACONVOREV", FieldType::String, 50, "Nome do Convidado");
    ds.AddField("NRRGLISTAOREV", FieldType::String, 20, "RG");
    Field& presenca = ds.AddField("IDCONVPRESEOREV", FieldType::String, 1, "Presença", false);
    Field& condicao = ds.AddField("IDCONDICAOCONVEV", FieldType::String, 20, "Condição", false);
    ds.AddField("NRTELCONVEVEN", FieldType::String, 25, "Tel.");
    ds.AddField("NRCELCONVEVEN", FieldType::String, 25, "Cel.");
    ds.AddField("DSEMAILCONVEVEN", FieldType::String, 50, "E-mail");
    Field& tipo = ds.AddField("IDTIPOCONVEVEN", FieldType::String, 10, "Tipo", false);
    Field& contrato =
        ds.AddField("IDEXIBECONVCONTRAT", FieldType::String, 1, "Contrato", false, true);
    ds.AddField("NRORDEMEXIBCONTRAT", FieldType::String, 2, "Ordem");
    ds.AddField("NMFANTCLIE", FieldType::String, 50, {}, false);
    ds.AddField("IDTPIJURCLIE", FieldType::String, 1, {}, false);
    ds.AddField("NRINSJURCLIE", FieldType::String, 20, {}, false);
    ds.AddField("CDFILIAL", FieldType::String, 4, {}, false);
    ds.AddField("NRORCAEVENTO", FieldType::String, 10, {}, false);
    ds.AddField("NRLISTACONVOREV", FieldType::String, 5, {}, false);
    ds.AddField("QUANTIDADE", FieldType::Float, 0, {}, false);
    ds.AddField("NRSEQORCAEVE", FieldType::String, 2, {}, false);

    presenca.OnGetText = [this](Field& f, std::string& t, bool d) {
        cdsConvOrceveIDCONVPRESEOREVGetText(f, t, d);
    };
    presenca.OnSetText = [this](Field& f, const std::string& t) {
        cdsConvOrceveIDCONVPRESEOREVSetText(f, t);
    };
    condicao.OnGetText = [this](Field& f, std::string& t, bool d) {
        cdsConvOrceveIDCONDICAOCONVEVGetText(f, t, d);
    };
    condicao.OnSetText = [this](Field& f, const std::string& t) {
        cdsConvOrceveIDCONDICAOCONVEVSetText(f, t);
    };
    tipo.OnGetText = [this](Field& f, std::string& t, bool d) {
        cdsConvOrceveIDTIPOCONVEVENGetText(f, t, d);
    };
    tipo.OnSetText = [this](Field& f, const std::string& t) {
        cdsConvOrceveIDTIPOCONVEVENSetText(f, t);
    };
    contrato.OnGetText = [this](Field& f, std::string& t, bool d) {
        cdsConvOrceveIDEXIBECONVCONTRATGetText(f, t, d);
    };
    contrato.OnSetText = [this](Field& f, const std::string& t) {
        cdsConvOrceveIDEXIBECONVCONTRATSetText(f, t);
    };
    inscricao.OnGetText = [this](Field& f, std::string& t, bool d) {
        cdsConvOrceveNRINSJURCLILISCONVGetText(f, t, d);
    };

    dbgPadrao->SetColumns({
        TColumn{"NRINSJURCLILISCONV", true, 116, {}, true, {}},
        TColumn{"CDFILIAL", false, -1, {}, false, {}},
        TColumn{"NRORCAEVENTO", false, -1, {}, false, {}},
        TColumn{"NMLISTACONVOREV", true, 262, {}, false, {}},
        TColumn{"NRRGLISTAOREV", true, 93, {}, false, {}},
        TColumn{"IDCONVPRESEOREV", true, -1, {"Sim", "Não"}, false, {}},
        TColumn{"NRLISTACONVOREV", false, -1, {}, false, {}},
        TColumn{"IDCONDICAOCONVEV",
                true,
                79,
                {"", "Noivo", "Noiva", "Debutante", "Representante"},
                false,
                {}},
        TColumn{"NRTELCONVEVEN", true, 76, {}, false, {}},
        TColumn{"NRCELCONVEVEN", true, 70, {}, false, {}},
        TColumn{"DSEMAILCONVEVEN", true, 221, {}, false, {}},
        TColumn{"IDTIPOCONVEVEN", true, 58, {"Normal", "Especial"}, false, {}},
        TColumn{"IDEXIBECONVCONTRAT", true, -1, {"Não", "Sim"}, false, {}},
        TColumn{"NRORDEMEXIBCONTRAT", true, -1, {}, false, {}},
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

namespace {
struct Condition {
    const char* code;
    const char* key;
};
constexpr Condition kConditions[] = {{"NOIVO", "Noivo"},
                                     {"NOIVA", "Noiva"},
                                     {"DEBUTANTE", "Debutante"},
                                     {"REPRESENTANTE", "Representante"}};
}  // namespace

void TfrmListConv::cdsConvOrceveIDCONDICAOCONVEVGetText(Field& sender, std::string& text, bool) {
    const std::string code = sender.AsString();
    for (const Condition& c : kConditions) {
        if (code == c.code) {
            text = msgPadrao.Msg(c.key);
            return;
        }
    }
    text.clear();
}

void TfrmListConv::cdsConvOrceveIDCONDICAOCONVEVSetText(Field& sender, const std::string& text) {
    for (const Condition& c : kConditions) {
        if (text == msgPadrao.Msg(c.key)) {
            sender.SetAsString(c.code);
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
std::string MaskedInscription(const Field& inscription) {
    const Field& personType = inscription.DataSet().FieldByName("IDTPIJURCLIE");
    return corvana::FormatMaskText(Consiste::PictPess(personType.AsString()),
                                   inscription.AsString());
}
}  // namespace

void TfrmListConv::cdsConvOrceveNRINSJURCLILISCONVGetText(Field& sender, std::string& text, bool) {
    text = MaskedInscription(sender);
}

void TfrmListConv::cdsClienteNRINSJURCLIEGetText(Field& sender, std::string& text, bool) {
    text = MaskedInscription(sender);
}
