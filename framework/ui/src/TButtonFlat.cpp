#include "corvana/ui/TButtonFlat.h"

#include <QAction>
#include <QEvent>

#include "corvana/ui/Guard.h"

namespace corvana::ui {

TButtonFlat::TButtonFlat(QWidget* parent) : TControl<QToolButton>(parent) {
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QAbstractButton::clicked, this, [this] { UserClicked(); });
}

std::string TButtonFlat::Caption() const {
    return text().toStdString();
}

void TButtonFlat::SetCaption(const std::string& caption) {
    setText(QString::fromStdString(caption));
}

void TButtonFlat::SetMenuItem(QAction* item) {
    if (menuItem_) disconnect(menuConnection_);
    menuItem_ = item;
    if (!item) return;
    item->setEnabled(isEnabled());
    menuConnection_ = connect(item, &QAction::triggered, this, [this] { UserClicked(); });
}

void TButtonFlat::Click() {
    if (isEnabled()) DoClick();
}

void TButtonFlat::DoClick() {
    if (OnClick) OnClick(this);
}

void TButtonFlat::UserClicked() {
    if (isEnabled()) Guarded([this] { DoClick(); });
}

void TButtonFlat::changeEvent(QEvent* event) {
    QToolButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange && menuItem_)
        Guarded([this] { menuItem_->setEnabled(isEnabled()); });
}

}  // namespace corvana::ui
