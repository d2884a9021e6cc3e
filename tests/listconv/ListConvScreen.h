#pragma once
// The guest list screen opened on a branch, budget and sequence, with the
// server's calls recorded, and the moves a user makes with real focus and
// keys: leaving the filter panel, typing into the grid.
#include <QApplication>
#include <QTest>
#include <mutex>
#include <string>
#include <vector>

#include "ListConvFixture.h"
#include "RemoteDataModule.h"
#include "corvana/data/Field.h"
#include "storage/Database.h"

// The real module, with the name of every method called, in order.
class RecordingModule : public evt::server::RemoteDataModule {
public:
    explicit RecordingModule(std::shared_ptr<evt::server::RemoteDataModule> inner)
        : inner_(std::move(inner)) {}
    std::string Name() const override { return inner_->Name(); }
    std::vector<std::string> Methods() const override { return inner_->Methods(); }
    corvana::Variant Call(const std::string& method,
                          const std::vector<corvana::Variant>& args) override {
        {
            std::string call = method + "(";
            for (std::size_t i = 0; i < args.size(); ++i)
                call +=
                    (i ? "," : "") + (args[i].isString() ? args[i].asString() : std::string("?"));
            std::lock_guard<std::mutex> lock(mutex_);
            calls_.push_back(method);
            signatures_.push_back(call + ")");
        }
        return inner_->Call(method, args);
    }
    std::vector<std::string> Calls() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    // The calls with their text arguments: "GetOrca(0001,0000001001)".
    std::vector<std::string> Signatures() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return signatures_;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.clear();
        signatures_.clear();
    }

private:
    std::shared_ptr<evt::server::RemoteDataModule> inner_;
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::vector<std::string> signatures_;
};

class ListConvScreen : public ListConvFixture {
protected:
    // An ordinary budget of the demo data, and the two demo lists.
    static constexpr const char* kBudget = "0000001001";
    static constexpr const char* kBigBudget = "0000005000";
    static constexpr const char* kEmptyBudget = "0000005001";

    // The server records every call.
    std::shared_ptr<evt::server::RemoteDataModule> ServerModule() override {
        if (!recorder)
            recorder = std::make_shared<RecordingModule>(ListConvFixture::ServerModule());
        return recorder;
    }

    // Opens the screen on branch 0001 with the budget and sequence given;
    // the focus is then in the branch field, inside the filter panel.
    TfrmListConv* Open(const std::string& budget, const std::string& seq) {
        f = Launch(Values({"0001", "Matriz", budget, seq}));
        return f;
    }

    // Opens the screen and leaves the filter panel for the grid, as a user
    // does to load the list.
    TfrmListConv* OpenList(const std::string& budget, const std::string& seq = "01") {
        Open(budget, seq);
        LeavePanel();
        return f;
    }

    // Real focus moves; the exit and enter events follow from them.
    void FocusOn(QWidget* w) {
        w->setFocus(Qt::OtherFocusReason);
        Settle();
    }
    void LeavePanel() { FocusOn(f->dbgPadrao); }
    // Into the sequence field: leaving it later runs no field check.
    void EnterPanel() { FocusOn(f->listKey.edtSeq); }
    QWidget* Focused() const { return QApplication::focusWidget(); }

    // Types each character into whatever has the focus, as a keyboard does.
    void Type(const QString& keys) {
        for (QChar c : keys) {
            QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
            Settle();
        }
    }
    void Press(Qt::Key key) {
        QTest::keyClick(QApplication::focusWidget(), key);
        Settle();
    }

    corvana::Field& F(const char* name) const { return f->cdsConvOrceve.FieldByName(name); }
    std::vector<std::string> Calls() const { return recorder->Calls(); }

    std::shared_ptr<RecordingModule> recorder;
    TfrmListConv* f = nullptr;
};
