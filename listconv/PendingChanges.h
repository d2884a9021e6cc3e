#pragma once
#include <functional>

#include "corvana/core/TMessages.h"
#include "corvana/data/ClientDataSet.h"
#include "corvana/ui/TDBGrid.h"

// The changes of the guest list that the server has not accepted yet (the
// change log of the list's dataset, and a row whose post failed because its
// checks could not reach the server), settled before the list is replaced or
// dropped: when the window closes, when the filter panel is entered and when
// the list is reloaded. A failed send is shown as the exception guard shows
// every failure (corvana::ui::Guarded: a server refusal already shown stays
// silent, anything else is shown once); the user is then asked whether to
// discard the changes.
class PendingChanges {
public:
    // `send` sends the change log and raises on failure, leaving the log as
    // it was. The question is read from `texts` (AddTexts).
    PendingChanges(corvana::ClientDataSet& list, std::function<void()> send,
                   const corvana::TMessages& texts);
    PendingChanges(const PendingChanges&) = delete;
    PendingChanges& operator=(const PendingChanges&) = delete;

    // The question asked when the changes could not be sent, into a screen's
    // message table.
    static void AddTexts(corvana::TMessages& texts);

    // The row being edited could not be posted: a check of its post failed
    // for want of the server (not a refusal the user was shown). Until it is
    // posted or cancelled (RowSettled) it counts as a pending change.
    void RowNotSent() { rowNotSent_ = true; }
    void RowSettled() { rowNotSent_ = false; }

    // Sends the pending changes (posting again a row that RowNotSent marked,
    // its checks included); when that fails, tells how many there are and
    // asks whether to discard them. True when the list may go: nothing was
    // pending, the changes went out, or the user chose to discard them (a
    // row in edit is then cancelled). Any other row being edited is not
    // posted here: once the changes went out it is cancelled, as the list
    // goes. False leaves the list, its log and the row in edit as they were.
    bool AcceptListClose();
    // Start of the filter panel's enter: true when the list must stay open
    // (the user kept the changes). The focus is then sent back to `grid`, and
    // the panel exit this causes is skipped by SkipPanelExitAfterKeptList.
    bool KeepListOnPanelEnter(corvana::ui::TDBGrid& grid);
    // Start of the filter panel's exit: true (once) for the exit that follows
    // a list kept by KeepListOnPanelEnter, which must not reload the list.
    bool SkipPanelExitAfterKeptList();

private:
    corvana::ClientDataSet& list_;
    std::function<void()> send_;
    const corvana::TMessages& texts_;
    bool listKeptOnPanelEnter_ = false;
    bool rowNotSent_ = false;
};
