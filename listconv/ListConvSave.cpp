// Saving: every post of a guest is checked against the server, completed
// with the list's keys, the placeholders of its empty fields and the
// treatment code, and sent at once; so is every delete.
#include <QMainWindow>

#include "corvana/core/Consiste.h"
#include "corvana/core/FlagScope.h"
#include "corvana/core/Services.h"
#include "corvana/data/Error.h"
#include "corvana/data/Text.h"
#include "corvana/ui/Application.h"
#include "guestrecord/GuestRecord.h"
#include "listconv/Cli_evt07800.h"

using corvana::Field;
using corvana::FieldType;
using corvana::Variant;

namespace {

// The list number sent by the name check for a guest not saved yet; the
// server never gives it to a guest.
constexpr const char* kNoGuestNumber = "99999";

// The placeholder of a field of the guest record (declared in the record's
// order, so the field's index is the record's).
std::string Placeholder(const Field& field) {
    return std::string(
        evt::guestrecord::kFields[static_cast<std::size_t>(field.Index())].placeholder);
}

}  // namespace

// The clients of the lookup (the search dialog shows the visible fields), or
// the client of one inscription: GetCliente's fields, in its order.
Field& TfrmListConv::ClientField(const char* name) {
    if (cdsCliente.FieldCount() == 0) {
        cdsCliente.AddField("CDCLIENTE", FieldType::String, 21).SetVisible(false);
        cdsCliente.AddField("NRINSJURCLIE", FieldType::String, 20).SetDisplayLabel("Inscrição");
        cdsCliente.AddField("IDTPIJURCLIE", FieldType::String, 1).SetVisible(false);
        cdsCliente.AddField("NMFANTCLIE", FieldType::String, 50).SetDisplayLabel("Nome Fantasia");
    }
    return cdsCliente.FieldByName(name);
}

// A client's address records: GetEndeClie's fields, in its order.
Field& TfrmListConv::AddressField(const char* name) {
    if (cdsEndeClie.FieldCount() == 0) {
        cdsEndeClie.AddField("ORDEM", FieldType::Float);
        cdsEndeClie.AddField("IDTPENDECLIE", FieldType::String, 1);
        cdsEndeClie.AddField("NRTELECLIE", FieldType::String, 25);
        cdsEndeClie.AddField("DSEMAILCLIE", FieldType::String, 50);
        cdsEndeClie.AddField("NRCELULARCLI", FieldType::String, 25);
        cdsEndeClie.AddField("CDCLIENTE", FieldType::String, 21);
    }
    return cdsEndeClie.FieldByName(name);
}

void TfrmListConv::CreateSaving() {
    cdsVd_Nome.AddField("CDFILIAL", FieldType::String, 4);
    cdsVd_Nome.AddField("NMLISTACONVOREV", FieldType::String, 50);
    cdsVd_Nome.AddField("NRORCAEVENTO", FieldType::String, 10);

    cdsVd_Registro.AddField("CDFILIAL", FieldType::String, 4);
    cdsVd_Registro.AddField("NRORCAEVENTO", FieldType::String, 10);
    cdsVd_Registro.AddField("NMLISTACONVOREV", FieldType::String, 80);

    cdsClienteNRINSJURCLIE.OnGetText = [this](Field& sender, std::string& text, bool displayText) {
        cdsClienteNRINSJURCLIEGetText(sender, text, displayText);
    };
    dtsCliente.SetDataSet(&cdsCliente);
    dtsEndeClie.SetDataSet(&cdsEndeClie);

    cdsConvOrceve.BeforePost = [this](corvana::ClientDataSet& ds) {
        // A check that could not reach the server leaves a guest the server
        // never saw: it is kept from being dropped unasked (PendingChanges).
        try {
            cdsConvOrceveBeforePost(ds);
        } catch (const corvana::EAbort&) {
            throw;
        } catch (const std::exception&) {
            pendingChanges_.RowNotSent();
            throw;
        }
    };
    cdsConvOrceve.AfterCancel = [this](corvana::ClientDataSet&) { pendingChanges_.RowSettled(); };
    cdsConvOrceve.AfterPost = [this](corvana::ClientDataSet& ds) { cdsConvOrceveAfterPost(ds); };
    cdsConvOrceve.AfterDelete = [this](corvana::ClientDataSet& ds) {
        cdsConvOrceveAfterDelete(ds);
    };
    cdsConvOrceve.BeforeEdit = [this](corvana::ClientDataSet&) {
        NumberBeforeChange("Recarr_Alt");
    };
    cdsConvOrceve.BeforeDelete = [this](corvana::ClientDataSet&) {
        NumberBeforeChange("Recarr_Exc");
    };
    dbgPadrao->OnEditButtonClick = [this](QObject* sender) { dbgPadraoEditButtonClick(sender); };
    dbgPadrao->OnColExit = [this](QObject* sender) { dbgPadraoColExit(sender); };

    // The question asked when changes could not be sent before the list or
    // the window closes.
    PendingChanges::AddTexts(msgPadrao);
    // A guest without its list number that cannot be numbered by a reload.
    msgPadrao.Add("Recarr_Alt|A lista precisa ser recarregada antes de alterar este convidado.");
    msgPadrao.Add("Recarr_Exc|A lista precisa ser recarregada antes de excluir este convidado.");
}

