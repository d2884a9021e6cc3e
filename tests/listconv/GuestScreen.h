#pragma once
// The guest list screen on a loaded list, for the tests of saving, of the
// checks and of the client lookup: the real server with every call and its
// arguments recorded (and, where a test needs an answer the real server never
// gives, one method's answer replaced), the user's moves with real focus,
// keys and clicks, and the database read back afterwards.
#include <QApplication>
#include <QTest>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ListConvFixture.h"
#include "RemoteDataModule.h"
#include "corvana/data/DataPacket.h"
#include "corvana/data/Field.h"
#include "corvana/net/TNetConnection.h"
#include "guestrecord/GuestRecord.h"
#include "storage/Database.h"

// The real module behind a tap that records each call with its arguments.
// A hook may answer a method instead of the module (or do something first
// and let the module answer, by returning nothing). Calls arrive on the
// server's worker threads.
class GuestServerTap : public evt::server::RemoteDataModule {
public:
    using Args = std::vector<corvana::Variant>;
    using Hook = std::function<std::optional<corvana::Variant>(const Args&)>;
    struct Recorded {
        std::string method;
        Args args;
    };

    explicit GuestServerTap(std::shared_ptr<evt::server::RemoteDataModule> inner)
        : inner_(std::move(inner)) {}

    std::string Name() const override { return inner_->Name(); }
    std::vector<std::string> Methods() const override { return inner_->Methods(); }
    corvana::Variant Call(const std::string& method, const Args& args) override {
        Hook hook;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            // As values, as the tests read them (the server's reading packs them).
            Args recorded = args;
            for (corvana::Variant& arg : recorded)
                if (arg.isPacket() && arg.asPacket().isPacked())
                    arg = corvana::Variant(arg.asPacket().unpacked());
            calls_.push_back({method, std::move(recorded)});
            auto it = hooks_.find(method);
            if (it != hooks_.end()) hook = it->second;
        }
        if (hook) {
            if (auto answer = hook(args)) return *answer;
        }
        return inner_->Call(method, args);
    }

    void SetHook(const std::string& method, Hook hook) {
        std::lock_guard<std::mutex> lock(mutex_);
        hooks_[method] = std::move(hook);
    }
    // The methods called, in order.
    std::vector<std::string> CallNames() const {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::string> names;
        for (const auto& c : calls_) names.push_back(c.method);
        return names;
    }
    // The arguments of every call of one method, in order.
    std::vector<Args> ArgsOf(const std::string& method) const {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<Args> found;
        for (const auto& c : calls_)
            if (c.method == method) found.push_back(c.args);
        return found;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.clear();
    }

private:
    std::shared_ptr<evt::server::RemoteDataModule> inner_;
    mutable std::mutex mutex_;
    std::vector<Recorded> calls_;
    std::map<std::string, Hook> hooks_;
};

class GuestScreen : public ListConvFixture {
protected:
    using Row = std::map<std::string, std::optional<std::string>>;

    // An ordinary budget of the demo data: its sequence "01" lists a few
    // dozen guests, none with an inscription.
    static constexpr const char* kBudget = "0000001001";

    // The server records every call through the tap.
    std::shared_ptr<evt::server::RemoteDataModule> ServerModule() override {
        if (!tap) tap = std::make_shared<GuestServerTap>(ListConvFixture::ServerModule());
        return tap;
    }
    // The server comes back on the port the screen knows.
    void RestartServer() { StartServer(); }

    // Opens the screen on branch 0001 and leaves the filter panel for the
    // grid, which loads the list as a user does.
    TfrmListConv* OpenList(const std::string& budget, const std::string& seq = "01") {
        f = Launch(Values({"0001", "Matriz", budget, seq}));
        if (!f) return nullptr;
        FocusOn(f->dbgPadrao);
        tap->Clear();
        services.busy.Clear();
        return f;
    }

    void FocusOn(QWidget* w) {
        w->setFocus(Qt::OtherFocusReason);
        Settle();
    }
    QWidget* Focused() const { return QApplication::focusWidget(); }

