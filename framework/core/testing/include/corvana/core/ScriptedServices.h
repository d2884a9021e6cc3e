#pragma once
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "corvana/core/Services.h"

// Scripted services for tests: each records what the code under test asked
// and answers from a queue the test filled beforehand. A question asked with
// an empty queue is an unexpected prompt: it is recorded in Unexpected() and
// raises std::logic_error("pergunta inesperada: " + text), so that a test
// never hangs on, or silently answers, a dialog it did not foresee.
namespace corvana::services {

class ScriptedDialogs : public IDialogs {
public:
    struct Shown {
        enum Kind { Error, Information, Confirm, Input };
        Kind kind;
        std::string text;
        bool operator==(const Shown&) const = default;
    };

    void ShowError(const std::string& text) override;
    void ShowInformation(const std::string& text) override;
    // Recorded as shown, then answered from the queue.
    bool Confirm(const std::string& text) override;

    void ExpectConfirm(bool answer);
    std::size_t PendingConfirms() const { return confirms_.size(); }

    // Recorded as shown ("caption|prompt"), then answered from its own
    // queue (nothing: the user cancelled). The initial text of each call is
    // kept in InputInitials().
    std::optional<std::string> InputQuery(const std::string& caption, const std::string& prompt,
                                          const std::string& initial) override;
    void ExpectInput(std::optional<std::string> answer);
    std::size_t PendingInputs() const { return inputs_.size(); }
    const std::vector<std::string>& InputInitials() const { return inputInitials_; }

    // Everything shown, in order (unexpected prompts included).
    const std::vector<Shown>& Messages() const { return messages_; }
    std::vector<std::string> Errors() const;
    std::vector<std::string> Informations() const;
    const std::vector<std::string>& Unexpected() const { return unexpected_; }
    // Forgets the messages, the unexpected prompts and the pending answers.
    void Clear();

private:
    std::vector<Shown> messages_;
    std::deque<bool> confirms_;
    std::deque<std::optional<std::string>> inputs_;
    std::vector<std::string> inputInitials_;
    std::vector<std::string> unexpected_;
};

class ScriptedSearch : public ISearchDialog {
public:
    struct Call {
        std::string text;
        bool flag1;
        bool flag2;
        bool operator==(const Call&) const = default;
    };

    // Picks the 1-based row `recNo` of the source's dataset: the dataset is
    // positioned on it and Pesquisar returns true. A row outside the dataset,
    // or a source without a dataset, is a fault of the test (std::logic_error).
    void ExpectPick(int recNo);
    // Pesquisar returns false, leaving the dataset where it was.
    void ExpectCancel();
    std::size_t Pending() const { return answers_.size(); }

    bool Pesquisar(corvana::DataSource& source, const std::string& titleAndEmptyText, bool flag1,
                   bool flag2) override;

    const std::vector<Call>& Calls() const { return calls_; }
    std::vector<std::string> Texts() const;
    const std::vector<std::string>& Unexpected() const { return unexpected_; }
    void Clear();

private:
    std::deque<std::optional<int>> answers_;  // recNo, or nothing for cancel
    std::vector<Call> calls_;
    std::vector<std::string> unexpected_;
};

// The answers of a scripted file dialog (open or save): each Execute takes
// the next one queued and records its filter and proposed file.
class ScriptedFileAnswers {
public:
    struct Call {
        std::string filter;
        std::string initialFile;
        bool operator==(const Call&) const = default;
    };

    // The next Execute gives `fileName` (nothing: the user cancelled).
    void Expect(std::optional<std::string> fileName);
    void ExpectFile(std::string fileName) { Expect(std::move(fileName)); }
    void ExpectCancel() { Expect(std::nullopt); }
    std::size_t Pending() const { return answers_.size(); }

    const std::vector<Call>& Calls() const { return calls_; }
    const std::vector<std::string>& Unexpected() const { return unexpected_; }
    void Clear();

protected:
    // Unexpected prompt text: the filter.
    std::optional<std::string> next(const std::string& filter, const std::string& initialFile);

private:
    std::deque<std::optional<std::string>> answers_;
    std::vector<Call> calls_;
    std::vector<std::string> unexpected_;
};

class ScriptedOpenFile : public IOpenFileDialog, public ScriptedFileAnswers {
public:
    std::optional<std::string> Execute(const std::string& filter,
                                       const std::string& initialFile) override {
        return next(filter, initialFile);
    }
};

class ScriptedSaveFile : public ISaveFileDialog, public ScriptedFileAnswers {
public:
    std::optional<std::string> Execute(const std::string& filter,
                                       const std::string& initialFile) override {
        return next(filter, initialFile);
    }
};

class ScriptedBusy : public IBusyIndicator {
public:
    void Activate(QWidget* form, int kind) override;
    // Recorded in Texts(), and as an activation of kind 0.
    void ActivateText(QWidget* form, const std::string& text) override;
    // Deactivating with nothing active is counted, not raised (it runs in
    // destructors).
    void Deactivate() override;

    // The kind of every activation, in order.
    const std::vector<int>& Activations() const { return activations_; }
    const std::vector<QWidget*>& Forms() const { return forms_; }
    // The text of every activation with a text, in order.
    const std::vector<std::string>& Texts() const { return texts_; }
    int Depth() const { return depth_; }
    int MaxDepth() const { return maxDepth_; }
    bool Active() const { return depth_ > 0; }
    int UnbalancedDeactivations() const { return unbalanced_; }
    void Clear();

private:
    std::vector<int> activations_;
    std::vector<QWidget*> forms_;
    std::vector<std::string> texts_;
    int depth_ = 0;
    int maxDepth_ = 0;
    int unbalanced_ = 0;
};

class ScriptedCursor : public IWaitCursor {
public:
    void SetWait() override;
    void SetDefault() override;
    bool IsWait() const override { return wait_; }

    // Every state set, in order (true: wait).
    const std::vector<bool>& History() const { return history_; }
    void Clear();

private:
    bool wait_ = false;
    std::vector<bool> history_;
};

// Installs one of each scripted service for its lifetime; the destructor
// restores the default console services (not whatever was installed before).
class ScriptedServicesScope {
public:
    ScriptedServicesScope();
    ~ScriptedServicesScope();
    ScriptedServicesScope(const ScriptedServicesScope&) = delete;
    ScriptedServicesScope& operator=(const ScriptedServicesScope&) = delete;

    ScriptedDialogs dialogs;
    ScriptedSearch search;
    ScriptedOpenFile openFile;
    ScriptedSaveFile saveFile;
    ScriptedBusy busy;
    ScriptedCursor cursor;
};

}  // namespace corvana::services
