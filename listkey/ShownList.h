#pragma once
#include <functional>
#include <string>

// The guest list a screen opened beside the guest list screen works on: its
// branch (code and name), budget and sequence as the guest list's filter
// showed them when the screen was opened, and how to reload the screen that
// shows it. The import, report and spreadsheet screens receive it when they
// are opened instead of reading the guest list screen's fields.
struct ShownList {
    std::string branch;
    std::string branchName;  // empty when the guest list shows no branch
    std::string budget;
    std::string sequence;
    // Reloads the list on the screen that shows it; empty when no screen
    // shows one (or the screen is gone).
    std::function<void()> reload;
};