// Runs the checks in their order (stored values, inscription, name against
// client, name and R.G., contract order), then fills the keys, the
// placeholders and the treatment code. A refusal raises and so refuses the post; what the checks
// that ran wrote stays in the edit buffer, and nothing of the last three
// steps is written. The grid's focus moved by a refusal raises no column
// exit checks (checkingPost_).
void TfrmListConv::cdsConvOrceveBeforePost(corvana::ClientDataSet&) {
    const corvana::FlagScope posting(checkingPost_);
    auto empty = [](const Field& field) { return Consiste::EmptyString(field.AsString()); };

    Vd_Valores();
    Vd_NrInscricao(empty(cdsConvOrceveNMLISTACONVOREV), "");
    if (!empty(cdsConvOrceveNRINSJURCLILISCONV)) Vd_NomeAlterado(NormalizedInscription());
    Vd_NmConv();
    Vd_Ordem();

    cdsConvOrceveCDFILIAL.SetValue(listKey.medCdFilial->Text());
    cdsConvOrceveNRORCAEVENTO.SetValue(listKey.medOrcamento->Text());
    cdsConvOrceveNRSEQORCAEVE.SetValue(listKey.edtSeq->Text());

    // The optional fields take their placeholder when empty, in this order:
    // the inscription first, taking the client code along; the R.G. stays
    // empty and the treatment comes from the box.
    if (empty(cdsConvOrceveNRINSJURCLILISCONV)) {
        cdsConvOrceveNRINSJURCLILISCONV.SetValue(Placeholder(cdsConvOrceveNRINSJURCLILISCONV));
        cdsConvOrceveCDCLIENTELISTCONV.SetValue(Placeholder(cdsConvOrceveCDCLIENTELISTCONV));
    }
    for (Field* field : {&cdsConvOrceveNRTELCONVEVEN, &cdsConvOrceveNRCELCONVEVEN,
                         &cdsConvOrceveDSEMAILCONVEVEN, &cdsConvOrceveNRORDEMEXIBCONTRAT,
                         &cdsConvOrceveIDCONDICAOCONVEV, &cdsConvOrceveIDCONVPRESEOREV,
                         &cdsConvOrceveIDTIPOCONVEVEN, &cdsConvOrceveIDEXIBECONVCONTRAT}) {
        if (empty(*field)) field->SetValue(Placeholder(*field));
    }

    GravaTratamento();
}

// Name required; name, and R.G. when given, not borne by another guest of
// the list. Whatever stops the check leaves the grid on the name column.
void TfrmListConv::Vd_NmConv() {
    Field& nome = cdsConvOrceveNMLISTACONVOREV;
    auto focusName = [this, &nome] { dbgPadrao->FocusField(&nome); };
    try {
        if (Consiste::EmptyString(nome.AsString())) {
            focusName();
            Consiste::MensErro(msgPadrao.Msg("NM_N_INF"), true);
        }
        std::string numero = cdsConvOrceveNRLISTACONVOREV.AsString();
        if (Consiste::EmptyString(numero)) numero = kNoGuestNumber;
        const std::string rg = cdsConvOrceveNRRGLISTAOREV.AsString();

        Variant answer = Consiste::CheckResultServ(
            netListaConv.Call("GetVd_Nome",
                              {listKey.medCdFilial->Text(), listKey.medOrcamento->Text(),
                               nome.AsString(), numero, rg, listKey.edtSeq->Text()}),
            true, 0);
        // A null element leaves its dataset as it was.
        auto load = [](corvana::ClientDataSet& ds, const Variant& packet) {
            if (!packet.isNull()) ds.SetData(packet);
        };
        load(cdsVd_Nome, answer[0]);
        load(cdsVd_Registro, answer[1]);

        if (!cdsVd_Nome.IsEmpty()) {
            focusName();
            Consiste::MensErro(msgPadrao.Msg("NM_JA_CAD"), true);
        }
        if (!Consiste::EmptyString(rg) && !cdsVd_Registro.IsEmpty())
            Consiste::MensErro(msgPadrao.Msg("RG_JA_CAD"), true);
    } catch (...) {
        focusName();
        throw;
    }
}

