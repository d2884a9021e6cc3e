#include "listkey/ListKeyPanel.h"

#include "corvana/core/Consiste.h"

using namespace corvana::ui;
using corvana::FieldType;

namespace {

TLabel* BoldLabel(const char* caption, const char* name, QWidget* parent) {
    auto* label = new TLabel(caption, parent);
    label->setObjectName(name);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    return label;
}

TBtnPesquisa* LookupButton(const char* name, TEdit* associate, const char* title,
                           const char* emptyError, QWidget* parent) {
    auto* button = new TBtnPesquisa(parent);
    button->setObjectName(name);
    button->SetHint("Pesquisar");
    button->SetAssociate(associate);
    button->SetTitle(title);
    button->SetEmptyError(emptyError);
    return button;
}

// The header of a budget: the six columns of GetOrca, in its order.
void AddBudgetFields(corvana::ClientDataSet& ds) {
    ds.AddField("NRORCAEVENTO", FieldType::String, 10);
    ds.AddField("NMFANTCLIE", FieldType::String, 50);
    ds.AddField("NMTPSERVEVEN", FieldType::String, 30);
    ds.AddField("NMTIPOEVENTO", FieldType::String, 30);
    ds.AddField("DTEVENTO", FieldType::DateTime);
    ds.AddField("QTCONVORCEVE", FieldType::Float);
}

}  // namespace

ListKeyPanel::ListKeyPanel(corvana::TNetConnection& net, const corvana::TMessages& messages,
                           Options options)
    : net_(net), messages_(messages), options_(options) {
    qryFilial.SetSQL("SELECT CDFILIAL, NMFILIAL FROM FILIAL ORDER BY CDFILIAL");
    qryFilial.DataSet().AddField("CDFILIAL", FieldType::String, 4, "Código");
    qryFilial.DataSet().AddField("NMFILIAL", FieldType::String, 50, "Nome");
    qryVd_Filial.SetSQL(
        "SELECT CDFILIAL, NMFILIAL FROM FILIAL WHERE CDFILIAL = :P_CDFILIAL ORDER BY CDFILIAL");
    qryVd_Filial.DataSet().AddField("CDFILIAL", FieldType::String, 4);
    qryVd_Filial.DataSet().AddField("NMFILIAL", FieldType::String, 30);
    cdsOrcamento.AddField("NRORCAEVENTO", FieldType::String, 10, "Orçamento");
    dtsOrcamento.SetDataSet(&cdsOrcamento);
    AddBudgetFields(cdsVdOrca);
    AddBudgetFields(cdsSequencial);
    cdsSequencial.AddField("CDFILIAL", FieldType::String, 4);
}

ListKeyPanel::~ListKeyPanel() {
    dtsOrcamento.SetDataSet(nullptr);
}

void ListKeyPanel::CreateControls(QWidget* parent) {
    lblFilial = BoldLabel("Filial", "lblFilial", parent);
    medCdFilial = new TMaskEdit(parent);
    medCdFilial->setObjectName("medCdFilial");
    medCdFilial->SetEditMask("9999;0; ");
    medCdFilial->SetMaxLength(4);
    medCdFilial->setFixedWidth(44);
    medCdFilial->setFocusPolicy(Qt::ClickFocus);  // not a tab stop
    btnFilial =
        LookupButton("btnFilial", medCdFilial, "Filial", "Não há filial cadastrada.", parent);
    edtNmFilial = new TEdit(parent);
    edtNmFilial->setObjectName("edtNmFilial");
    edtNmFilial->SetEnabled(false);

    lblNrOrca = BoldLabel("Nr. Orçamento", "lblNrOrca", parent);
    medOrcamento = new TEdit(parent);
    medOrcamento->setObjectName("medOrcamento");
    medOrcamento->SetCharCase(TEditCharCase::UpperCase);
    medOrcamento->SetMaxLength(10);
    medOrcamento->setFixedWidth(96);
    btnOrca =
        LookupButton("btnOrca", medOrcamento, "Orçamento", "Não há orçamento cadastrado.", parent);

    lblSeq = BoldLabel("Sequencial", "lblSeq", parent);
    edtSeq = new TEdit(parent);
    edtSeq->setObjectName("edtSeq");
    edtSeq->SetMaxLength(2);
    edtSeq->setFixedWidth(32);

    if (options_.copyBox) {
        ckbMostrarCopia = new TCheckBox("Mostrar cópia resultante", parent);
        ckbMostrarCopia->setObjectName("ckbMostrarCopia");
        QFont bold = ckbMostrarCopia->font();
        bold.setBold(true);
        ckbMostrarCopia->setFont(bold);
        ckbMostrarCopia->SetChecked(false);
        ckbMostrarCopia->OnClick = [this](QObject* s) { ckbMostrarCopiaClick(s); };
    }

    btnFilial->SetDataSource(&qryFilial.Source());
    btnFilial->SetFieldCodigo("CDFILIAL");
    btnFilial->OnBeforePesq = [this](QObject*, bool&) {
        qryFilial.Close();
        qryFilial.Open();
    };
    btnFilial->OnAfterPesq = [this](QObject* s) { btnFilialAfterPesq(s); };
    btnOrca->SetDataSource(&dtsOrcamento);
    btnOrca->SetFieldCodigo("NRORCAEVENTO");
    btnOrca->OnBeforePesq = [this](QObject* s, bool& flag) { btnOrcaBeforePesq(s, flag); };
    btnOrca->OnAfterPesq = [this](QObject* s) { btnOrcaAfterPesq(s); };

    if (options_.branchChangeClearsBudget)
        medCdFilial->OnChange = [this](QObject* s) { medCdFilialChange(s); };
    medCdFilial->OnExit = [this](QObject* s) { medCdFilialExit(s); };
    medOrcamento->OnChange = [this](QObject* s) { medOrcamentoChange(s); };
    medOrcamento->OnExit = [this](QObject* s) { medOrcamentoExit(s); };
    if (options_.checkSequenceOnExit) edtSeq->OnExit = [this](QObject* s) { edtSeqExit(s); };
}

