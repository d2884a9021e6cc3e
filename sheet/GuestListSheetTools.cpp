#include "sheet/GuestListSheetTools.h"

#include <QAction>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>

#include "corvana/core/Consiste.h"
#include "corvana/core/Services.h"
#include "corvana/data/ClientDataSet.h"
#include "corvana/data/Error.h"
#include "corvana/data/Field.h"
#include "corvana/ui/GridModel.h"
#include "corvana/ui/Guard.h"
#include "corvana/ui/Icons.h"
#include "corvana/ui/TButtonFlat.h"
#include "corvana/ui/TDBGrid.h"
#include "corvana/ui/TfrmPadraoGrid.h"
#include "sheet/GuestFind.h"

using namespace corvana::ui;

namespace {

// The fields the find box reads besides the name.
constexpr const char* kDocumentFields[] = {"NRRGLISTAOREV", "NRINSJURCLILISCONV", "NRTELCONVEVEN",
                                           "NRCELCONVEVEN"};

bool EndsWith(const std::string& text, const char* end) {
    const std::string e(end);
    return text.size() >= e.size() &&
           QString::fromStdString(text.substr(text.size() - e.size()))
                   .compare(QString::fromStdString(e), Qt::CaseInsensitive) == 0;
}

}  // namespace

GuestListSheetTools::GuestListSheetTools(TfrmPadraoGrid& screen, std::function<ShownList()> shown)
    : QObject(&screen), screen_(screen), shown_(std::move(shown)) {
    setObjectName("sheetTools");
    // The menu items after the import's, the buttons after its button.
    const QList<QAction*> items = screen.mnuManutencao->actions();
    const qsizetype importAt = items.indexOf(screen.mnuImpArq);
    QAction* before = importAt >= 0 && importAt + 1 < items.size() ? items[importAt + 1] : nullptr;
    mnuImpPlanilha = new QAction(QStringLiteral("Importar planilha…"), screen.mnuManutencao);
    mnuImpPlanilha->setObjectName("mnuImpPlanilha");
    mnuExportar = new QAction(QStringLiteral("Exportar…"), screen.mnuManutencao);
    mnuExportar->setObjectName("mnuExportar");
    screen.mnuManutencao->insertAction(before, mnuImpPlanilha);
    screen.mnuManutencao->insertAction(before, mnuExportar);
    sbtImpPlanilha =
        NewButton("sbtImpPlanilha", "Importar planilha…", "x-office-spreadsheet", mnuImpPlanilha);
    sbtImpPlanilha->OnClick = [this](QObject*) { sbtImpPlanilhaClick(); };
    sbtExportar = NewButton("sbtExportar", "Exportar…", "document-save-as", mnuExportar);
    sbtExportar->OnClick = [this](QObject*) { sbtExportarClick(); };
    auto* bar = static_cast<QHBoxLayout*>(screen.panMenu->layout());
    const int at = bar->indexOf(screen.sbtImpArq) + 1;
    bar->insertWidget(at, sbtImpPlanilha);
    bar->insertWidget(at + 1, sbtExportar);
    // Each follows the screen's own rule for its neighbour.
    sbtImpPlanilha->SetEnabled(screen.sbtImpArq->isEnabled());
    sbtExportar->SetEnabled(screen.sbtImprimir->isEnabled());
    importButton_ = screen.sbtImpArq;
    printButton_ = screen.sbtImprimir;
    importButton_->installEventFilter(this);
    printButton_->installEventFilter(this);

    // The find box, over the grid's top right corner: a child of the grid's
    // page, not of the grid, so that the keys the box leaves (Up, Down)
    // never reach the grid's own keys (Down on the last row adds a guest).
    panLocalizar = new QFrame(screen.dbgPadrao->parentWidget());
    panLocalizar->setObjectName("panLocalizar");
    panLocalizar->setFrameShape(QFrame::StyledPanel);
    panLocalizar->setAutoFillBackground(true);
    auto* row = new QHBoxLayout(panLocalizar);
    row->setContentsMargins(6, 3, 6, 3);
    row->addWidget(new QLabel(QStringLiteral("Localizar:"), panLocalizar));
    edtLocalizar = new QLineEdit(panLocalizar);
    edtLocalizar->setObjectName("edtLocalizar");
    edtLocalizar->setPlaceholderText(QStringLiteral("nome, R.G., inscrição ou telefone"));
    edtLocalizar->setMinimumWidth(220);
    row->addWidget(edtLocalizar);
    lblLocalizar = new QLabel(panLocalizar);
    lblLocalizar->setObjectName("lblLocalizar");
    row->addWidget(lblLocalizar);
    panLocalizar->hide();
    edtLocalizar->installEventFilter(this);
    grid_ = screen.dbgPadrao;
    grid_->installEventFilter(this);
    connect(edtLocalizar, &QLineEdit::textEdited, this,
            [this] { Guarded([this] { FindFrom(true, true); }); });

    auto shortcut = [&screen](QKeySequence sequence, std::function<void()> run) {
        auto* s = new QShortcut(sequence, &screen);
        s->setContext(Qt::WidgetWithChildrenShortcut);
        QObject::connect(s, &QShortcut::activated, &screen, [run] { Guarded(run); });
        return s;
    };
    shortcut(QKeySequence::Find, [this] { OpenFind(); });
    shortcut(QKeySequence(Qt::Key_F3), [this] { FindFrom(true, false); });
    shortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { FindFrom(false, false); });
}

TButtonFlat* GuestListSheetTools::NewButton(const char* name, const char* caption, const char* icon,
                                            QAction* item) {
    auto* b = new TButtonFlat(screen_.panMenu);
    b->setObjectName(name);
    b->SetHint(caption);
    b->setIcon(ToolIcon(icon));
    b->setIconSize(QSize(22, 22));
    b->setFixedSize(30, 28);
    b->SetMenuItem(item);
    return b;
}

