#include "corvana/ui/TDBNavigator.h"

#include <QHBoxLayout>
#include <QToolButton>

#include "corvana/data/ClientDataSet.h"
#include "corvana/data/DataSource.h"
#include "corvana/ui/Guard.h"
#include "corvana/ui/Icons.h"

namespace corvana::ui {

using corvana::DataSetState;

namespace {

struct ButtonInfo {
    const char* name;
    const char* hint;
    const char* icon;
};

constexpr std::array<ButtonInfo, 5> kButtons{{
    {"btnFirst", "Primeiro", "go-first"},
    {"btnPrior", "Anterior", "go-previous"},
    {"btnNext", "Próximo", "go-next"},
    {"btnLast", "Último", "go-last"},
    {"btnRefresh", "Atualizar", "view-refresh"},
}};

}  // namespace

TDBNavigator::TDBNavigator(QWidget* parent) : TControl<QWidget>(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        const ButtonInfo& info = kButtons[i];
        auto* button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(info.name));
        button->setToolTip(QString::fromUtf8(info.hint));
        button->setAccessibleName(QString::fromUtf8(info.hint));
        button->setIcon(ToolIcon(info.icon));
        // As the platform's navigator: a click moves the cursor and leaves
        // the focus where it is (in the grid).
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoRaise(true);
        const auto which = static_cast<TNavigateBtn>(i);
        GuardedConnect(button, &QToolButton::clicked, this, [this, which] { BtnClick(which); });
        layout->addWidget(button);
        buttons_[i] = button;
    }
    layout->addStretch(1);
    buttons_[static_cast<std::size_t>(TNavigateBtn::nbRefresh)]->setVisible(false);
    link_.OnDataChange = [this] { refresh(); };
    refresh();
}

TDBNavigator::~TDBNavigator() {
    link_.OnDataChange = nullptr;
}

void TDBNavigator::SetDataSource(corvana::DataSource* source) {
    if (link_.SetSource(source)) refresh();
}

void TDBNavigator::SetShowRefresh(bool show) {
    showRefresh_ = show;
    Button(TNavigateBtn::nbRefresh)->setVisible(show);
}

QToolButton* TDBNavigator::Button(TNavigateBtn button) const {
    return buttons_[static_cast<std::size_t>(button)];
}

void TDBNavigator::refresh() {
    const corvana::ClientDataSet* ds = link_.DataSet();
    const bool rows = link_.Active() && ds && !ds->IsEmpty();
    const bool up = rows && !ds->Bof() && ds->RecNo() > 1;
    const bool down = rows && !ds->Eof() && ds->RecNo() < ds->RecordCount();
    Button(TNavigateBtn::nbFirst)->setEnabled(up);
    Button(TNavigateBtn::nbPrior)->setEnabled(up);
    Button(TNavigateBtn::nbNext)->setEnabled(down);
    Button(TNavigateBtn::nbLast)->setEnabled(down);
    Button(TNavigateBtn::nbRefresh)->setEnabled(link_.State() == DataSetState::Browse);
}

void TDBNavigator::BtnClick(TNavigateBtn button) {
    if (!Button(button)->isEnabled()) return;
    if (BeforeAction) BeforeAction(this, button);
    corvana::ClientDataSet* ds = link_.DataSet();
    if (ds && link_.Active()) {
        // The buttons take no focus: what a control shows and has not
        // stored yet goes into its field before the move.
        link_.Source()->UpdateRecord();
        switch (button) {
            case TNavigateBtn::nbFirst:
                ds->First();
                break;
            case TNavigateBtn::nbPrior:
                ds->Prior();
                break;
            case TNavigateBtn::nbNext:
                ds->Next();
                break;
            case TNavigateBtn::nbLast:
                ds->Last();
                break;
            case TNavigateBtn::nbRefresh:
                break;
        }
    }
    if (OnClick) OnClick(this, button);
    refresh();  // Bof and Eof change without a notification at the ends
}

}  // namespace corvana::ui
