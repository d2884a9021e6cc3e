#include "reception/TfrmRecepcao.h"

#include <QCheckBox>
#include <QFont>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPixmap>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "corvana/core/Consiste.h"
#include "corvana/core/Corvana.h"
#include "corvana/core/Services.h"
#include "corvana/data/DataPacket.h"
#include "corvana/data/DateTime.h"
#include "corvana/data/Error.h"
#include "corvana/data/Text.h"
#include "corvana/ui/Application.h"
#include "corvana/ui/Guard.h"
#include "reception/QrCode.h"

using namespace corvana::ui;
namespace services = corvana::services;

namespace {

constexpr std::size_t kNameMax = 30;
// The QR image's side, about, in pixels.
constexpr int kQrSide = 200;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// A packet's cell by column name; null when the column is missing.
corvana::Variant Cell(const corvana::DataPacket& packet, const corvana::Row& row,
                      const char* name) {
    const int at = packet.fieldIndex(name);
    return at < 0 ? corvana::Variant() : row[static_cast<std::size_t>(at)];
}

std::string Number(const corvana::Variant& v) {
    return v.isNull() ? "0" : std::to_string(v.toInt());
}

// A time as the window shows it, "08/12/2026 20:41"; "—" for none.
std::string When(const corvana::Variant& v) {
    if (v.isNull()) return "—";
    if (v.kind() == corvana::Variant::Kind::DateTime) {
        const corvana::DateTime& d = v.asDateTime();
        char text[32];
        std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d", d.day, d.month, d.year, d.hour,
                      d.minute);
        return text;
    }
    const std::string text = v.toString();
    if (text.empty()) return "—";
    // An ISO time, with or without its offset: the time as written.
    if (const auto d =
            corvana::DateTime::fromIso(text.substr(0, std::min<std::size_t>(19, text.size()))))
        return When(corvana::Variant(*d));
    return text;
}

std::string Situation(const std::string& code) {
    if (code == "P") return "Pendente";
    if (code == "A") return "Ativa";
    if (code == "R") return "Revogada";
    return code;
}

corvana::DataPacket PacketOf(const corvana::Variant& answer, const char* method) {
    if (!answer.isPacket())
        throw corvana::Error(std::string("Resposta inesperada do servidor a ") + method + ".");
    const corvana::DataPacket& packet = answer.asPacket();
    return packet.isPacked() ? packet.unpacked() : packet;
}

QTableWidget* NewTable(QWidget* parent, const char* name, const QStringList& titles) {
    auto* table = new QTableWidget(0, static_cast<int>(titles.size()), parent);
    table->setObjectName(name);
    table->setHorizontalHeaderLabels(titles);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->verticalHeader()->setVisible(false);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

void SetRow(QTableWidget* table, int row, const std::vector<std::string>& cells,
            const std::vector<int>& right = {}) {
    for (std::size_t c = 0; c < cells.size(); ++c) {
        auto* item = new QTableWidgetItem(Q(cells[c]));
        if (std::find(right.begin(), right.end(), static_cast<int>(c)) != right.end())
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table->setItem(row, static_cast<int>(c), item);
    }
}

bool IsLoopback(const std::string& host) {
    return host == "localhost" || host.starts_with("127.") || host == "[::1]" || host == "::1";
}

}  // namespace