void ListKeyPanel::Fill(const std::string& branch, const std::string& branchName,
                        const std::string& budget, const std::string& sequence) {
    medCdFilial->SetText(branch);
    edtNmFilial->SetText(branchName);
    medOrcamento->SetText(budget);
    edtSeq->SetText(sequence);
}

// --- checks --------------------------------------------------------------------------

void ListKeyPanel::Vd_Filial() {
    try {
        if (Consiste::EmptyString(medCdFilial->Text()))
            Consiste::MensErro(messages_.Msg("FILIAL"), true);
        medCdFilial->SetText(Consiste::Ajusta(medCdFilial->Text(), 4));
        qryVd_Filial.Close();
        qryVd_Filial.ParamByName("P_CDFILIAL").SetAsString(medCdFilial->Text());
        qryVd_Filial.Open();
        if (qryVd_Filial.IsEmpty()) {
            medCdFilial->SetFocus();
            Consiste::MensErro(messages_.Msg("FILI_N_CAD"), true);
        }
        edtNmFilial->SetText(qryVd_Filial.FieldByName("NMFILIAL").AsString());
        medCdFilial->SetText(qryVd_Filial.FieldByName("CDFILIAL").AsString());
    } catch (...) {
        medCdFilial->SetFocus();
        throw;
    }
}

void ListKeyPanel::Vd_Orcamento(bool required) {
    try {
        if (Consiste::EmptyString(medOrcamento->Text())) {
            if (!required) return;
            medOrcamento->SetFocus();
            Consiste::MensErro(messages_.Msg("ORCA_N_INF"), true);
        }
        const std::string sequence = edtSeq->Text();
        medOrcamento->SetText(Consiste::Ajusta(medOrcamento->Text(), 10));
        if (options_.keepTypedSequence && edtSeq->Text() != sequence) edtSeq->SetText(sequence);
        cdsVdOrca.SetData(Consiste::CheckResultServ(
            net_.Call("GetOrca", {medCdFilial->Text(), medOrcamento->Text()}), true, 0));
        if (cdsVdOrca.IsEmpty()) {
            medOrcamento->SetFocus();
            Consiste::MensErro(messages_.Msg("ORCA_N_CAD"), true);
        }
    } catch (...) {
        medOrcamento->SetFocus();
        throw;
    }
}

void ListKeyPanel::Vd_Sequencial() {
    if (Consiste::EmptyString(edtSeq->Text())) {
        edtSeq->SetFocus();
        Consiste::MensErro(messages_.Msg("SEQ_N_INF"), true);
    }
    edtSeq->SetText(Consiste::Ajusta(edtSeq->Text(), 2));
    cdsSequencial.SetData(Consiste::CheckResultServ(
        net_.Call("GetSequencial", {medCdFilial->Text(), medOrcamento->Text(), edtSeq->Text()}),
        true, 0));
    if (cdsSequencial.IsEmpty()) {
        edtSeq->SetFocus();
        Consiste::MensErro(messages_.Msg("SEQ_N_CAD"), true);
    }
}

// --- handlers ------------------------------------------------------------------------

void ListKeyPanel::medCdFilialChange(QObject*) {
    edtNmFilial->SetText("");
    medOrcamento->SetText("");
}

void ListKeyPanel::medCdFilialExit(QObject*) {
    Vd_Filial();
}

void ListKeyPanel::btnFilialAfterPesq(QObject*) {
    corvana::ClientDataSet& branches = qryFilial.DataSet();
    edtNmFilial->SetText(branches.FieldByName("NMFILIAL").AsString());
    medCdFilial->SetText(branches.FieldByName("CDFILIAL").AsString());
}

void ListKeyPanel::medOrcamentoChange(QObject*) {
    edtSeq->SetText("");
}

void ListKeyPanel::medOrcamentoExit(QObject*) {
    if (options_.checkBudgetOnExit) Vd_Orcamento(false);
    edtSeq->SetText("00");
}

void ListKeyPanel::btnOrcaBeforePesq(QObject*, bool&) {
    cdsOrcamento.SetData(
        Consiste::CheckResultServ(net_.Call("GetOrcamento", {medCdFilial->Text()}), true, 0));
}

void ListKeyPanel::btnOrcaAfterPesq(QObject*) {
    medOrcamento->SetText(cdsOrcamento.FieldByName("NRORCAEVENTO").AsString());
}

void ListKeyPanel::edtSeqExit(QObject*) {
    Vd_Sequencial();
}

void ListKeyPanel::ckbMostrarCopiaClick(QObject*) {
    const bool sequence = !ckbMostrarCopia->Checked();
    edtSeq->SetEnabled(sequence);
    lblSeq->setEnabled(sequence);
}
