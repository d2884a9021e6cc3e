#pragma once
#include <QPointer>
#include <functional>
#include <string>

#include "corvana/ui/TButtonFlat.h"

namespace corvana {
class DataSource;
}

namespace corvana::ui {

class TEdit;

// The lookup button beside a code edit. A click:
//  1. runs OnBeforePesq(sender, flag) with flag true; the handlers fill the
//     list (typically a remote call that loads the dataset). A handler that
//     throws, or leaves flag false, stops the click;
//  2. opens the search dialog over DataSource with
//     Pesquisa::Pesquisar(*DataSource, Title + "|" + EmptyError, false, true);
//  3. on a pick, sets the Associate edit's text to the code field's
//     AsString() of the dataset's current row (which fires the edit's
//     OnChange), moves the focus to the edit, and runs OnAfterPesq.
// With OnClick set, a click runs only OnClick (a button that opens a file
// chooser, for instance). A user's click runs through the exception guard.
class TBtnPesquisa : public TButtonFlat {
    Q_OBJECT
public:
    explicit TBtnPesquisa(QWidget* parent = nullptr);

    // The edit (a TEdit or a TMaskEdit) the pick fills; not owned.
    TEdit* Associate() const { return associate_; }
    void SetAssociate(TEdit* edit) { associate_ = edit; }
    const std::string& Title() const { return title_; }
    void SetTitle(std::string title) { title_ = std::move(title); }
    corvana::DataSource* DataSource() const { return dataSource_; }
    void SetDataSource(corvana::DataSource* source) { dataSource_ = source; }
    // The code field's name; empty: the dataset's first field.
    const std::string& FieldCodigo() const { return fieldCodigo_; }
    void SetFieldCodigo(std::string name) { fieldCodigo_ = std::move(name); }
    // The text the search dialog shows when the list is empty.
    const std::string& EmptyError() const { return emptyError_; }
    void SetEmptyError(std::string text) { emptyError_ = std::move(text); }

    std::function<void(QObject* sender, bool& flag)> OnBeforePesq;
    std::function<void(QObject* sender)> OnAfterPesq;

protected:
    void DoClick() override;

private:
    QPointer<TEdit> associate_;
    std::string title_;
    corvana::DataSource* dataSource_ = nullptr;
    std::string fieldCodigo_;
    std::string emptyError_;
};

}  // namespace corvana::ui
