#include "import/TfrmListaImpArq.h"

#include <QGridLayout>
#include <QMainWindow>
#include <QVBoxLayout>
#include <cstdint>
#include <filesystem>
#include <utility>

#include "corvana/core/Consiste.h"
#include "corvana/core/Corvana.h"
#include "corvana/core/Services.h"
#include "corvana/data/Error.h"
#include "corvana/ui/Application.h"
#include "corvana/ui/Guard.h"
#include "corvana/ui/Icons.h"
#include "import/GuestFile.h"

using namespace corvana::ui;

bool TOpenDialog::Execute() {
    std::optional<std::string> chosen =
        corvana::services::OpenFileDialog().Execute(Filter, FileName);
    if (!chosen) return false;
    FileName = std::move(*chosen);
    return true;
}

TfrmListaImpArq::TfrmListaImpArq(ShownList shown, QWidget* parent)
    : TfrmRotiGeral(parent), list(std::move(shown)) {
    setObjectName("frmListaImpArq");
    SetCaption("Importar Lista de Convidados");
    lblCodTela->SetCaption("EVT07802");

    msgPadrao.SetLines({
        "Arq_N_Inf|Arquivo de Importação deve ser informado.",
        "DIR_INVALIDO|Diretório não existe.",
        "ARQU_INVALIDO|Arquivo não existe.",
        "Imp_Ok|Dados importados com sucesso.",
        "Arq_Vazio|Arquivo se encontra vazio.",
        "Reg_N_Imp|Os seguintes convidados não foram importados por terem Nome/RG já cadastrados "
        "na lista:",
    });

    // The file name: its label above, the edit and the lookup button below.
    grbDadosRel->setFixedSize(361, 102);
    auto* fields = new QGridLayout(grbDadosRel);
    fields->setContentsMargins(10, 10, 10, 10);
    fields->setHorizontalSpacing(2);
    fields->setVerticalSpacing(2);
    Arquivo = new TLabel("Arquivo", grbDadosRel);
    Arquivo->setObjectName("Arquivo");
    QFont bold = Arquivo->font();
    bold.setBold(true);
    Arquivo->setFont(bold);
    edtImpArq = new TEdit(grbDadosRel);
    edtImpArq->setObjectName("edtImpArq");
    edtImpArq->setFixedWidth(266);
    QPalette info = edtImpArq->palette();
    info.setColor(QPalette::Base, info.color(QPalette::ToolTipBase));
    info.setColor(QPalette::Text, info.color(QPalette::ToolTipText));
    edtImpArq->setPalette(info);
    Arquivo->SetFocusControl(edtImpArq);
    btnImpArq = new TBtnPesquisa(grbDadosRel);
    btnImpArq->setObjectName("btnImpArq");
    btnImpArq->setFixedSize(21, 21);
    btnImpArq->SetHint("Pesquisar");
    btnImpArq->SetAssociate(edtImpArq);
    btnImpArq->OnClick = [this](QObject* sender) { btnImpArqClick(sender); };
    fields->addWidget(Arquivo, 0, 0, 1, 2);
    fields->addWidget(edtImpArq, 1, 0);
    fields->addWidget(btnImpArq, 1, 1);
    fields->setColumnStretch(2, 1);
    fields->setRowStretch(2, 1);

    // Importar takes the top of the button column; the base's confirm
    // button is not used.
    sbtImpArq = NewColumnButton("sbtImpArq", "Importar",
                                "Importar os convidados do arquivo para a lista", "document-open");
    sbtImpArq->OnClick = [this](QObject* sender) { sbtImpArqClick(sender); };
    static_cast<QVBoxLayout*>(panBotoes->layout())->insertWidget(0, sbtImpArq);
    sbtConfirma->SetVisible(false);

    opdListaImp.Filter = "Arquivos Texto (*.txt)|*.txt";

    netListaConv.SetServerName("evt07800.rdmListConv");
    netListaConv.SetThrowException(false);
    netListaConv.BeforeConnect = [this](corvana::TNetConnection& c) {
        netListaConvBeforeConnect(c);
    };

    cdsListaImpArq.AddField("CDFILIAL", corvana::FieldType::String, 4);
    cdsListaImpArq.AddField("NRORCAEVENTO", corvana::FieldType::String, 10);
    cdsListaImpArq.AddField("NRSEQORCAEVE", corvana::FieldType::String, 2);
    cdsListaImpArq.AddField("NRRGLISTAOREV", corvana::FieldType::String, 20);
    cdsListaImpArq.AddField("NMLISTACONVOREV", corvana::FieldType::String, 80);
    // The server numbers the lines ten wide: a line past 999 keeps its number.
    cdsErroImp.AddField("NRCONTLINHA", corvana::FieldType::String, 10, "Linha");
    cdsErroImp.AddField("NMLISTACONVOREV", corvana::FieldType::String, 80, "Nome");
    cdsErroImp.AddField("NRRGLISTAOREV", corvana::FieldType::String, 20, "RG");

    resize(416, 130);
}

