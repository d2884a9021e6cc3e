// Saving: every post of a guest is checked against the server, completed
// with the list's keys, the placeholders of its empty fields and the
// treatment code, and sent at once; so is every delete. Also what keeps the
// changes that the server has not accepted from being dropped unseen when
// the list or the window closes.
#include <QMainWindow>
#include <utility>

#include "corvana/core/Consiste.h"
#include "corvana/core/Services.h"
#include "corvana/data/Error.h"
#include "corvana/ui/Application.h"
#include "listconv/Cli_evt07800.h"

using corvana::DataSetState;
using corvana::FieldType;
using corvana::Variant;

namespace {

bool Editing(DataSetState state) {
    return state == DataSetState::Edit || state == DataSetState::Insert;
}

// Sets a flag for the lifetime of the scope.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag), old_(std::exchange(flag, true)) {}
    ~FlagScope() { flag_ = old_; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag_;
    bool old_;
};

// The optional fields that a post fills when they are empty, in this order,
// with the placeholder of each (the inscription, which takes the client code
// along, comes first and apart).
struct Placeholder {
    const char* field;
    const char* value;
};
constexpr Placeholder kPlaceholders[] = {
    {"NRTELCONVEVEN", "*"},       {"NRCELCONVEVEN", "*"},      {"DSEMAILCONVEVEN", "*"},
    {"NRORDEMEXIBCONTRAT", "*"},  {"IDCONDICAOCONVEV", "*"},   {"IDCONVPRESEOREV", "N"},
    {"IDTIPOCONVEVEN", "NORMAL"}, {"IDEXIBECONVCONTRAT", "N"},
};

// The list number sent by the name check for a guest not saved yet; the
// server never gives it to a guest.
constexpr const char* kNoGuestNumber = "99999";

}  // namespace

void TfrmListConv::CreateSaving() {
    cdsVd_Nome.AddField("CDFILIAL", FieldType::String, 4);
    cdsVd_Nome.AddField("NMLISTACONVOREV", FieldType::String, 50);
    cdsVd_Nome.AddField("NRORCAEVENTO", FieldType::String, 10);

    cdsVd_Registro.AddField("CDFILIAL", FieldType::String, 4);
    cdsVd_Registro.AddField("NRORCAEVENTO", FieldType::String, 10);
    cdsVd_Registro.AddField("NMLISTACONVOREV", FieldType::String, 80);

    // The search dialog of the lookup shows the visible fields.
    cdsCliente.AddField("CDCLIENTE", FieldType::String, 21, {}, false);
    corvana::Field& inscricao =
        cdsCliente.AddField("NRINSJURCLIE", FieldType::String, 20, "Inscrição");
    cdsCliente.AddField("IDTPIJURCLIE", FieldType::String, 1, {}, false);
    cdsCliente.AddField("NMFANTCLIE", FieldType::String, 50, "Nome Fantasia");
    inscricao.OnGetText = [this](corvana::Field& sender, std::string& text, bool displayText) {
        cdsClienteNRINSJURCLIEGetText(sender, text, displayText);
    };
    dtsCliente.SetDataSet(&cdsCliente);

    cdsEndeClie.AddField("ORDEM", FieldType::Float);
    cdsEndeClie.AddField("IDTPENDECLIE", FieldType::String, 1);
    cdsEndeClie.AddField("NRTELECLIE", FieldType::String, 25);
    cdsEndeClie.AddField("DSEMAILCLIE", FieldType::String, 50);
    cdsEndeClie.AddField("NRCELULARCLI", FieldType::String, 25);
    cdsEndeClie.AddField("CDCLIENTE", FieldType::String, 21);
    dtsEndeClie.SetDataSet(&cdsEndeClie);

    cdsConvOrceve.BeforePost = [this](corvana::ClientDataSet& ds) { cdsConvOrceveBeforePost(ds); };
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
    // the window closes ("%1": how many).
    msgPadrao.Add(
        "Alt_N_Grav1|1 alteração da lista de convidados não foi gravada no servidor. "
        "Descartar a alteração?");
    msgPadrao.Add(
        "Alt_N_Grav|%1 alterações da lista de convidados não foram gravadas no servidor. "
        "Descartar as alterações?");
    // A guest without its list number that cannot be numbered by a reload.
    msgPadrao.Add("Recarr_Alt|A lista precisa ser recarregada antes de alterar este convidado.");
    msgPadrao.Add("Recarr_Exc|A lista precisa ser recarregada antes de excluir este convidado.");
}