bool GuestListSheetTools::eventFilter(QObject* watched, QEvent* event) {
    // The watched widgets are told apart by the pointers kept when the
    // filter was installed: the screen's children still get events while the
    // screen itself is being destroyed, when its members are no longer its own.
    if (event->type() == QEvent::EnabledChange) {
        if (watched == importButton_) sbtImpPlanilha->SetEnabled(importButton_->isEnabled());
        if (watched == printButton_) sbtExportar->SetEnabled(printButton_->isEnabled());
    } else if (watched == edtLocalizar && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape) {
            Guarded([this] { CloseFind(); });
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            Guarded([this] { FindFrom(true, false); });
            return true;
        }
    } else if (watched == grid_ && event->type() == QEvent::Resize && panLocalizar->isVisible()) {
        PlaceFindBox();
    }
    return QObject::eventFilter(watched, event);
}

void GuestListSheetTools::sbtImpPlanilhaClick() {
    corvana::services::WaitCursorScope wait;
    auto* wizard = CreateForm<TfrmImportaPlanilha>(shown_());
    wizard->ShowModal();
}

evt::sheet::ExportTable GuestListSheetTools::GridTable(TDBGrid& grid, const std::string& title) {
    evt::sheet::ExportTable table;
    table.title = title;
    const GridModel* model = grid.Model();
    std::vector<const corvana::Field*> fields;
    for (int c = 0; c < model->columnCount(); ++c) {
        const corvana::Field* field = model->FieldAt(c);
        if (!field) continue;
        const corvana::FieldType type = field->DataType();
        table.columns.push_back(
            {model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString().toStdString(),
             type == corvana::FieldType::Float || type == corvana::FieldType::Integer});
        fields.push_back(field);
    }
    const corvana::ClientDataSet* ds = model->DataSet();
    const int rows = ds && model->IsActive() ? ds->RecordCount() : 0;
    table.rows.reserve(static_cast<std::size_t>(rows));
    for (int r = 0; r < rows; ++r) {
        std::vector<std::string> cells;
        cells.reserve(fields.size());
        for (const corvana::Field* field : fields) cells.push_back(field->DisplayTextAt(r));
        table.rows.push_back(std::move(cells));
    }
    return table;
}

void GuestListSheetTools::sbtExportarClick() {
    const ShownList keys = shown_();
    const std::string name = keys.branch + "-" + keys.budget + "-" + keys.sequence;
    const std::optional<std::string> chosen = corvana::services::SaveFileDialog().Execute(
        "Planilha XLSX (*.xlsx)|*.xlsx|CSV separado por ponto e vírgula (*.csv)|*.csv",
        "convidados-" + name + ".xlsx");
    if (!chosen) return;
    std::string path = *chosen;
    const bool csv = EndsWith(path, ".csv");
    if (!csv && !EndsWith(path, ".xlsx")) path += ".xlsx";
    evt::sheet::ExportTable table;
    try {
        corvana::services::WaitCursorScope wait;
        table = GridTable(*screen_.dbgPadrao, "Convidados " + name);
        if (csv)
            evt::sheet::WriteCsv(path, table);
        else
            evt::sheet::WriteXlsx(path, table);
    } catch (const corvana::Error& e) {
        Consiste::MensErro(e.what(), true);
    }
    const std::size_t n = table.rows.size();
    corvana::services::Dialogs().ShowInformation("Lista exportada para \"" + path + "\" (" +
                                                 std::to_string(n) +
                                                 (n == 1 ? " convidado)." : " convidados)."));
}

void GuestListSheetTools::PlaceFindBox() {
    panLocalizar->adjustSize();
    const QRect grid = screen_.dbgPadrao->geometry();
    panLocalizar->move(std::max(grid.left(), grid.right() - panLocalizar->width() - 24),
                       grid.top() + 2);
}

void GuestListSheetTools::OpenFind() {
    PlaceFindBox();
    panLocalizar->show();
    panLocalizar->raise();
    lblLocalizar->clear();
    edtLocalizar->setFocus();
    edtLocalizar->selectAll();
}

void GuestListSheetTools::CloseFind() {
    panLocalizar->hide();
    if (screen_.dbgPadrao->CanFocus()) screen_.dbgPadrao->SetFocus();
}

bool GuestListSheetTools::FindFrom(bool forward, bool includeCurrent) {
    const evt::sheet::GuestFindQuery query(edtLocalizar->text().toStdString());
    corvana::ClientDataSet* ds = screen_.dtsPadrao.DataSet();
    if (query.Empty() || !ds || !ds->Active() || ds->IsEmpty()) {
        lblLocalizar->clear();
        return false;
    }
    const corvana::Field& name = ds->FieldByName("NMLISTACONVOREV");
    std::vector<const corvana::Field*> documents;
    for (const char* f : kDocumentFields) documents.push_back(&ds->FieldByName(f));
    const int count = ds->RecordCount();
    const int current = std::max(0, ds->RecNo() - 1);
    std::vector<std::string> texts(documents.size());
    for (int step = includeCurrent ? 0 : 1; step <= count; ++step) {
        const int row = ((forward ? current + step : current - step) % count + count) % count;
        for (std::size_t d = 0; d < documents.size(); ++d)
            texts[d] = documents[d]->ValueAt(row).toString();
        if (!query.Matches(name.ValueAt(row).toString(), texts)) continue;
        lblLocalizar->clear();
        if (row != current) ds->SetRecNo(row + 1);
        return true;
    }
    lblLocalizar->setText(QStringLiteral("não encontrado"));
    return false;
}
