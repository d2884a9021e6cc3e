#include "sheet/TfrmImportaPlanilha.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cstdint>

#include "corvana/core/Consiste.h"
#include "corvana/core/Corvana.h"
#include "corvana/core/Services.h"
#include "corvana/data/Error.h"
#include "corvana/ui/Application.h"
#include "corvana/ui/Guard.h"
#include "sheet/CsvReader.h"
#include "sheet/XlsxReader.h"

using namespace corvana::ui;
namespace sheet = evt::sheet;

namespace {

// The rows of the file step 2 shows under the choosers.
constexpr int kSampleRows = 8;

constexpr GuestFileEncoding kEncodings[] = {GuestFileEncoding::Windows1252, GuestFileEncoding::Utf8,
                                            GuestFileEncoding::Utf16LE, GuestFileEncoding::Utf16BE};
constexpr char kSeparators[] = {';', ',', '\t'};

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

bool EndsWithXlsx(const std::string& path) {
    return path.size() >= 5 && QString::fromStdString(path.substr(path.size() - 5))
                                       .compare(".xlsx", Qt::CaseInsensitive) == 0;
}

}  // namespace

TfrmImportaPlanilha::TfrmImportaPlanilha(ShownList list) : list_(std::move(list)) {
    setObjectName("frmImportaPlanilha");
    SetCaption("Importar planilha");
    lblCodTela->SetCaption("EVT07800");
    SetFormStyle(TFormStyle::fsNormal);

    msgPadrao.SetLines({
        "Arq_N_Inf|Informe o arquivo da planilha.",
        "Sem_Nome|Escolha a coluna que tem o nome dos convidados.",
        "Sem_Linhas|A planilha não tem nenhuma linha com valores.",
        "Nada_Adicionar|Nenhuma linha da planilha pode ser adicionada à lista.",
        "Relatorio|Resultado de cada linha da planilha",
    });

    pgcPassos = new QStackedWidget(this);
    pgcPassos->setObjectName("pgcPassos");
    MainLayout()->addWidget(pgcPassos, 1);

    // Step 1: the file.
    auto* file = new QWidget();
    file->setObjectName("pgArquivo");
    auto* fileGrid = new QGridLayout(file);
    auto* title1 = new QLabel("<b>1. O arquivo</b> — CSV, texto ou XLSX", file);
    fileGrid->addWidget(title1, 0, 0, 1, 3);
    fileGrid->addWidget(new QLabel("Arquivo", file), 1, 0);
    edtArquivo = new TEdit(file);
    edtArquivo->setObjectName("edtArquivo");
    edtArquivo->setMinimumWidth(380);
    fileGrid->addWidget(edtArquivo, 1, 1);
    btnArquivo = NewFlatButton(file, "btnArquivo", "Procurar o arquivo", "document-open");
    btnArquivo->OnClick = [this](QObject* s) { btnArquivoClick(s); };
    fileGrid->addWidget(btnArquivo, 1, 2);
    fileGrid->addWidget(new QLabel("Codificação", file), 2, 0);
    cmbCodificacao = new QComboBox(file);
    cmbCodificacao->setObjectName("cmbCodificacao");
    for (GuestFileEncoding e : kEncodings) cmbCodificacao->addItem(Q(sheet::EncodingName(e)));
    fileGrid->addWidget(cmbCodificacao, 2, 1);
    fileGrid->addWidget(new QLabel("Separador", file), 3, 0);
    cmbSeparador = new QComboBox(file);
    cmbSeparador->setObjectName("cmbSeparador");
    cmbSeparador->addItems({"Ponto e vírgula (;)", "Vírgula (,)", "Tabulação"});
    fileGrid->addWidget(cmbSeparador, 3, 1);
    fileGrid->addWidget(new QLabel("Folha", file), 4, 0);
    cmbFolha = new QComboBox(file);
    cmbFolha->setObjectName("cmbFolha");
    fileGrid->addWidget(cmbFolha, 4, 1);
    lblDetectado = new QLabel(file);
    lblDetectado->setObjectName("lblDetectado");
    lblDetectado->setWordWrap(true);
    fileGrid->addWidget(lblDetectado, 5, 0, 1, 3);
    fileGrid->setRowStretch(6, 1);
    fileGrid->setColumnStretch(1, 1);
    pgcPassos->addWidget(file);
    // A choice changed re-reads the file with it.
    auto reread = [this] {
        if (filling_ || readPath_.empty()) return;
        Guarded([this] { ReadFile(false); });
    };
    connect(cmbCodificacao, &QComboBox::currentIndexChanged, this, reread);
    connect(cmbSeparador, &QComboBox::currentIndexChanged, this, reread);
    connect(cmbFolha, &QComboBox::currentIndexChanged, this, reread);

    // Step 2: the columns.
    auto* columns = new QWidget();
    columns->setObjectName("pgColunas");
    auto* columnsBox = new QVBoxLayout(columns);
    columnsBox->addWidget(new QLabel(
        "<b>2. As colunas</b> — o campo do convidado de cada coluna do arquivo", columns));
    chkCabecalho = new QCheckBox("A primeira linha é o cabeçalho (não é um convidado)", columns);
    chkCabecalho->setObjectName("chkCabecalho");
    columnsBox->addWidget(chkCabecalho);
    tblColunas = new QTableWidget(columns);
    tblColunas->setObjectName("tblColunas");
    tblColunas->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblColunas->verticalHeader()->setVisible(false);
    columnsBox->addWidget(tblColunas, 1);
    pgcPassos->addWidget(columns);

    // Step 3: the preview.
    auto* preview = new QWidget();
    preview->setObjectName("pgPrevia");
    auto* previewBox = new QVBoxLayout(preview);
    previewBox->addWidget(
        new QLabel("<b>3. A prévia</b> — o que o servidor fará com cada linha", preview));
    lblContagem = new QLabel(preview);
    lblContagem->setObjectName("lblContagem");
    previewBox->addWidget(lblContagem);
    tblPrevia = new QTableView(preview);
    tblPrevia->setObjectName("tblPrevia");
    tblPrevia->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblPrevia->verticalHeader()->setVisible(false);
    previewModel_ = new QStandardItemModel(this);
    tblPrevia->setModel(previewModel_);
    previewBox->addWidget(tblPrevia, 1);
    pgcPassos->addWidget(preview);

    // The buttons.
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    auto button = [this, buttons](const char* name, const char* caption, const char* icon) {
        TButtonFlat* b = NewFlatButton(this, name, caption, icon);
        b->SetCaption(caption);
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        buttons->addWidget(b);
        return b;
    };
    sbtVoltar = button("sbtVoltar", "Voltar", "go-previous");
    sbtVoltar->OnClick = [this](QObject* s) { sbtVoltarClick(s); };
    sbtAvancar = button("sbtAvancar", "Avançar", "go-next");
    sbtAvancar->OnClick = [this](QObject* s) { sbtAvancarClick(s); };
    sbtImportar = button("sbtImportar", "Importar", "x-office-spreadsheet");
    sbtImportar->OnClick = [this](QObject* s) { sbtImportarClick(s); };
    sbtFechar = button("sbtFechar", "Fechar", "system-log-out");
    sbtFechar->OnClick = [this](QObject*) { Close(); };
    MainLayout()->addLayout(buttons);
    AddScreenCodeRow();

    netListaConv.SetServerName("evt07800.rdmListConv");
    netListaConv.SetThrowException(false);
    netListaConv.BeforeConnect = [](corvana::TNetConnection& c) {
        c.SetHost(Corvana::WebURL());
        c.SetPort(Corvana::WebPort());
    };
    for (const sheet::ReportField& f : sheet::ReportFields())
        cdsRelatorio.AddField(f.name, corvana::FieldType::String, f.size, f.label);

    resize(760, 480);
    ShowStep(0);
}

