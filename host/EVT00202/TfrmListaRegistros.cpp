#include "TfrmListaRegistros.h"

#include <QHBoxLayout>
#include <QSaveFile>
#include <QVBoxLayout>

#include "corvana/core/Services.h"
#include "corvana/data/Error.h"
#include "corvana/data/Field.h"
#include "sheet/SheetWriter.h"

using namespace corvana::ui;

namespace {

std::string CountText(int rows) {
    if (rows == 0) return "Nenhum registro";
    return std::to_string(rows) + (rows == 1 ? " registro" : " registros");
}

// The grid's columns are the dataset's visible fields; the one of the
// longest text (the guest's name, in the import's list) stretches over the
// width the others leave, so that the columns fill the grid.
void StretchLongestText(TDBGrid& grid) {
    const GridModel* model = grid.Model();
    std::vector<TColumn> columns;
    std::size_t longest = 0;
    int size = 0;
    for (int c = 0; c < model->columnCount(); ++c) {
        const corvana::Field* field = model->FieldAt(c);
        if (!field) continue;
        if (field->DataType() == corvana::FieldType::String && field->Size() > size) {
            longest = columns.size();
            size = field->Size();
        }
        columns.push_back({.FieldName = field->Name()});
    }
    if (size == 0) return;
    columns[longest].Stretch = 1;
    grid.SetColumns(std::move(columns));
}

void AppendCsvValue(std::string& out, const std::string& value) {
    if (value.find_first_of(",\"\r\n") == std::string::npos) {
        out += value;
        return;
    }
    out += '"';
    for (const char c : value) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

}  // namespace

TfrmListaRegistros::TfrmListaRegistros(corvana::ClientDataSet* dataSet,
                                       const std::string& heading) {
    setObjectName("frmListaRegistros");
    SetCaption("Lista de Registros");
    SetBorderStyle(TFormBorderStyle::bsDialog);
    lblCodTela->SetCaption("EVT00202");

    auto* body = new QVBoxLayout();
    body->setContentsMargins(8, 8, 8, 4);
    body->setSpacing(6);
    MainLayout()->addLayout(body, 1);

    lblTitulo = new TLabel(heading, this);
    lblTitulo->setObjectName("lblTitulo");
    lblTitulo->setWordWrap(true);
    QFont bold = lblTitulo->font();
    bold.setBold(true);
    lblTitulo->setFont(bold);
    body->addWidget(lblTitulo);

    dtsPadrao.SetDataSet(dataSet);
    dbgPadrao = new TDBGrid(this);
    dbgPadrao->setObjectName("dbgPadrao");
    dbgPadrao->SetReadOnly(true);
    dbgPadrao->SetDataSource(&dtsPadrao);
    StretchLongestText(*dbgPadrao);
    body->addWidget(dbgPadrao, 1);

    auto* bottom = new QHBoxLayout();
    lblQtde = new TLabel(CountText(dataSet ? dataSet->RecordCount() : 0), this);
    lblQtde->setObjectName("lblQtde");
    bottom->addWidget(lblQtde, 1);
    sbtSalvar = NewFlatButton(this, "sbtSalvar", "Salvar a lista em um arquivo CSV ou XLSX",
                              "document-save");
    sbtSalvar->SetCaption("Salvar CSV...");
    sbtSalvar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    sbtSalvar->OnClick = [this](QObject* sender) { sbtSalvarClick(sender); };
    bottom->addWidget(sbtSalvar);
    sbtFechar = NewFlatButton(this, "sbtFechar", "Fechar", "system-log-out");
    sbtFechar->SetCaption("Fechar");
    sbtFechar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    sbtFechar->OnClick = [this](QObject*) { Close(); };
    bottom->addWidget(sbtFechar);
    body->addLayout(bottom);
    AddScreenCodeRow();

    resize(620, 400);
}

TfrmListaRegistros::~TfrmListaRegistros() {
    dbgPadrao->SetDataSource(nullptr);
    dtsPadrao.SetDataSet(nullptr);
}

std::string TfrmListaRegistros::CsvText(const corvana::ClientDataSet& dataSet) {
    std::vector<const corvana::Field*> fields;
    for (const corvana::Field* field : dataSet.Fields())
        if (field->Visible()) fields.push_back(field);
    std::string out = "\xEF\xBB\xBF";
    auto line = [&](auto&& valueOf) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i) out += ',';
            AppendCsvValue(out, valueOf(*fields[i]));
        }
        out += "\r\n";
    };
    line([](const corvana::Field& f) { return f.DisplayLabel(); });
    for (int row = 0; row < dataSet.RecordCount(); ++row)
        line([row](const corvana::Field& f) { return f.DisplayTextAt(row); });
    return out;
}

void TfrmListaRegistros::sbtSalvarClick(QObject*) {
    const corvana::ClientDataSet* dataSet = dtsPadrao.DataSet();
    if (!dataSet) return;
    const std::optional<std::string> chosen = corvana::services::SaveFileDialog().Execute(
        "Arquivos CSV (*.csv)|*.csv|Planilha XLSX (*.xlsx)|*.xlsx", "registros.csv");
    if (!chosen) return;
    if (QString::fromStdString(*chosen).endsWith(".xlsx", Qt::CaseInsensitive)) {
        // The same rows as a workbook: the visible fields under their labels.
        evt::sheet::ExportTable table;
        table.title = "Registros";
        std::vector<const corvana::Field*> fields;
        for (const corvana::Field* field : dataSet->Fields()) {
            if (!field->Visible()) continue;
            fields.push_back(field);
            const corvana::FieldType type = field->DataType();
            table.columns.push_back(
                {field->DisplayLabel(),
                 type == corvana::FieldType::Float || type == corvana::FieldType::Integer});
        }
        for (int row = 0; row < dataSet->RecordCount(); ++row) {
            std::vector<std::string> cells;
            for (const corvana::Field* field : fields) cells.push_back(field->DisplayTextAt(row));
            table.rows.push_back(std::move(cells));
        }
        evt::sheet::WriteXlsx(*chosen, table);
        corvana::services::Dialogs().ShowInformation("Lista gravada em \"" + *chosen + "\".");
        return;
    }
    const std::string text = CsvText(*dataSet);
    QSaveFile file(QString::fromStdString(*chosen));
    const bool written = file.open(QIODevice::WriteOnly) &&
                         file.write(text.data(), static_cast<qint64>(text.size())) ==
                             static_cast<qint64>(text.size()) &&
                         file.commit();
    if (!written)
        throw corvana::Error("Não foi possível gravar o arquivo \"" + *chosen +
                             "\": " + file.errorString().toStdString() + ".");
    corvana::services::Dialogs().ShowInformation("Lista gravada em \"" + *chosen + "\".");
}
