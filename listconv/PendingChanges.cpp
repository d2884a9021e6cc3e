#include "listconv/PendingChanges.h"

#include <string>
#include <utility>

#include "corvana/core/Services.h"
#include "corvana/ui/Guard.h"

PendingChanges::PendingChanges(corvana::ClientDataSet& list, std::function<void()> send,
                               const corvana::TMessages& texts)
    : list_(list), send_(std::move(send)), texts_(texts) {}

void PendingChanges::AddTexts(corvana::TMessages& texts) {
    // "%1": how many.
    texts.Add(
        "Alt_N_Grav1|1 alteração da lista de convidados não foi gravada no servidor. "
        "Descartar a alteração?");
    texts.Add(
        "Alt_N_Grav|%1 alterações da lista de convidados não foram gravadas no servidor. "
        "Descartar as alterações?");
}

bool PendingChanges::AcceptListClose() {
    if (!list_.Editing()) rowNotSent_ = false;
    if (!list_.Active() || (list_.ChangeCount() == 0 && !rowNotSent_)) return true;
    const bool rowPending = rowNotSent_;
    const bool sent = corvana::ui::GuardedBool([this, rowPending] {
        // The row's post runs its checks again and sends it (AfterPost).
        if (rowPending) list_.Post();
        if (list_.ChangeCount() > 0) send_();
        // The list goes now: a row being edited goes as it would have gone
        // without pending changes, and must not be posted by the merge.
        if (list_.Editing()) list_.Cancel();
        list_.MergeChangeLog();
    });
    if (sent) {
        rowNotSent_ = false;
        return true;
    }
    // A row posted again but refused by a check is still the user's typing:
    // it counts until it is saved, cancelled or given up here.
    rowNotSent_ = rowPending && list_.Editing();
    const int pending = list_.ChangeCount() + (rowNotSent_ ? 1 : 0);
    std::string question;
    if (pending == 1) {
        question = texts_.Msg("Alt_N_Grav1");
    } else {
        question = texts_.Msg("Alt_N_Grav");
        const auto at = question.find("%1");
        if (at != std::string::npos) question.replace(at, 2, std::to_string(pending));
    }
    if (!corvana::services::Dialogs().Confirm(question)) return false;
    rowNotSent_ = false;
    if (list_.Editing()) list_.Cancel();
    return true;
}

bool PendingChanges::KeepListOnPanelEnter(corvana::ui::TDBGrid& grid) {
    if (AcceptListClose()) return false;
    // Back to the list, which stays open with its pending changes. The focus
    // leaves the panel again, and that exit must not reload the list.
    if (grid.CanFocus()) {
        listKeptOnPanelEnter_ = true;
        grid.SetFocus();
    }
    return true;
}

bool PendingChanges::SkipPanelExitAfterKeptList() {
    return std::exchange(listKeptOnPanelEnter_, false);
}