TfrmImportaPlanilha::~TfrmImportaPlanilha() = default;

void TfrmImportaPlanilha::FormCreate() {
    TForm::FormCreate();
    netListaConv.SetConnected(true);
}

void TfrmImportaPlanilha::FormClose(QObject* sender, TCloseAction& action) {
    TForm::FormClose(sender, action);
    action = TCloseAction::caFree;
    netListaConv.SetConnected(false);
    // The guest list shows what was imported; a reload that fails is shown
    // and the window closes all the same.
    if (imported_ && list_.reload) Guarded(list_.reload);
}

void TfrmImportaPlanilha::ShowStep(int step) {
    pgcPassos->setCurrentIndex(step);
    sbtVoltar->SetEnabled(step > 0);
    sbtAvancar->SetEnabled(step < 2);
    sbtImportar->SetEnabled(step == 2);
    const bool xlsx = IsXlsx();
    cmbCodificacao->setEnabled(!xlsx && !readPath_.empty());
    cmbSeparador->setEnabled(!xlsx && !readPath_.empty());
    cmbFolha->setEnabled(xlsx && !readPath_.empty());
}

bool TfrmImportaPlanilha::IsXlsx() const {
    return EndsWithXlsx(readPath_.empty() ? edtArquivo->Text() : readPath_);
}