void TfrmListaImpArq::FormCreate() {
    TfrmRotiGeral::FormCreate();
    cdsListaImpArq.CreateDataSet();
    netListaConv.SetConnected(true);
}

void TfrmListaImpArq::netListaConvBeforeConnect(corvana::TNetConnection& sender) {
    sender.SetHost(Corvana::WebURL());
    sender.SetPort(Corvana::WebPort());
}

void TfrmListaImpArq::FormClose(QObject* sender, TCloseAction& action) {
    TfrmRotiGeral::FormClose(sender, action);
    netListaConv.SetConnected(false);
    // The guest list shows what was imported. A reload that fails is shown
    // and the window closes all the same: a modal window that cannot close
    // would hold the whole host.
    if (list.reload) Guarded(list.reload);
}

void TfrmListaImpArq::btnImpArqClick(QObject*) {
    opdListaImp.FileName = edtImpArq->Text();
    if (opdListaImp.Execute()) edtImpArq->SetText(opdListaImp.FileName);
}

void TfrmListaImpArq::Vd_ImpArq() {
    const std::string typed = edtImpArq->Text();
    if (Consiste::EmptyString(typed)) Consiste::MensErro(msgPadrao.Msg("Arq_N_Inf"), true);
    // The folder is looked up, never entered: the current folder is the
    // whole host's, and a relative name is read from where it was typed.
    const std::filesystem::path folder =
        std::filesystem::path(Consiste::AllTrim(typed)).parent_path();
    std::error_code error;
    if (folder.empty() || !std::filesystem::is_directory(folder, error))
        Consiste::MensErro(msgPadrao.Msg("DIR_INVALIDO"), true);
    if (!std::filesystem::exists(typed, error))
        Consiste::MensErro(msgPadrao.Msg("ARQU_INVALIDO"), true);
}

void TfrmListaImpArq::ReadImportFile() {
    GuestFile file;
    try {
        file = ReadGuestFile(edtImpArq->Text());
    } catch (const corvana::EAbort&) {
        throw;
    } catch (const corvana::Error& e) {
        Consiste::MensErro(e.what(), true);
    }
    cdsListaImpArq.EmptyDataSet();
    corvana::Field& cdFilial = cdsListaImpArq.FieldByName("CDFILIAL");
    corvana::Field& nrOrcamento = cdsListaImpArq.FieldByName("NRORCAEVENTO");
    corvana::Field& nrSequencia = cdsListaImpArq.FieldByName("NRSEQORCAEVE");
    corvana::Field& nrRg = cdsListaImpArq.FieldByName("NRRGLISTAOREV");
    corvana::Field& nmConvidado = cdsListaImpArq.FieldByName("NMLISTACONVOREV");
    for (GuestLine& guest : file.guests) {
        cdsListaImpArq.Insert();  // at the cursor: the row posted last
        cdFilial.SetValue(list.branch);
        nrOrcamento.SetValue(list.budget);
        nrSequencia.SetValue(list.sequence);
        nrRg.SetValue(std::move(guest.rg));
        nmConvidado.SetValue(std::move(guest.name));
        cdsListaImpArq.Post();
    }
}

void TfrmListaImpArq::sbtImpArqClick(QObject*) {
    Vd_ImpArq();
    ReadImportFile();
    if (cdsListaImpArq.IsEmpty()) Consiste::MensErro(msgPadrao.Msg("Arq_Vazio"), true);
    if (cdsListaImpArq.ChangeCount() > 0) {
        corvana::Variant answer;
        {
            // Gone before any failure is shown.
            corvana::services::BusyScope busy(Corvana::MainForm(), corvana::services::kBusySaving);
            answer = netListaConv.Call("GetImpLista", {corvana::Variant(cdsListaImpArq.Data())});
        }
        cdsErroImp.SetData(Consiste::CheckResultServ(answer, true, 0));
    }
    if (cdsErroImp.IsEmpty()) {
        corvana::services::Dialogs().ShowInformation(msgPadrao.Msg("Imp_Ok"));
        return;
    }
    const auto reference = static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(&cdsErroImp));
    Corvana::LoadBPL("EVT00202", corvana::Variant(corvana::Variant::Array{
                                     corvana::Variant(reference),
                                     corvana::Variant(msgPadrao.Msg("Reg_N_Imp"))}));
}