TfrmRecepcao::TfrmRecepcao(ShownList shown) : list(std::move(shown)) {
    setObjectName("frmRecepcao");
    SetCaption("Recepção");
    lblCodTela->SetCaption("EVT07800");
    SetFormStyle(TFormStyle::fsNormal);

    msgPadrao.SetLines({
        "Desabilitar|Desabilitar a recepção desta lista? As estações deixam de ser atendidas até "
        "que ela seja habilitada de novo.",
        "Revogar|Revogar a estação \"%s\"? Ela perde o acesso à lista e só volta com um novo "
        "código.",
        "Sem_Estacao|Escolha na lista a estação a revogar.",
        "Resposta|Resposta inesperada do servidor ao cadastrar a estação.",
    });

    // The list, whether reception is on, the counts.
    std::string keys = "Filial " + list.branch;
    if (!list.branchName.empty()) keys += " " + list.branchName;
    keys += " · orçamento " + list.budget + " · sequência " + list.sequence;
    lblLista = new QLabel(Q(keys), this);
    lblLista->setObjectName("lblLista");
    QFont bold = lblLista->font();
    bold.setBold(true);
    lblLista->setFont(bold);
    MainLayout()->addWidget(lblLista);
    chkHabilitada = new QCheckBox(QStringLiteral("Recepção habilitada"), this);
    chkHabilitada->setObjectName("chkHabilitada");
    chkHabilitada->setToolTip(
        QStringLiteral("Com a recepção habilitada, as estações cadastradas registram as "
                       "entradas dos convidados desta lista"));
    GuardedConnect(chkHabilitada, &QCheckBox::clicked, this,
                   [this](bool checked) { chkHabilitadaClick(checked); });
    MainLayout()->addWidget(chkHabilitada, 0, Qt::AlignLeft);
    auto* counts = new QHBoxLayout();
    counts->setSpacing(24);
    auto count = [this, counts](const char* name) {
        auto* label = new QLabel(this);
        label->setObjectName(name);
        counts->addWidget(label);
        return label;
    };
    lblConvidados = count("lblConvidados");
    lblPessoas = count("lblPessoas");
    lblChegaram = count("lblChegaram");
    lblFaltam = count("lblFaltam");
    counts->addStretch(1);
    MainLayout()->addLayout(counts);

    // The stations, and the code of the one enrolled last beside them.
    pgcRecepcao = new QTabWidget(this);
    pgcRecepcao->setObjectName("pgcRecepcao");
    auto* stations = new QWidget();
    stations->setObjectName("tabEstacoes");
    auto* stationsBox = new QHBoxLayout(stations);
    auto* gridBox = new QVBoxLayout();
    tblEstacoes = NewTable(stations, "tblEstacoes",
                           {"Estação", "Situação", "Criada em", "Último acesso", "Chegaram"});
    gridBox->addWidget(tblEstacoes, 1);
    auto* stationButtons = new QHBoxLayout();
    auto button = [this](QWidget* parent, QHBoxLayout* row, const char* name, const char* caption,
                         const char* hint, const char* icon) {
        TButtonFlat* b = NewFlatButton(parent, name, hint, icon);
        b->SetCaption(caption);
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        row->addWidget(b);
        return b;
    };
    sbtNovaEstacao =
        button(stations, stationButtons, "sbtNovaEstacao", "Nova estação…",
               "Cadastrar uma estação e mostrar o seu código de uso único", "list-add");
    sbtNovaEstacao->OnClick = [this](QObject*) { sbtNovaEstacaoClick(); };
    sbtRevogar = button(stations, stationButtons, "sbtRevogar", "Revogar",
                        "Tirar o acesso da estação escolhida", "edit-delete");
    sbtRevogar->OnClick = [this](QObject*) { sbtRevogarClick(); };
    stationButtons->addStretch(1);
    gridBox->addLayout(stationButtons);
    stationsBox->addLayout(gridBox, 1);

    panCodigo = new QFrame(stations);
    panCodigo->setObjectName("panCodigo");
    panCodigo->setFrameShape(QFrame::StyledPanel);
    auto* codeBox = new QVBoxLayout(panCodigo);
    lblNovaEstacao = new QLabel(panCodigo);
    lblNovaEstacao->setObjectName("lblNovaEstacao");
    lblNovaEstacao->setWordWrap(true);
    codeBox->addWidget(lblNovaEstacao);
    lblCodigo = new QLabel(panCodigo);
    lblCodigo->setObjectName("lblCodigo");
    QFont big = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    lblCodigo->setFont(big);
    lblCodigo->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblCodigo->setAlignment(Qt::AlignCenter);
    codeBox->addWidget(lblCodigo);
    lblQr = new QLabel(panCodigo);
    lblQr->setObjectName("lblQr");
    lblQr->setAlignment(Qt::AlignCenter);
    codeBox->addWidget(lblQr);
    edtEndereco = new QLineEdit(panCodigo);
    edtEndereco->setObjectName("edtEndereco");
    edtEndereco->setReadOnly(true);
    codeBox->addWidget(edtEndereco);
    auto* help = new QLabel(
        QStringLiteral("Abra o endereço no navegador do tablet ou leia o código QR com a câmera. "
                       "O código vale uma vez, por 24 horas, e não será mostrado de novo."),
        panCodigo);
    help->setWordWrap(true);
    codeBox->addWidget(help);
    lblAviso = new QLabel(panCodigo);
    lblAviso->setObjectName("lblAviso");
    lblAviso->setWordWrap(true);
    QPalette warning = lblAviso->palette();
    warning.setColor(QPalette::WindowText, QColor(160, 60, 0));
    lblAviso->setPalette(warning);
    codeBox->addWidget(lblAviso);
    codeBox->addStretch(1);
    panCodigo->setFixedWidth(360);
    panCodigo->hide();
    stationsBox->addWidget(panCodigo);
    pgcRecepcao->addTab(stations, QStringLiteral("Estações"));

    // The check-ins made offline that the rules would have refused.
    auto* conflicts = new QWidget();
    conflicts->setObjectName("tabConflitos");
    auto* conflictsBox = new QVBoxLayout(conflicts);
    auto* about = new QLabel(
        QStringLiteral("Entradas feitas sem rede que as regras teriam recusado. Já deixaram "
                       "pessoas entrar, por isso foram registradas; as pessoas contadas para o "
                       "convidado nunca passam da quantidade da lista."),
        conflicts);
    about->setWordWrap(true);
    conflictsBox->addWidget(about);
    tblConflitos = NewTable(conflicts, "tblConflitos",
                            {"Nº", "Convidado", "Estação", "Pessoas", "Na porta em", "Conflito"});
    conflictsBox->addWidget(tblConflitos, 1);
    pgcRecepcao->addTab(conflicts, QStringLiteral("Conflitos"));
    MainLayout()->addWidget(pgcRecepcao, 1);

    auto* bottom = new QHBoxLayout();
    bottom->addStretch(1);
    sbtAtualizar = button(this, bottom, "sbtAtualizar", "Atualizar",
                          "Ler de novo a recepção, as estações e os conflitos", "view-refresh");
    sbtAtualizar->OnClick = [this](QObject*) { Carrega(); };
    sbtFechar = button(this, bottom, "sbtFechar", "Fechar", "Fechar a janela", "system-log-out");
    sbtFechar->OnClick = [this](QObject*) { Close(); };
    MainLayout()->addLayout(bottom);
    AddScreenCodeRow();

    GuardedConnect(tblEstacoes, &QTableWidget::currentCellChanged, this,
                   [this] { UpdateButtons(); });

    netRecepcao.SetServerName("evt07800.rdmRecepcao");
    netRecepcao.SetThrowException(false);
    netRecepcao.BeforeConnect = [](corvana::TNetConnection& c) {
        c.SetHost(Corvana::WebURL());
        c.SetPort(Corvana::WebPort());
    };

    resize(900, 560);
    UpdateButtons();
}