    // A click on a tool bar button (which takes no focus), as the user's.
    void Click(QWidget* button) {
        QTest::mouseClick(button, Qt::LeftButton);
        Settle();
    }
    // A click on a cell of the current row: the grid moves there as for the
    // user (leaving a column raises its exit).
    void ClickColumn(const char* field) {
        const int column = f->dbgPadrao->Model()->ViewColumnOf(&F(field));
        const int row = f->dbgPadrao->Model()->CurrentRow();
        ASSERT_GE(column, 0) << field;
        const QModelIndex index = f->dbgPadrao->Model()->index(row, column);
        f->dbgPadrao->scrollTo(index);
        const QRect cell = f->dbgPadrao->visualRect(index);
        QTest::mouseClick(f->dbgPadrao->viewport(), Qt::LeftButton, {}, cell.center());
        Settle();
    }
    // Types into whatever has the focus, key by key.
    void Type(const QString& text) {
        for (QChar c : text) {
            QWidget* target = QApplication::focusWidget();
            if (c.unicode() < 0x80) {
                QTest::keyClicks(target, QString(c));
            } else {
                // Qt's key codes of the Latin-1 letters are their upper-case
                // code points; the text carries the letter typed.
                QTest::sendKeyEvent(QTest::Click, target,
                                    static_cast<Qt::Key>(c.toUpper().unicode()), QString(c),
                                    Qt::NoModifier);
            }
        }
        Settle();
    }
    void Press(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), key, mods);
        Settle();
    }
    // The guest of the list named `name` becomes the current row (the grid
    // follows the cursor).
    void GoTo(const std::string& name) {
        ASSERT_TRUE(f->cdsConvOrceve.Locate("NMLISTACONVOREV", name)) << name;
        Settle();
    }
    // Replaces the text of the cell the grid stands on, whether its editor
    // is open (with earlier typing) or not.
    void Retype(const QString& text) {
        if (f->dbgPadrao->CellEditor()) Press(Qt::Key_A, Qt::ControlModifier);
        Type(text);
    }
    // Clicks a cell of the current row and types into it.
    void TypeIn(const char* field, const QString& text) {
        ClickColumn(field);
        Type(text);
    }
    // Inserts a row with the tool bar (the grid then stands in the
    // inscription column).
    void InsertRow() { Click(f->sbtIncluir); }
    void Confirm() { Click(f->sbtConfirmar); }

    std::string Selected() const {
        const corvana::Field* field = f->dbgPadrao->SelectedField();
        return field ? field->Name() : std::string();
    }
    corvana::Field& F(const char* name) const { return f->cdsConvOrceve.FieldByName(name); }
    std::string S(const char* name) const { return F(name).AsString(); }
    std::vector<std::string> CallNames() const { return tap->CallNames(); }

    // --- the database, as another program reads and writes it (Sql) ---------
    // The first `columns` columns of the first row of a query (nothing when
    // it has no row).
    template <typename... A>
    std::vector<std::optional<std::string>> SqlRow(int columns, const char* sql,
                                                   const A&... values) {
        auto conn = db->Acquire();
        auto st = conn->Prepare(sql);
        st->BindAll(values...);
        std::vector<std::optional<std::string>> row;
        if (!st->Step()) return row;
        for (int c = 0; c < columns; ++c) row.push_back(st->OptText(c));
        return row;
    }
    template <typename... A>
    long long Count(const char* sql, const A&... values) {
        auto conn = db->Acquire();
        auto st = conn->Prepare(sql);
        st->BindAll(values...);
        return st->Step() ? st->Int(0) : -1;
    }

    // The stored guests of the list (branch 0001, sequence "01") named
    // `name` exactly.
    long long GuestsNamed(const std::string& name, const char* budget = kBudget) {
        return Count(
            "SELECT COUNT(*) FROM LISTACONVOREV WHERE CDFILIAL = '0001' AND NRORCAEVENTO = ? "
            "AND NRSEQORCAEVE = '01' AND NMLISTACONVOREV = ?",
            budget, name);
    }
    // A stored guest's place and stored texts by name (empty when there is
    // none).
    Row StoredGuest(const std::string& name, const char* budget = kBudget) {
        std::vector<std::string> columns;
        for (const evt::guestrecord::Field& field : evt::guestrecord::kFields) {
            if (field.origin != evt::guestrecord::Origin::Client &&
                field.type == corvana::FieldType::String)
                columns.emplace_back(field.name);
        }
        std::string sql = "SELECT ";
        for (std::size_t i = 0; i < columns.size(); ++i) sql += (i ? ", " : "") + columns[i];
        sql +=
            " FROM LISTACONVOREV WHERE CDFILIAL = '0001' AND NRORCAEVENTO = ? AND "
            "NRSEQORCAEVE = '01' AND NMLISTACONVOREV = ?";
        auto conn = db->Acquire();
        auto st = conn->Prepare(sql);
        st->BindAll(budget, name);
        Row row;
        if (!st->Step()) return row;
        for (std::size_t i = 0; i < columns.size(); ++i)
            row[columns[i]] = st->OptText(static_cast<int>(i));
        return row;
    }

    struct Client {
        std::string code, inscription, name;
    };
    // A client of the demo data with at least `addresses` address records,
    // whose trade name no guest of the ordinary list bears.
    Client ClientWithAddresses(int addresses, int skip = 0) {
        auto row =
            SqlRow(3,
                   "SELECT c.CDCLIENTE, c.NRINSJURCLIE, c.NMFANTCLIE FROM CLIENTE c WHERE "
                   "c.IDTPIJURCLIE = 'F' "
                   "AND (SELECT COUNT(*) FROM ENDECLIE e WHERE e.CDCLIENTE = c.CDCLIENTE) >= ? "
                   "AND NOT EXISTS (SELECT 1 FROM LISTACONVOREV l WHERE l.NRORCAEVENTO = ? "
                   "AND l.NMLISTACONVOREV = c.NMFANTCLIE COLLATE NOCASE) ORDER BY c.CDCLIENTE "
                   "LIMIT 1 OFFSET ?",
                   addresses, kBudget, skip);
        if (row.size() < 3) return {};
        return {*row[0], *row[1], *row[2]};
    }
    // The client's first address record as the server delivers them:
    // telephone, mobile, e-mail.
    std::vector<std::string> FirstContacts(const std::string& code) {
        auto row =
            SqlRow(3,
                   "SELECT NRTELECLIE, NRCELULARCLI, DSEMAILCLIE FROM ENDECLIE WHERE CDCLIENTE = ? "
                   "ORDER BY ORDEM LIMIT 1",
                   code);
        std::vector<std::string> out;
        for (auto& v : row) out.push_back(v.value_or(""));
        return out;
    }
    // A client of our own, with the address records given (ORDEM, type,
    // telephone, mobile, e-mail), inserted in that order.
    struct Address {
        int ordem;
        const char* type;
        const char* tel;
        const char* cel;
        const char* email;
    };
    Client AddClient(const char* code, const char* inscription, const char* name,
                     std::vector<Address> addresses) {
        Sql("INSERT INTO CLIENTE (CDCLIENTE, NRINSJURCLIE, IDTPIJURCLIE, NMFANTCLIE) VALUES (?, ?, "
            "'F', ?)",
            code, inscription, name);
        for (const Address& a : addresses)
            Sql("INSERT INTO ENDECLIE (CDCLIENTE, ORDEM, IDTPENDECLIE, NRTELECLIE, DSEMAILCLIE, "
                "NRCELULARCLI) "
                "VALUES (?, ?, ?, ?, ?, ?)",
                code, a.ordem, a.type, a.tel, a.email, a.cel);
        return {code, inscription, name};
    }

    // Another user adds a guest to the ordinary list through a connection of
    // its own, as another screen would: the list's packet, one appended row,
    // its delta. Answers the server's answer.
    static corvana::Variant AddAsAnotherUser(int serverPort,
                                             const std::map<std::string, std::string>& values,
                                             const char* budget = kBudget) {
        corvana::TNetConnection other("evt07800.rdmListConv");
        other.SetHost("127.0.0.1");
        other.SetPort(serverPort);
        corvana::ClientDataSet list;
        list.SetData(other.Call("GetConvOrceve", {"0001", budget, "01"}));
        list.Append();
        list.FieldByName("CDFILIAL").SetValue("0001");
        list.FieldByName("NRORCAEVENTO").SetValue(budget);
        list.FieldByName("NRSEQORCAEVE").SetValue("01");
        for (const auto& [field, value] : values) list.FieldByName(field).SetValue(value);
        list.Post();
        return other.Call("SetConvOrceve", {corvana::Variant(list.Delta())});
    }

    std::shared_ptr<GuestServerTap> tap;
    TfrmListConv* f = nullptr;
};