// Runs the checks in their order (inscription, name against client, name
// and R.G., contract order), then fills the keys, the placeholders and the
// treatment code. A refusal raises and so refuses the post; what the checks
// that ran wrote stays in the edit buffer, and nothing of the last three
// steps is written. The grid's focus moved by a refusal raises no column
// exit checks (checkingPost_).
void TfrmListConv::cdsConvOrceveBeforePost(corvana::ClientDataSet&) {
    const FlagScope posting(checkingPost_);
    auto field = [this](const char* name) -> corvana::Field& {
        return cdsConvOrceve.FieldByName(name);
    };
    auto empty = [&field](const char* name) {
        return Consiste::EmptyString(field(name).AsString());
    };

    Vd_NrInscricao(empty("NMLISTACONVOREV"), "");
    if (!empty("NRINSJURCLILISCONV")) Vd_NomeAlterado(NormalizedInscription());
    Vd_NmConv();
    Vd_Ordem();

    field("CDFILIAL").SetValue(medCdFilial->Text());
    field("NRORCAEVENTO").SetValue(medOrcamento->Text());
    field("NRSEQORCAEVE").SetValue(edtSeq->Text());

    if (empty("NRINSJURCLILISCONV")) {
        field("NRINSJURCLILISCONV").SetValue("*");
        field("CDCLIENTELISTCONV").SetValue("*");
    }
    for (const Placeholder& p : kPlaceholders) {
        if (empty(p.field)) field(p.field).SetValue(p.value);
    }

    GravaTratamento();
}

// Name required; name, and R.G. when given, not borne by another guest of
// the list. Whatever stops the check leaves the grid on the name column.
void TfrmListConv::Vd_NmConv() {
    corvana::Field& nome = cdsConvOrceve.FieldByName("NMLISTACONVOREV");
    auto focusName = [this, &nome] { dbgPadrao->FocusField(&nome); };
    try {
        if (Consiste::EmptyString(nome.AsString())) {
            focusName();
            Consiste::MensErro(msgPadrao.Msg("NM_N_INF"), true);
        }
        std::string numero = cdsConvOrceve.FieldByName("NRLISTACONVOREV").AsString();
        if (Consiste::EmptyString(numero)) numero = kNoGuestNumber;
        const std::string rg = cdsConvOrceve.FieldByName("NRRGLISTAOREV").AsString();

        Variant answer = Consiste::CheckResultServ(
            netListaConv.Call("GetVd_Nome", {medCdFilial->Text(), medOrcamento->Text(),
                                             nome.AsString(), numero, rg, edtSeq->Text()}),
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
    if (cdsConvOrceve.ChangeCount() == 0) return;
    const std::string nome = cdsConvOrceve.FieldByName("NMLISTACONVOREV").AsString();
    SendChanges();
    cdsConvOrceve.MergeChangeLog();
    sbtVerificarClick(nullptr);
    cdsConvOrceve.Locate("NMLISTACONVOREV", nome, true);
}

void TfrmListConv::NumberBeforeChange(const char* refusalKey) {
    if (cdsConvOrceve.IsEmpty()) return;
    if (!Consiste::EmptyString(cdsConvOrceve.FieldByName("NRLISTACONVOREV").AsString())) return;
    // Not taken by the server yet: the change log still holds it as an
    // insert, which takes its edits and its delete along.
    const int row = cdsConvOrceve.RecNo() - 1;
    if (cdsConvOrceve.UpdateStatusAt(row) == corvana::UpdateStatus::Inserted) return;
    // Saved, but the reload after its save failed. Names are unique within
    // the list: the reloaded guest is found by its name.
    const std::string nome = cdsConvOrceve.FieldByName("NMLISTACONVOREV").AsString();
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
        Consiste::EmptyString(cdsConvOrceve.FieldByName("NRLISTACONVOREV").AsString()))
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

bool TfrmListConv::AcceptListClose() {
    if (!cdsConvOrceve.Active() || cdsConvOrceve.ChangeCount() == 0) return true;
    try {
        SendChanges();
        // The list closes now: a row being edited goes as it would have gone
        // without pending changes, and must not be posted by the merge.
        if (Editing(cdsConvOrceve.State())) cdsConvOrceve.Cancel();
        cdsConvOrceve.MergeChangeLog();
        return true;
    } catch (const corvana::EAbort&) {
        // The server's refusal was shown.
    } catch (const std::exception& e) {
        corvana::services::Dialogs().ShowError(e.what());
    }
    const int pending = cdsConvOrceve.ChangeCount();
    std::string question;
    if (pending == 1) {
        question = msgPadrao.Msg("Alt_N_Grav1");
    } else {
        question = msgPadrao.Msg("Alt_N_Grav");
        const auto at = question.find("%1");
        if (at != std::string::npos) question.replace(at, 2, std::to_string(pending));
    }
    return corvana::services::Dialogs().Confirm(question);
}

bool TfrmListConv::KeepListOnPanelEnter() {
    if (AcceptListClose()) return false;
    // Back to the list, which stays open with its pending changes. The focus
    // leaves the panel again, and that exit must not reload the list.
    if (dbgPadrao->CanFocus()) {
        listKeptOnPanelEnter_ = true;
        dbgPadrao->SetFocus();
    }
    return true;
}

bool TfrmListConv::SkipPanelExitAfterKeptList() {
    const bool kept = listKeptOnPanelEnter_;
    listKeptOnPanelEnter_ = false;
    return kept;
}