TfrmRecepcao::~TfrmRecepcao() = default;

void TfrmRecepcao::FormCreate() {
    TForm::FormCreate();
    netRecepcao.SetConnected(true);
    Carrega();
}

void TfrmRecepcao::FormClose(QObject* sender, TCloseAction& action) {
    TForm::FormClose(sender, action);
    action = TCloseAction::caFree;
    netRecepcao.SetConnected(false);
}

corvana::Variant TfrmRecepcao::Ask(const char* method, std::vector<corvana::Variant> more,
                                   int busyKind) {
    std::vector<corvana::Variant> args = {list.branch, list.budget, list.sequence};
    for (corvana::Variant& v : more) args.push_back(std::move(v));
    corvana::Variant answer;
    {
        // Gone before any failure is shown.
        services::BusyScope busy(Corvana::MainForm(), busyKind);
        answer = netRecepcao.Call(method, std::move(args));
    }
    return Consiste::CheckResultServ(answer, true, 0);
}

void TfrmRecepcao::Carrega() {
    ShowReception(Ask("GetRecepcao", {}, services::kBusyLoading));
    ShowStations(Ask("GetEstacoes", {}, services::kBusyLoading));
    ShowConflicts(Ask("GetConflitos", {}, services::kBusyLoading));
}

void TfrmRecepcao::ShowReception(const corvana::Variant& answer) {
    const corvana::DataPacket packet = PacketOf(answer, "GetRecepcao");
    if (packet.rows().empty())
        throw corvana::Error("Resposta inesperada do servidor a GetRecepcao.");
    const corvana::Row& row = packet.rows()[0];
    enabled_ = Cell(packet, row, "IDRECEPCAO").toString() == "S";
    chkHabilitada->setChecked(enabled_);
    const std::int64_t guests = Cell(packet, row, "QTCONVIDADOS").toInt();
    const std::int64_t people = Cell(packet, row, "QTPESSOAS").toInt();
    const std::int64_t arrived = Cell(packet, row, "QTCHEGARAM").toInt();
    lblConvidados->setText(Q("Convidados: " + std::to_string(guests)));
    lblPessoas->setText(Q("Pessoas esperadas: " + std::to_string(people)));
    lblChegaram->setText(Q("Chegaram: " + std::to_string(arrived)));
    lblFaltam->setText(Q("Faltam: " + std::to_string(std::max<std::int64_t>(0, people - arrived))));
    UpdateButtons();
}

