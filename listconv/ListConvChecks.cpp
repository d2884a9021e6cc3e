// The checks of a guest: the values the server would refuse to store, then
// the checks against the list and the client file (the inscription check, the
// name-versus-client check and the contract order check). They run before
// every post, and the latter also when the name or the inscription column of
// the grid is left; each of those asks the application server and compares
// only what the server answers.
#include <QString>

#include "corvana/core/Consiste.h"
#include "corvana/data/Error.h"
#include "corvana/data/Text.h"
#include "guestrecord/GuestRules.h"
#include "listconv/Cli_evt07800.h"

using corvana::Variant;
namespace record = evt::guestrecord;

namespace {

// The contract order check compares at most this many characters of the
// server's reply.
constexpr std::size_t kOrderReplyChars = 10;

}  // namespace

// The guest's texts in the form the server stores them (guestrecord/
// GuestRules.h), written back where they differ, so that the checks, the
// save and the list reloaded after it all see one text. Then the values the
// server would refuse to store: a text holding a control character, a
// quantity out of its range. Asks the server nothing.
void TfrmListConv::Vd_Valores() {
    for (std::size_t i = 0; i < record::kFieldCount; ++i) {
        const record::Field& field = record::kFields[i];
        corvana::Field& value = GuestField(i);
        if (field.origin != record::Origin::Guest || field.type != corvana::FieldType::String ||
            value.IsNull())
            continue;
        const std::string text = value.AsString();
        const QString plain =
            QString::fromStdString(record::IsPlainText(i) ? record::PlainText(text) : text);
        const std::string stored = plain.normalized(QString::NormalizationForm_C).toStdString();
        if (stored != text) value.SetValue(stored);
    }
    for (std::size_t i = 0; i < record::kFieldCount; ++i) {
        const record::Field& field = record::kFields[i];
        corvana::Field& value = GuestField(i);
        if (field.origin != record::Origin::Guest || field.type != corvana::FieldType::String ||
            !corvana::hasControlChar(value.AsString()))
            continue;
        dbgPadrao->FocusField(&value);
        Consiste::MensErro(record::Sentence(record::ControlCharacterRule(field)), true);
    }
    corvana::Field& quantity = GuestField(record::IndexOf("QUANTIDADE"));
    if (!quantity.IsNull() && !record::QuantityInRange(quantity.AsFloat()))
        Consiste::MensErro(record::Sentence(record::QuantityRule()), true);
}

std::string TfrmListConv::NormalizedInscription() const {
    std::string text = "C";
    text += cdsConvOrceveNRINSJURCLILISCONV.AsString();
    Consiste::Ajusta_Inscricao(text);
    return text;
}

// Brings the inscription into its stored form, refuses one that another
// guest of the list already bears and links the guest to the client that
// bears it; a guest linked to a client whose inscription is now no client's
// loses the link (EndClientLink). Leaves cdsCliente with the client found
// (no row when none) and cdsEndeClie with that client's address records
// (open and empty when no client was found). A refusal leaves the
// normalised inscription written.
void TfrmListConv::Vd_NrInscricao(bool fillName, const std::string& origin) {
    corvana::Field& inscricao = cdsConvOrceveNRINSJURCLILISCONV;
    const std::string linkedCode = cdsConvOrceveCDCLIENTELISTCONV.AsString();
    std::string normalized = NormalizedInscription();
    // Written only when it differs, so that a guest without inscription keeps
    // it null and an unchanged one does not count as changed.
    if (inscricao.AsString() != normalized) inscricao.SetValue(normalized);

    // The inscription travels by reference: the server leaves it unchanged
    // and the same text goes on to the next call.
    cdsCliente.SetData(
        Consiste::CheckResultServ(netListaConv.Call("GetCliente", {normalized}), true, 0));

    Variant free =
        netListaConv.Call("GetInscJCad", {listKey.medCdFilial->Text(), listKey.medOrcamento->Text(),
                                          listKey.edtSeq->Text(), normalized,
                                          cdsConvOrceveNRLISTACONVOREV.AsString()});
    // The answer is a plain boolean, used without the result check; a server
    // error is still shown as one, and any other answer cannot be judged.
    if (free.isError()) Consiste::CheckResultServ(free, true, 0);
    if (free.kind() != Variant::Kind::Bool)
        throw corvana::Error("Resposta inesperada do servidor ao verificar a inscrição.");
    if (!free.toBool()) {
        dbgPadrao->FocusField(&inscricao);
        Consiste::MensErro(msgPadrao.Msg("INSC_JA_CAD"), true);
    }

    if (cdsCliente.IsEmpty()) {
        if (cdsEndeClie.Active()) {
            cdsEndeClie.EmptyDataSet();
        } else {
            cdsEndeClie.CreateDataSet();
        }
        // An emptied inscription ends the link by the save's placeholders.
        if (!Consiste::EmptyString(normalized) && !Consiste::EmptyString(linkedCode) &&
            linkedCode != "*")
            EndClientLink(linkedCode);
        return;
    }

    const std::string cdCliente = cdsClienteCDCLIENTE.AsString();
    linkedClient_ = {cdCliente, cdsClienteNMFANTCLIE.AsString()};
    inscricao.SetValue(cdsClienteNRINSJURCLIE.AsString());
    if (fillName || !origin.empty())
        cdsConvOrceveNMLISTACONVOREV.SetValue(cdsClienteNMFANTCLIE.AsString());
    cdsConvOrceveCDCLIENTELISTCONV.SetValue(cdCliente);
    cdsEndeClie.SetData(
        Consiste::CheckResultServ(netListaConv.Call("GetEndeClie", {cdCliente}), true, 0));
}

