#include "corvana/core/ScriptedServices.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "corvana/data/ClientDataSet.h"
#include "corvana/data/DataSource.h"

namespace corvana::services {

namespace {

[[noreturn]] void unexpectedPrompt(std::vector<std::string>& unexpected, const std::string& text) {
    unexpected.push_back(text);
    throw std::logic_error("pergunta inesperada: " + text);
}

void positionOn(corvana::DataSource& source, int recNo) {
    corvana::ClientDataSet* dataSet = source.DataSet();
    if (dataSet == nullptr || !dataSet->Active())
        throw std::logic_error(
            "pesquisa roteirizada: a fonte de dados não tem conjunto de dados aberto");
    if (recNo < 1 || recNo > dataSet->RecordCount())
        throw std::logic_error("pesquisa roteirizada: linha " + std::to_string(recNo) +
                               " inexistente (o conjunto tem " +
                               std::to_string(dataSet->RecordCount()) + " linhas)");
    dataSet->SetRecNo(recNo);
}

}  // namespace

// ---- ScriptedDialogs ----

void ScriptedDialogs::ShowError(const std::string& text) {
    messages_.push_back({Shown::Error, text});
}

void ScriptedDialogs::ShowInformation(const std::string& text) {
    messages_.push_back({Shown::Information, text});
}

bool ScriptedDialogs::Confirm(const std::string& text) {
    messages_.push_back({Shown::Confirm, text});
    if (confirms_.empty()) unexpectedPrompt(unexpected_, text);
    const bool answer = confirms_.front();
    confirms_.pop_front();
    return answer;
}

void ScriptedDialogs::ExpectConfirm(bool answer) {
    confirms_.push_back(answer);
}

std::optional<std::string> ScriptedDialogs::InputQuery(const std::string& caption,
                                                       const std::string& prompt,
                                                       const std::string& initial) {
    const std::string text = caption + "|" + prompt;
    messages_.push_back({Shown::Input, text});
    inputInitials_.push_back(initial);
    if (inputs_.empty()) unexpectedPrompt(unexpected_, text);
    std::optional<std::string> answer = std::move(inputs_.front());
    inputs_.pop_front();
    return answer;
}

void ScriptedDialogs::ExpectInput(std::optional<std::string> answer) {
    inputs_.push_back(std::move(answer));
}

std::vector<std::string> ScriptedDialogs::Errors() const {
    std::vector<std::string> out;
    for (const Shown& shown : messages_) {
        if (shown.kind == Shown::Error) out.push_back(shown.text);
    }
    return out;
}

std::vector<std::string> ScriptedDialogs::Informations() const {
    std::vector<std::string> out;
    for (const Shown& shown : messages_) {
        if (shown.kind == Shown::Information) out.push_back(shown.text);
    }
    return out;
}

void ScriptedDialogs::Clear() {
    messages_.clear();
    confirms_.clear();
    inputs_.clear();
    inputInitials_.clear();
    unexpected_.clear();
}

// ---- ScriptedSearch ----

void ScriptedSearch::ExpectPick(int recNo) {
    answers_.emplace_back(recNo);
}

void ScriptedSearch::ExpectCancel() {
    answers_.emplace_back(std::nullopt);
}

bool ScriptedSearch::Pesquisar(corvana::DataSource& source, const std::string& titleAndEmptyText,
                               bool flag1, bool flag2) {
    calls_.push_back({titleAndEmptyText, flag1, flag2});
    if (answers_.empty()) unexpectedPrompt(unexpected_, titleAndEmptyText);
    const std::optional<int> answer = answers_.front();
    answers_.pop_front();
    if (!answer) return false;
    positionOn(source, *answer);
    return true;
}

std::vector<std::string> ScriptedSearch::Texts() const {
    std::vector<std::string> out;
    for (const Call& call : calls_) out.push_back(call.text);
    return out;
}

void ScriptedSearch::Clear() {
    answers_.clear();
    calls_.clear();
    unexpected_.clear();
}

// ---- ScriptedFileAnswers ----

void ScriptedFileAnswers::Expect(std::optional<std::string> fileName) {
    answers_.push_back(std::move(fileName));
}

std::optional<std::string> ScriptedFileAnswers::next(const std::string& filter,
                                                     const std::string& initialFile) {
    calls_.push_back({filter, initialFile});
    if (answers_.empty()) unexpectedPrompt(unexpected_, filter);
    std::optional<std::string> answer = std::move(answers_.front());
    answers_.pop_front();
    return answer;
}

void ScriptedFileAnswers::Clear() {
    answers_.clear();
    calls_.clear();
    unexpected_.clear();
}

// ---- ScriptedBusy ----

void ScriptedBusy::Activate(QWidget* form, int kind) {
    activations_.push_back(kind);
    forms_.push_back(form);
    ++depth_;
    maxDepth_ = std::max(maxDepth_, depth_);
}

void ScriptedBusy::ActivateText(QWidget* form, const std::string& text) {
    texts_.push_back(text);
    Activate(form, 0);
}

void ScriptedBusy::Deactivate() {
    if (depth_ == 0)
        ++unbalanced_;
    else
        --depth_;
}

void ScriptedBusy::Clear() {
    activations_.clear();
    forms_.clear();
    texts_.clear();
    depth_ = maxDepth_ = unbalanced_ = 0;
}

// ---- ScriptedCursor ----

void ScriptedCursor::SetWait() {
    wait_ = true;
    history_.push_back(true);
}

void ScriptedCursor::SetDefault() {
    wait_ = false;
    history_.push_back(false);
}

void ScriptedCursor::Clear() {
    wait_ = false;
    history_.clear();
}

// ---- ScriptedServicesScope ----

ScriptedServicesScope::ScriptedServicesScope() {
    SetDialogs(&dialogs);
    SetSearchDialog(&search);
    SetOpenFileDialog(&openFile);
    SetSaveFileDialog(&saveFile);
    SetBusyIndicator(&busy);
    SetWaitCursor(&cursor);
}

ScriptedServicesScope::~ScriptedServicesScope() {
    SetDialogs(nullptr);
    SetSearchDialog(nullptr);
    SetOpenFileDialog(nullptr);
    SetSaveFileDialog(nullptr);
    SetBusyIndicator(nullptr);
    SetWaitCursor(nullptr);
}

}  // namespace corvana::services
