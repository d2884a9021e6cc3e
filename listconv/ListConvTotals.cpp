// Totals panel under the grid: the budget's guest quantity, the number of
// guests on the list and the special-guest treatment of the whole list.
#include <QHBoxLayout>
#include <array>
#include <string_view>

#include "corvana/core/Consiste.h"
#include "guestrecord/GuestRecord.h"
#include "listconv/Cli_evt07800.h"

using namespace corvana::ui;

namespace {

// Entries of the treatment box and the code each one stands for, by index.
// The blank entry is stored as the field's placeholder ("*") but shown only
// for an empty code.
struct Treatment {
    const char* caption;
    std::string_view code;
};
constexpr std::array<Treatment, 5> kTreatments{{
    {"", evt::guestrecord::FieldNamed("IDTPTRATCONVESPEC").placeholder},
    {"Dados dos Noivos", "NOIVOS"},
    {"Dados da Debutante", "DEBUTANTE"},
    {"Dados do(a) Representante", "REPRESENTANTE"},
    {"Dados da Debutante e do(a) Representante", "DEBUTREPRESENTANTE"},
}};

TLabel* PanelLabel(const char* caption, QWidget* parent) {
    auto* label = new TLabel(caption, parent);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    return label;
}

}  // namespace

void TfrmListConv::CreateTotalsPanel() {
    panTotalizador = new TPanel(this, "panTotalizador", 41);
    auto* row = new QHBoxLayout(panTotalizador);
    row->setContentsMargins(8, 4, 8, 4);
    row->setSpacing(6);

    auto* lblConvidados = PanelLabel("Convidados", panTotalizador);
    lblConvidados->setObjectName("lblConvidados");
    dbeNmPrBase = new TDBEdit(panTotalizador);
    dbeNmPrBase->setObjectName("dbeNmPrBase");
    dbeNmPrBase->SetDataSource(&dtsVdOrca);
    dbeNmPrBase->SetDataField("QTCONVORCEVE");
    dbeNmPrBase->SetEnabled(false);
    dbeNmPrBase->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    dbeNmPrBase->setFixedWidth(70);

    auto* lblQtdeLista = PanelLabel("Qtde. Lista", panTotalizador);
    lblQtdeLista->setObjectName("lblQtdeLista");
    nedQtdeLista = new TNumberEdit(panTotalizador);
    nedQtdeLista->setObjectName("nedQtdeLista");
    nedQtdeLista->SetReadOnly(true);
    nedQtdeLista->SetDecimals(0);
    nedQtdeLista->setFixedWidth(70);

    auto* lblTratConvEspec = PanelLabel("Tratamento dos Convidados Especiais", panTotalizador);
    lblTratConvEspec->setObjectName("lblTratConvEspec");
    cmbTratConvEspec = new TComboBox(panTotalizador);
    cmbTratConvEspec->setObjectName("cmbTratConvEspec");
    cmbTratConvEspec->SetStyle(TComboStyle::DropDown);
    std::vector<std::string> items;
    for (const Treatment& t : kTreatments) items.emplace_back(t.caption);
    cmbTratConvEspec->SetItems(items);
    cmbTratConvEspec->SetItemIndex(0);
    cmbTratConvEspec->setMinimumWidth(300);
    cmbTratConvEspec->SetEnabled(false);
    cmbTratConvEspec->OnChange = [this](QObject* s) { cmbTratConvEspecChange(s); };

    lblConvidados->setBuddy(dbeNmPrBase);
    lblQtdeLista->setBuddy(nedQtdeLista);
    lblTratConvEspec->setBuddy(cmbTratConvEspec);
    row->addWidget(lblConvidados);
    row->addWidget(dbeNmPrBase);
    row->addSpacing(18);
    row->addWidget(lblQtdeLista);
    row->addWidget(nedQtdeLista);
    row->addSpacing(18);
    row->addWidget(lblTratConvEspec);
    row->addWidget(cmbTratConvEspec);
    row->addStretch(1);

    panTotalizador->OnEnter = [this](QObject* s) { panTotalizadorEnter(s); };
    AddGridBottomPanel(panTotalizador);

    // The count follows the rows of a browsed list also when no state
    // changes: a delete from browse removes a row and stays browsing.
    dtsPadrao.OnDataChange = [this](corvana::DataSource& source, corvana::Field* field) {
        if (!field && source.State() == corvana::DataSetState::Browse)
            nedQtdeLista->SetNumber(cdsConvOrceve.RecordCount());
    };
}

// Shows the treatment of the current record (the first of a list just
// loaded). A code outside the table, "*" included, leaves the box as it is.
void TfrmListConv::TratamentoConv() {
    MostraTratamento(cdsConvOrceveIDTPTRATCONVESPEC.AsString());
}

void TfrmListConv::MostraTratamento(const std::string& code) {
    if (Consiste::EmptyString(code)) {
        cmbTratConvEspec->SetItemIndex(0);
        return;
    }
    for (std::size_t i = 1; i < kTreatments.size(); ++i) {
        if (code == kTreatments[i].code) {
            cmbTratConvEspec->SetItemIndex(static_cast<int>(i));
            return;
        }
    }
}

void TfrmListConv::GravaTratamento() {
    const int index = cmbTratConvEspec->ItemIndex();
    if (index < 0 || index >= static_cast<int>(kTreatments.size())) return;
    cdsConvOrceveIDTPTRATCONVESPEC.SetAsString(
        std::string(kTreatments[static_cast<std::size_t>(index)].code));
}

// The user's choice only puts the current guest in edit state; the code
// reaches it when it is posted (GravaTratamento in the before-post).
void TfrmListConv::cmbTratConvEspecChange(QObject*) {
    if (cdsConvOrceve.Editing()) return;
    // Edit on an empty list would insert a blank guest; the box is disabled
    // then, but a change arriving anyway must not create one.
    if (cdsConvOrceve.IsEmpty()) return;
    cdsConvOrceve.Edit();
}

void TfrmListConv::panTotalizadorEnter(QObject*) {
    cmbTratConvEspec->SetEnabled(!cdsConvOrceve.IsEmpty());
}
