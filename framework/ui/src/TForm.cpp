#include "corvana/ui/TForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QVBoxLayout>

#include "corvana/ui/Application.h"
#include "corvana/ui/FontScale.h"
#include "corvana/ui/Guard.h"
#include "corvana/ui/Icons.h"
#include "corvana/ui/TButtonFlat.h"
#include "corvana/ui/TControl.h"

namespace corvana::ui {

TForm::TForm(QWidget* parent) : QWidget(parent) {
    // The focus tracker keeps one active control per form.
    setProperty(kFormProperty, true);
    mainLayout_ = new QVBoxLayout(this);
    mainLayout_->setContentsMargins(0, 0, 0, 0);
    mainLayout_->setSpacing(0);
    lblCodTela = new TLabel(this);
    lblCodTela->setObjectName("lblCodTela");
    lblCodTela->hide();  // a screen places it where its layout wants it
}

TForm::~TForm() {
    if (modalLoop_) modalLoop_->quit();
}

void TForm::Create() {
    FormCreate();
}

std::string TForm::Caption() const {
    return windowTitle().toStdString();
}
void TForm::SetCaption(const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
    if (subWindow_) subWindow_->setWindowTitle(windowTitle());
}

QWidget* TForm::FrameWindow() {
    return subWindow_ ? static_cast<QWidget*>(subWindow_.data()) : this;
}

void TForm::Show() {
    QMdiArea* area = Corvana::MdiArea();
    if (style_ == TFormStyle::fsMDIChild && area && !subWindow_) {
        // The designed size is in the original font's pixels; scaled to this
        // font, as the grids' columns are, so that what fit there fits here,
        // within the MDI area.
        const QSize designed = Scaled(size(), font());
        subWindow_ = area->addSubWindow(this);
        subWindow_->setAttribute(Qt::WA_DeleteOnClose, false);
        QObject::connect(area, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* w) {
            if (w && w == subWindow_) activated();
        });
        subWindow_->show();
        // The sub-window takes the form's designed size plus its own frame.
        subWindow_->resize(
            (designed + (subWindow_->size() - size())).boundedTo(area->viewport()->size()));
    }
    if (!subWindow_) applyBorderStyle();
    FrameWindow()->show();
    if (subWindow_) {
        subWindow_->raise();
        Corvana::MdiArea()->setActiveSubWindow(subWindow_);
    } else {
        raise();
        activateWindow();
    }
}

void TForm::ShowModal() {
    setWindowModality(Qt::ApplicationModal);
    if (Corvana::MainForm() && !parentWidget()) {
        // Keep a dialog over the host's window without adopting it.
        setParent(Corvana::MainForm(), Qt::Dialog);
    }
    applyBorderStyle();
    show();
    raise();
    activateWindow();
    QEventLoop loop;
    modalLoop_ = &loop;
    QPointer<TForm> self(this);
    loop.exec();
    if (self) self->modalLoop_ = nullptr;
}

void TForm::applyBorderStyle() {
    if (borderStyle_ == TFormBorderStyle::bsDialog && isWindow())
        setFixedSize(size().expandedTo(minimumSizeHint()));
}

void TForm::SetWindowStateNormal() {
    if (subWindow_)
        subWindow_->showNormal();
    else if (isWindow())
        showNormal();
}

void TForm::Close() {
    FrameWindow()->close();
}

void TForm::Repaint() {
    repaint();
}

void TForm::FormClose(QObject*, TCloseAction&) {}

void TForm::AddScreenCodeRow() {
    auto* codeRow = new QHBoxLayout();
    codeRow->setContentsMargins(6, 0, 6, 2);
    codeRow->addStretch(1);
    lblCodTela->setParent(this);
    lblCodTela->show();
    codeRow->addWidget(lblCodTela);
    mainLayout_->addLayout(codeRow);
}

TButtonFlat* TForm::NewFlatButton(QWidget* parent, const char* name, const char* hint,
                                  const char* icon) {
    auto* b = new TButtonFlat(parent);
    b->setObjectName(name);
    b->SetHint(hint);
    b->setIcon(ToolIcon(icon));
    return b;
}

bool TForm::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate && !subWindow_) activated();
    return QWidget::event(e);
}

void TForm::activated() {
    Guarded([this] { FormActivate(); });
}

void TForm::closeEvent(QCloseEvent* e) {
    if (closing_) {
        e->accept();
        return;
    }
    TCloseAction action =
        style_ == TFormStyle::fsMDIChild ? TCloseAction::caFree : TCloseAction::caHide;
    bool ok = GuardedBool([&] { FormClose(this, action); });
    if (!ok || action == TCloseAction::caNone) {
        e->ignore();
        return;
    }
    if (action == TCloseAction::caMinimize) {
        e->ignore();
        FrameWindow()->showMinimized();
        return;
    }
    e->accept();
    if (modalLoop_) modalLoop_->quit();
    if (action == TCloseAction::caFree) {
        closing_ = true;
        if (subWindow_) {
            subWindow_->close();
            subWindow_->deleteLater();  // deletes the form with it
        } else {
            deleteLater();
        }
    }
}

}  // namespace corvana::ui
