#pragma once
#include <QWidget>
#include <array>
#include <functional>

#include "corvana/ui/TControl.h"
#include "corvana/ui/TDBEdit.h"

class QToolButton;

namespace corvana {
class DataSource;
}

namespace corvana::ui {

enum class TNavigateBtn { nbFirst, nbPrior, nbNext, nbLast, nbRefresh };

// Buttons that move a data source's dataset (prefix dbn): First, Prior,
// Next, Last and, when ShowRefresh is set, Refresh. First and Prior are
// enabled when the dataset is open and not on its first row (nor at Bof),
// Next and Last when it is open and not on its last row (nor at Eof);
// Refresh while browsing. A move settles an edit in progress first (the
// dataset posts; a refused post is shown and the cursor stays).
//
// The buttons take the focus when clicked, so that a data-bound control
// being edited stores its text (its exit) before the dataset moves.
class TDBNavigator : public TControl<QWidget> {
    Q_OBJECT
public:
    explicit TDBNavigator(QWidget* parent = nullptr);
    ~TDBNavigator() override;

    void SetDataSource(corvana::DataSource* source);
    corvana::DataSource* GetDataSource() const { return link_.Source(); }

    bool ShowRefresh() const { return showRefresh_; }
    void SetShowRefresh(bool show);

    QToolButton* Button(TNavigateBtn button) const;
    // What a click on the button does (nothing when it is disabled). Raises
    // what BeforeAction or the dataset raise.
    void BtnClick(TNavigateBtn button);

    // Before the button's action; throwing refuses it.
    std::function<void(QObject* sender, TNavigateBtn button)> BeforeAction;
    // After the button's action. Refresh has no action of its own: the
    // screen reloads its data here.
    std::function<void(QObject* sender, TNavigateBtn button)> OnClick;

private:
    void refresh();

    TFieldDataLink link_;
    std::array<QToolButton*, 5> buttons_{};
    bool showRefresh_ = false;
};

}  // namespace corvana::ui
