#pragma once
#include <QImage>
#include <cstdint>
#include <string>
#include <vector>

#include "corvana/data/Variant.h"
#include "corvana/net/TNetConnection.h"
#include "corvana/ui/TButtonFlat.h"
#include "corvana/ui/TForm.h"
#include "listkey/ShownList.h"

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QTabWidget;
class QTableWidget;

// The organiser's window "Recepção" (docs/reception.md), opened from the
// guest list's menu "Recepção…" on the list the guest list shows (branch,
// budget, sequence): reception at the door enabled or not for the list, its
// counts, its stations (enrolled, revoked) and the check-ins made offline that
// the rules would have refused. Every call goes to the application server's
// module evt07800.rdmRecepcao over the host's connection settings; every
// refusal is the server's, shown as the guest list shows its own.
class TfrmRecepcao : public corvana::ui::TForm {
    Q_OBJECT
public:
    explicit TfrmRecepcao(ShownList list);
    ~TfrmRecepcao() override;

    const ShownList list;

    QLabel* lblLista;
    QCheckBox* chkHabilitada;  // "Recepção habilitada"
    QLabel* lblConvidados;     // the counts, each "<text>: <n>"
    QLabel* lblPessoas;
    QLabel* lblChegaram;
    QLabel* lblFaltam;
    QTabWidget* pgcRecepcao;     // "Estações", "Conflitos (n)"
    QTableWidget* tblEstacoes;   // name, situation, created, last seen, people
    QTableWidget* tblConflitos;  // guest, name, station, people, when, conflict
    QFrame* panCodigo;           // the code of the station enrolled last
    QLabel* lblNovaEstacao;
    QLabel* lblCodigo;
    QLineEdit* edtEndereco;
    QLabel* lblQr;
    QLabel* lblAviso;  // why a tablet may not reach the address, or nothing
    corvana::ui::TButtonFlat* sbtNovaEstacao;
    corvana::ui::TButtonFlat* sbtRevogar;
    corvana::ui::TButtonFlat* sbtAtualizar;
    corvana::ui::TButtonFlat* sbtFechar;

    corvana::TNetConnection netRecepcao;

    void FormCreate() override;
    void FormClose(QObject* sender, corvana::ui::TCloseAction& action) override;

    // Reads the reception, the stations and the conflicts of the list again.
    void Carrega();
    // "S" or "N" for the list, after a confirmation when turning it off; the
    // box shows what the server holds afterwards.
    void chkHabilitadaClick(bool checked);
    // Asks a name (1 to 30 characters; asked again after a refused one, until
    // the user cancels), enrols the station and shows its one-time code,
    // address and QR image.
    void sbtNovaEstacaoClick();
    // Revokes the station of the grid's current row, after a confirmation.
    void sbtRevogarClick();

    // The station of each row of tblEstacoes, and its situation ("P", "A",
    // "R").
    struct Station {
        std::int64_t id = 0;
        std::string name, situation;
    };
    const std::vector<Station>& Stations() const { return stations_; }
    // The code and address shown (empty while none is), and the QR image of
    // the address.
    const std::string& ShownCode() const { return code_; }
    const std::string& ShownAddress() const { return address_; }
    const QImage& QrShown() const { return qr_; }

    // The enrolment address of a code: "<base>/recepcao#codigo=<code>".
    static std::string EnrolmentAddress(const std::string& base, const std::string& code);
    // Why a station's name is refused ("" when it is not): empty, or longer
    // than 30 characters. The name is taken without blanks around it.
    static std::string NameProblem(const std::string& name);
    // Why a tablet may not be able to use an address ("" when nothing is
    // known against it): this computer's own address, or HTTP beyond it.
    static std::string AddressWarning(const std::string& base);

private:
    // `method` with the list's keys and `more` under the busy animation of
    // `busyKind`; a refusal is shown and aborts (Consiste::CheckResultServ).
    corvana::Variant Ask(const char* method, std::vector<corvana::Variant> more, int busyKind);
    void ShowReception(const corvana::Variant& answer);
    void ShowStations(const corvana::Variant& answer);
    void ShowConflicts(const corvana::Variant& answer);
    void ShowCode(const std::string& name, const std::string& code);
    void HideCode();
    void UpdateButtons();

    bool enabled_ = false;  // what the server holds for the list
    std::vector<Station> stations_;
    std::int64_t codeStation_ = 0;  // the station whose code is shown
    std::string code_, address_;
    QImage qr_;
};