void TfrmImportaPlanilha::btnArquivoClick(QObject*) {
    const std::optional<std::string> chosen = corvana::services::OpenFileDialog().Execute(
        "Planilhas (*.csv *.txt *.xlsx)|*.csv;*.txt;*.xlsx", edtArquivo->Text());
    if (!chosen) return;
    edtArquivo->SetText(*chosen);
    ReadFile(true);
}

void TfrmImportaPlanilha::ReadFile(bool detect) {
    const std::string path = edtArquivo->Text();
    if (Consiste::EmptyString(path)) Consiste::MensErro(msgPadrao.Msg("Arq_N_Inf"), true);
    sheet::SheetTable table;
    std::string detected;
    filling_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{filling_};
    try {
        corvana::services::WaitCursorScope wait;
        if (EndsWithXlsx(path)) {
            if (detect || path != readPath_) {
                cmbFolha->clear();
                for (const std::string& name : sheet::XlsxSheetNames(path))
                    cmbFolha->addItem(Q(name));
            }
            const int index = std::max(0, cmbFolha->currentIndex());
            table = sheet::ReadXlsx(path, static_cast<std::size_t>(index));
            detected = "Planilha XLSX, folha \"" + cmbFolha->currentText().toStdString() + "\".";
        } else {
            sheet::CsvOptions options;
            if (!detect && path == readPath_) {
                options.encoding = kEncodings[std::max(0, cmbCodificacao->currentIndex())];
                options.separator = kSeparators[std::max(0, cmbSeparador->currentIndex())];
            }
            sheet::CsvFile csv = sheet::ReadCsvFile(path, options);
            for (int i = 0; i < 4; ++i)
                if (kEncodings[i] == csv.encoding) cmbCodificacao->setCurrentIndex(i);
            for (int i = 0; i < 3; ++i)
                if (kSeparators[i] == csv.separator) cmbSeparador->setCurrentIndex(i);
            table = std::move(csv.table);
            detected = (detect ? "Detectado: " : "Lido como: ") +
                       sheet::EncodingName(csv.encoding) + ", separador " +
                       (csv.separator == '\t' ? std::string("tabulação")
                                              : "\"" + std::string(1, csv.separator) + "\"") +
                       ".";
        }
    } catch (const corvana::Error& e) {
        Consiste::MensErro(e.what(), true);
    }
    const bool sameFile = path == readPath_;
    readPath_ = path;
    table_ = std::move(table);
    lblDetectado->setText(Q(detected + " " + std::to_string(table_.rows.size()) +
                            (table_.rows.size() == 1 ? " linha." : " linhas.")));
    // A new file gets a new guess; the same file re-read keeps the choices
    // where its columns are still there.
    const std::vector<int> before = sameFile ? Mapping() : std::vector<int>();
    const bool header = chkCabecalho->isChecked();
    FillColumns();
    if (sameFile && !before.empty()) {
        for (std::size_t c = 0; c < before.size() && c < Mapping().size(); ++c)
            SetMapping(c, before[c]);
        chkCabecalho->setChecked(header);
    }
    ShowStep(pgcPassos->currentIndex());
}