void TfrmRecepcao::ShowStations(const corvana::Variant& answer) {
    const corvana::DataPacket packet = PacketOf(answer, "GetEstacoes");
    const std::int64_t current =
        tblEstacoes->currentRow() >= 0 &&
                static_cast<std::size_t>(tblEstacoes->currentRow()) < stations_.size()
            ? stations_[static_cast<std::size_t>(tblEstacoes->currentRow())].id
            : 0;
    stations_.clear();
    tblEstacoes->setRowCount(static_cast<int>(packet.rows().size()));
    int keep = -1;
    for (const corvana::Row& row : packet.rows()) {
        Station s{Cell(packet, row, "CDESTACAO").toInt(), Cell(packet, row, "NMESTACAO").toString(),
                  Cell(packet, row, "IDSITUACAO").toString()};
        const int r = static_cast<int>(stations_.size());
        if (s.id == current || s.id == codeStation_) keep = r;
        SetRow(tblEstacoes, r,
               {s.name, Situation(s.situation), When(Cell(packet, row, "DTCRIACAO")),
                When(Cell(packet, row, "DTULTIMOACESSO")), Number(Cell(packet, row, "QTCHEGARAM"))},
               {4});
        stations_.push_back(std::move(s));
    }
    tblEstacoes->resizeColumnsToContents();
    if (keep >= 0) tblEstacoes->setCurrentCell(keep, 0);
    UpdateButtons();
}

void TfrmRecepcao::ShowConflicts(const corvana::Variant& answer) {
    const corvana::DataPacket packet = PacketOf(answer, "GetConflitos");
    tblConflitos->setRowCount(static_cast<int>(packet.rows().size()));
    int r = 0;
    for (const corvana::Row& row : packet.rows())
        SetRow(tblConflitos, r++,
               {Cell(packet, row, "NRLISTACONVOREV").toString(),
                Cell(packet, row, "NMLISTACONVOREV").toString(),
                Cell(packet, row, "NMESTACAO").toString(), Number(Cell(packet, row, "QTPESSOAS")),
                When(Cell(packet, row, "DTENTRADA")), Cell(packet, row, "DSCONFLITO").toString()},
               {3});
    tblConflitos->resizeColumnsToContents();
    const int n = tblConflitos->rowCount();
    pgcRecepcao->setTabText(
        1, n == 0 ? QStringLiteral("Conflitos") : QStringLiteral("Conflitos (%1)").arg(n));
}

void TfrmRecepcao::chkHabilitadaClick(bool checked) {
    // The box shows what the server holds until it says otherwise.
    chkHabilitada->setChecked(enabled_);
    if (!checked && !services::Dialogs().Confirm(msgPadrao.Msg("Desabilitar"))) return;
    Ask("SetRecepcao", {std::string(checked ? "S" : "N")}, services::kBusySaving);
    Carrega();
}

void TfrmRecepcao::sbtNovaEstacaoClick() {
    std::string name, typed;
    for (;;) {
        std::optional<std::string> answer = services::Dialogs().InputQuery(
            "Nova estação", "Nome da estação (por exemplo, Portaria 1):", typed);
        if (!answer) return;
        typed = *answer;
        name = Consiste::AllTrim(typed);
        const std::string problem = NameProblem(name);
        if (problem.empty()) break;
        services::Dialogs().ShowError(problem);
    }
    const corvana::Variant answer = Ask("SetEstacao", {name}, services::kBusySaving);
    if (!answer.isArray() || answer.asArray().size() != 2 || answer[1].toString().empty())
        throw corvana::Error(msgPadrao.Msg("Resposta"));
    codeStation_ = answer[0].toInt();
    ShowCode(name, answer[1].toString());
    Carrega();
}