void TfrmListConv::EndClientLink(const std::string& code) {
    const std::string tradeName =
        linkedClient_.code == code ? linkedClient_.tradeName : cdsConvOrceveNMFANTCLIE.AsString();
    corvana::Field& nome = cdsConvOrceveNMLISTACONVOREV;
    if (!Consiste::EmptyString(tradeName) && nome.AsString() == tradeName) nome.Clear();
    for (corvana::Field* field :
         {&cdsConvOrceveCDCLIENTELISTCONV, &cdsConvOrceveNRTELCONVEVEN, &cdsConvOrceveNRCELCONVEVEN,
          &cdsConvOrceveDSEMAILCONVEVEN, &cdsConvOrceveNMFANTCLIE})
        field->Clear();
}

// Detaches the guest from a client whose trade name it does not bear: the
// client of the inscription given (the normalised current one), or, when the
// inscription was changed in this edit, the previous client, whose name the
// guest then loses too. Shows nothing and refuses nothing.
void TfrmListConv::Vd_NomeAlterado(const std::string& inscricao) {
    corvana::Field& nome = cdsConvOrceveNMLISTACONVOREV;
    auto clear = [](std::initializer_list<corvana::Field*> fields) {
        for (corvana::Field* field : fields) field->Clear();
    };

    cdsCliente.SetData(
        Consiste::CheckResultServ(netListaConv.Call("GetCliente", {inscricao}), true, 0));
    const std::string clientName =
        cdsCliente.IsEmpty() ? std::string() : cdsClienteNMFANTCLIE.AsString();
    if (!Consiste::EmptyString(clientName) && clientName != nome.AsString()) {
        clear({&cdsConvOrceveCDCLIENTELISTCONV, &cdsConvOrceveNRINSJURCLILISCONV,
               &cdsConvOrceveNRTELCONVEVEN, &cdsConvOrceveNRCELCONVEVEN,
               &cdsConvOrceveDSEMAILCONVEVEN, &cdsConvOrceveNMFANTCLIE});
        return;
    }

    corvana::Field& field = cdsConvOrceveNRINSJURCLILISCONV;
    const std::string old = field.OldValue().toString();
    if (old == field.AsString()) return;

    // Stored inscriptions are already in stored form: the old one is sent as
    // it is, empty included (a guest being inserted has none).
    cdsCliente.SetData(Consiste::CheckResultServ(netListaConv.Call("GetCliente", {old}), true, 0));
    if (!Consiste::EmptyString(old) && !cdsCliente.IsEmpty() &&
        cdsClienteNMFANTCLIE.AsString() == nome.AsString()) {
        clear({&cdsConvOrceveCDCLIENTELISTCONV, &cdsConvOrceveNMLISTACONVOREV,
               &cdsConvOrceveNRTELCONVEVEN, &cdsConvOrceveNRCELCONVEVEN,
               &cdsConvOrceveDSEMAILCONVEVEN, &cdsConvOrceveNMFANTCLIE});
    }
}

// Refuses a contract order that another guest of the list already has. The
// server tells the guest itself from the others by its name at the start of
// the edit.
void TfrmListConv::Vd_Ordem() {
    const std::string ordem = cdsConvOrceveNRORDEMEXIBCONTRAT.AsString();
    if (Consiste::EmptyString(ordem)) return;
    const std::string previousName = cdsConvOrceveNMLISTACONVOREV.OldValue().toString();

    Variant reply =
        netListaConv.Call("GetVdOrdem", {listKey.medCdFilial->Text(), listKey.medOrcamento->Text(),
                                         listKey.edtSeq->Text(), ordem, previousName});
    // The reply is a plain text, used without the result check; a server
    // error is still shown as one.
    if (reply.isError()) Consiste::CheckResultServ(reply, true, 0);
    const std::string text = corvana::utf8Truncate(reply.toString(), kOrderReplyChars);
    if (text == "EXISTE") Consiste::MensErro(msgPadrao.Msg("Existe_Ordem"), true);
}