// Sends the change log and merges it. A failure leaves the change in the log
// (the guest stays posted in the grid) to go out with the next save.
void TfrmListConv::cdsConvOrceveAfterPost(corvana::ClientDataSet&) {
    pendingChanges_.RowSettled();
    if (cdsConvOrceve.ChangeCount() == 0) return;
    const std::string nome = cdsConvOrceveNMLISTACONVOREV.AsString();
    SendChanges();
    cdsConvOrceve.MergeChangeLog();
    RecarregaAposGravar(nome);
}

// The saved guests and whatever others wrote meanwhile come as the list's
// changes since its version; the whole list only when those cannot be had
// (no version, a version the server no longer knows the changes since, a
// failure), as every save reloaded it before. A failure of the whole load
// raises, as it did.
void TfrmListConv::RecarregaAposGravar(const std::string& nome) {
    std::optional<std::vector<int>> written;
    {
        corvana::services::BusyScope busy(Corvana::MainForm(), corvana::services::kBusyLoading);
        try {
            written = CarregaAlteracoes();
        } catch (const std::exception&) {
            CarregaConvidados();
        }
    }
    Habilita_Botao();
    // The box shows the first guest's treatment, as after a load.
    if (written && !cdsConvOrceve.IsEmpty())
        MostraTratamento(cdsConvOrceveIDTPTRATCONVESPEC.ValueAt(0).toString());
    else
        TratamentoConv();
    // The guest saved is among the rows written, whose names alone are
    // compared; otherwise (a whole load) it is looked for in the list.
    if (written) {
        const std::string folded = corvana::foldCase(nome);
        for (const int row : *written) {
            if (corvana::foldCase(cdsConvOrceveNMLISTACONVOREV.ValueAt(row).toString()) == folded) {
                cdsConvOrceve.SetRecNo(row + 1);
                return;
            }
        }
    }
    cdsConvOrceve.Locate("NMLISTACONVOREV", nome, true);
}

void TfrmListConv::NumberBeforeChange(const char* refusalKey) {
    if (cdsConvOrceve.IsEmpty()) return;
    if (!Consiste::EmptyString(cdsConvOrceveNRLISTACONVOREV.AsString())) return;
    // Not taken by the server yet: the change log still holds it as an
    // insert, which takes its edits and its delete along.
    const int row = cdsConvOrceve.RecNo() - 1;
    if (cdsConvOrceve.UpdateStatusAt(row) == corvana::UpdateStatus::Inserted) return;
    // Saved, but the reload after its save failed. Names are unique within
    // the list: the reloaded guest is found by its name.
    const std::string nome = cdsConvOrceveNMLISTACONVOREV.AsString();
    try {
        if (cdsConvOrceve.ChangeCount() > 0) {
            SendChanges();
            cdsConvOrceve.MergeChangeLog();
        }
        corvana::services::BusyScope busy(Corvana::MainForm(), corvana::services::kBusyLoading);
        CarregaConvidados();
    } catch (const std::exception&) {
        Consiste::MensErro(msgPadrao.Msg(refusalKey), true);
    }
    Habilita_Botao();
    TratamentoConv();
    // A guest another user removed meanwhile is no longer there to change.
    if (!cdsConvOrceve.Locate("NMLISTACONVOREV", nome, true) ||
        Consiste::EmptyString(cdsConvOrceveNRLISTACONVOREV.AsString()))
        throw corvana::EAbort();
}

void TfrmListConv::cdsConvOrceveAfterDelete(corvana::ClientDataSet&) {
    if (cdsConvOrceve.ChangeCount() == 0) return;
    SendChanges();
    cdsConvOrceve.MergeChangeLog();
}

void TfrmListConv::sbtCancelarClick(QObject* sender) {
    TfrmPadraoGrid::sbtCancelarClick(sender);
    Habilita_Botao();
}

// The busy animation is removed before a refusal of the server is shown.
void TfrmListConv::SendChanges() {
    Variant answer;
    {
        corvana::services::BusyScope busy(Corvana::MainForm(), corvana::services::kBusySaving);
        answer = netListaConv.Call("SetConvOrceve", {Variant(cdsConvOrceve.Delta())});
    }
    Consiste::CheckResultServ(answer, true, 0);
}