void TfrmImportaPlanilha::FillColumns() {
    const sheet::ColumnGuess guess = sheet::GuessColumns(table_);
    chkCabecalho->setChecked(guess.header);
    const std::size_t count = guess.mapping.size();
    tblColunas->clear();
    tblColunas->setColumnCount(static_cast<int>(count));
    const int samples = static_cast<int>(std::min<std::size_t>(table_.rows.size(), kSampleRows));
    tblColunas->setRowCount(samples + 1);
    QStringList titles;
    for (std::size_t c = 0; c < count; ++c) {
        titles << QString("Coluna %1").arg(c + 1);
        auto* chooser = new QComboBox();
        chooser->setObjectName(QString("cmbCampo%1").arg(c + 1));
        chooser->addItem("(ignorar)");
        for (const sheet::GuestColumn& field : sheet::GuestColumns())
            chooser->addItem(QString::fromUtf8(field.label));
        chooser->setCurrentIndex(guess.mapping[c] + 1);
        tblColunas->setCellWidget(0, static_cast<int>(c), chooser);
    }
    tblColunas->setHorizontalHeaderLabels(titles);
    for (int r = 0; r < samples; ++r) {
        const sheet::SheetRow& row = table_.rows[static_cast<std::size_t>(r)];
        for (std::size_t c = 0; c < row.cells.size() && c < count; ++c)
            tblColunas->setItem(r + 1, static_cast<int>(c), new QTableWidgetItem(Q(row.cells[c])));
    }
    tblColunas->resizeColumnsToContents();
}

std::vector<int> TfrmImportaPlanilha::Mapping() const {
    std::vector<int> mapping;
    for (int c = 0; c < tblColunas->columnCount(); ++c) {
        const auto* chooser = qobject_cast<const QComboBox*>(tblColunas->cellWidget(0, c));
        mapping.push_back(chooser ? chooser->currentIndex() - 1 : sheet::kIgnored);
    }
    return mapping;
}

void TfrmImportaPlanilha::SetMapping(std::size_t column, int field) {
    if (auto* chooser =
            qobject_cast<QComboBox*>(tblColunas->cellWidget(0, static_cast<int>(column))))
        chooser->setCurrentIndex(field + 1);
}

void TfrmImportaPlanilha::sbtVoltarClick(QObject*) {
    ShowStep(std::max(0, pgcPassos->currentIndex() - 1));
}

void TfrmImportaPlanilha::sbtAvancarClick(QObject*) {
    const int step = pgcPassos->currentIndex();
    if (step == 0) {
        // The file as it is now: typed, or chosen and changed since.
        if (readPath_ != edtArquivo->Text() || table_.rows.empty()) ReadFile(true);
        ShowStep(1);
        return;
    }
    if (step == 1) {
        const std::vector<int> mapping = Mapping();
        if (std::find(mapping.begin(), mapping.end(), 0) == mapping.end())
            Consiste::MensErro(msgPadrao.Msg("Sem_Nome"), true);
        RunPreview();
        ShowStep(2);
    }
}

