#pragma once
// The import screen over the guest list screen of a loaded list, against the
// real server with every call recorded; the files it reads written to the
// test's folder; the host's record-list window (EVT00202, a package of its
// own) read and closed when it opens.
#include <QAbstractItemModel>
#include <QLabel>
#include <QPointer>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <fstream>
#include <functional>
#include <utility>

#include "import/Cli_evt07802.h"
#include "listconv/GuestScreen.h"

class ImportScreen : public GuestScreen {
protected:
    using Guests = std::vector<std::pair<std::string, std::string>>;  // name, R.G.

    void CloseScreens() override {
        if (imp) {
            imp->Close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        GuestScreen::CloseScreens();
    }

    // The guest list on a budget sequence, loaded as a user loads it, and the
    // import window beside it (handlers are run by clicks, not modally).
    TfrmListaImpArq* OpenImport(const char* budget = kBudget, const char* seq = "01") {
        if (!OpenList(budget, seq)) return nullptr;
        imp = corvana::ui::CreateForm<TfrmListaImpArq>(f->Shown());
        imp->show();
        Settle();
        tap->Clear();
        return imp;
    }

    std::string WriteFile(const std::string& name, const std::string& bytes) {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    // Types the name and presses Importar.
    void Import(const std::string& path) {
        imp->edtImpArq->SetText(path);
        Click(imp->sbtImpArq);
    }

    int ImportCalls() const { return static_cast<int>(tap->ArgsOf("GetImpLista").size()); }

    // The guests of a list as stored, in list-number order; an empty R.G. is
    // stored as the placeholder "*".
    Guests StoredGuests(const char* budget, const char* seq) {
        auto conn = db->Acquire();
        auto st = conn->Prepare(
            "SELECT NMLISTACONVOREV, NRRGLISTAOREV FROM LISTACONVOREV WHERE CDFILIAL = '0001' "
            "AND NRORCAEVENTO = ? AND NRSEQORCAEVE = ? ORDER BY NRLISTACONVOREV");
        st->BindAll(budget, seq);
        Guests guests;
        while (st->Step()) guests.emplace_back(st->Text(0), st->Text(1));
        return guests;
    }

    // What the host's record-list window showed.
    struct RecordList {
        std::string caption, heading, count;
        std::vector<std::string> titles;
        std::vector<std::vector<std::string>> rows;
    };

    // Runs `action`; each record-list window it opens is read, `inside`
    // runs on it, and it is closed.
    std::vector<RecordList> RecordListsOpenedBy(const std::function<void()>& action,
                                                const std::function<void(QWidget&)>& inside = {}) {
        std::vector<RecordList> shown;
        QTimer watch;
        watch.setInterval(10);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || modal->objectName() != "frmListaRegistros" || !modal->isVisible()) return;
            RecordList list;
            list.caption = modal->windowTitle().toStdString();
            list.heading = modal->findChild<QLabel*>("lblTitulo")->text().toStdString();
            list.count = modal->findChild<QLabel*>("lblQtde")->text().toStdString();
            const QAbstractItemModel* model = modal->findChild<QTableView*>("dbgPadrao")->model();
            for (int c = 0; c < model->columnCount(); ++c)
                list.titles.push_back(
                    model->headerData(c, Qt::Horizontal).toString().toStdString());
            for (int r = 0; r < model->rowCount(); ++r) {
                std::vector<std::string> row;
                for (int c = 0; c < model->columnCount(); ++c)
                    row.push_back(model->index(r, c).data().toString().toStdString());
                list.rows.push_back(std::move(row));
            }
            shown.push_back(std::move(list));
            if (inside) inside(*modal);
            modal->close();
        });
        watch.start();
        action();
        watch.stop();
        return shown;
    }

    QPointer<TfrmListaImpArq> imp;
};