void TfrmRecepcao::sbtRevogarClick() {
    const int row = tblEstacoes->currentRow();
    if (row < 0 || static_cast<std::size_t>(row) >= stations_.size())
        Consiste::MensErro(msgPadrao.Msg("Sem_Estacao"), true);
    const Station station = stations_[static_cast<std::size_t>(row)];
    std::string question = msgPadrao.Msg("Revogar");
    question.replace(question.find("%s"), 2, station.name);
    if (!services::Dialogs().Confirm(question)) return;
    corvana::Variant answer;
    {
        services::BusyScope busy(Corvana::MainForm(), services::kBusySaving);
        answer = netRecepcao.Call("SetRevogaEstacao", {corvana::Variant(station.id)});
    }
    Consiste::CheckResultServ(answer, true, 0);
    // A revoked station's code is of no use any more.
    if (station.id == codeStation_) HideCode();
    Carrega();
}

void TfrmRecepcao::ShowCode(const std::string& name, const std::string& code) {
    const std::string base = Corvana::ReceptionURL();
    code_ = code;
    address_ = EnrolmentAddress(base, code);
    const evt::reception::QrMatrix matrix = evt::reception::QrEncode(address_);
    const int scale = std::max(2, kQrSide / (matrix.width + 2 * evt::reception::kQuietZone));
    qr_ = evt::reception::QrImage(matrix, scale);
    lblNovaEstacao->setText(Q("Estação \"" + name + "\": código de uso único"));
    lblCodigo->setText(Q(code));
    lblQr->setPixmap(QPixmap::fromImage(qr_));
    edtEndereco->setText(Q(address_));
    edtEndereco->setToolTip(Q(address_));
    edtEndereco->setCursorPosition(0);
    const std::string warning = AddressWarning(base);
    lblAviso->setText(Q(warning));
    lblAviso->setVisible(!warning.empty());
    panCodigo->show();
}

void TfrmRecepcao::HideCode() {
    codeStation_ = 0;
    code_.clear();
    address_.clear();
    qr_ = QImage();
    lblCodigo->clear();
    lblQr->clear();
    edtEndereco->clear();
    panCodigo->hide();
}

void TfrmRecepcao::UpdateButtons() {
    sbtNovaEstacao->SetEnabled(enabled_);
    const int row = tblEstacoes->currentRow();
    sbtRevogar->SetEnabled(row >= 0 && static_cast<std::size_t>(row) < stations_.size() &&
                           stations_[static_cast<std::size_t>(row)].situation != "R");
}

std::string TfrmRecepcao::EnrolmentAddress(const std::string& base, const std::string& code) {
    std::string address = base;
    while (address.ends_with('/')) address.pop_back();
    return address + "/recepcao#codigo=" + code;
}

std::string TfrmRecepcao::NameProblem(const std::string& name) {
    const std::string trimmed = Consiste::AllTrim(name);
    if (trimmed.empty()) return "Informe o nome da estação.";
    if (corvana::utf8Length(trimmed) > kNameMax)
        return "O nome da estação deve ter de 1 a " + std::to_string(kNameMax) + " caracteres.";
    return "";
}

std::string TfrmRecepcao::AddressWarning(const std::string& base) {
    const std::size_t scheme = base.find("://");
    const std::string rest = scheme == std::string::npos ? base : base.substr(scheme + 3);
    std::string host = rest.substr(0, rest.find('/'));
    if (host.starts_with('[')) {
        host = host.substr(0, host.find(']') + 1);
    } else if (const std::size_t colon = host.rfind(':'); colon != std::string::npos) {
        host = host.substr(0, colon);
    }
    if (IsLoopback(host))
        return "O endereço é o deste computador (" + host +
               "): um tablet não o alcança. Informe em ReceptionURL o endereço do servidor na "
               "rede do local.";
    if (!base.starts_with("https://"))
        return "Sem HTTPS, o navegador do tablet não guarda a página para trabalhar sem rede.";
    return "";
}