// The dry run: every row the server would add or refuse, and why.
void TfrmImportaPlanilha::RunPreview() {
    skipped_.clear();
    corvana::DataPacket rows =
        sheet::ImportRows(table_, Mapping(), chkCabecalho->isChecked(), skipped_);
    if (rows.rows().empty()) Consiste::MensErro(msgPadrao.Msg("Sem_Linhas"), true);
    const char* unexpected = "Resposta inesperada do servidor à prévia da planilha.";
    preview_ = CallImport(rows, "S", corvana::services::kBusyLoading, unexpected);
    if (preview_.size() != rows.rows().size()) throw corvana::Error(unexpected);
    sent_ = std::move(rows);

    // The table: line, verdict, reason, then the mapped fields.
    previewModel_->clear();
    QStringList titles = {"Linha", "Resultado", "Motivo"};
    std::vector<int> columns;
    for (std::size_t f = 1; f < sent_.fields().size(); ++f) {
        const std::string& name = sent_.fields()[f].name;
        for (const sheet::GuestColumn& g : sheet::GuestColumns())
            if (name == g.field) titles << QString::fromUtf8(g.label);
        columns.push_back(static_cast<int>(f));
    }
    previewModel_->setHorizontalHeaderLabels(titles);
    std::size_t adds = 0;
    previewModel_->setRowCount(static_cast<int>(preview_.size()));
    for (std::size_t r = 0; r < preview_.size(); ++r) {
        const sheet::Verdict& v = preview_[r];
        adds += v.added ? 1 : 0;
        const int row = static_cast<int>(r);
        previewModel_->setItem(row, 0, new QStandardItem(Q(v.line)));
        auto* verdict = new QStandardItem(v.added ? "Será adicionado" : "Recusado");
        if (!v.added) verdict->setForeground(QColor(160, 0, 0));
        previewModel_->setItem(row, 1, verdict);
        previewModel_->setItem(row, 2, new QStandardItem(Q(v.reason)));
        for (std::size_t c = 0; c < columns.size(); ++c)
            previewModel_->setItem(
                row, static_cast<int>(c) + 3,
                new QStandardItem(
                    Q(sent_.rows()[r][static_cast<std::size_t>(columns[c])].toString())));
    }
    tblPrevia->resizeColumnsToContents();
    sheet::ImportCounts counts;
    counts.added = adds;
    counts.refused = preview_.size() - adds;
    counts.skipped = skipped_.size();
    counts.read = preview_.size() + skipped_.size();
    lblContagem->setText(Q(sheet::PreviewCountsText(counts)));
}

std::vector<sheet::Verdict> TfrmImportaPlanilha::CallImport(const corvana::DataPacket& rows,
                                                            const char* mode, int busyKind,
                                                            const char* unexpected) {
    corvana::Variant answer;
    {
        corvana::services::BusyScope busy(Corvana::MainForm(), busyKind);
        answer = netListaConv.Call("GetImpPlanilha", {list_.branch, list_.budget, list_.sequence,
                                                      corvana::Variant(rows), std::string(mode)});
    }
    answer = Consiste::CheckResultServ(answer, true, 0);
    if (!answer.isPacket()) throw corvana::Error(unexpected);
    return sheet::VerdictsOf(answer.asPacket());
}

void TfrmImportaPlanilha::sbtImportarClick(QObject*) {
    const corvana::DataPacket addable = sheet::AddableRows(sent_, preview_);
    if (addable.rows().empty()) Consiste::MensErro(msgPadrao.Msg("Nada_Adicionar"), true);
    const std::vector<sheet::Verdict> imported =
        CallImport(addable, "N", corvana::services::kBusySaving,
                   "Resposta inesperada do servidor à importação da planilha.");
    imported_ = true;
    cdsRelatorio.SetData(sheet::ImportReport(sent_, preview_, imported, skipped_, counts_));
    const auto reference =
        static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(&cdsRelatorio));
    Corvana::LoadBPL("EVT00202", corvana::Variant(corvana::Variant::Array{
                                     corvana::Variant(reference),
                                     corvana::Variant(sheet::CountsText(counts_) + " " +
                                                      msgPadrao.Msg("Relatorio") + ":")}));
    Close();
}
