#include "MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPointer>
#include <QStatusBar>

#include "corvana/core/Corvana.h"
#include "corvana/ui/Application.h"
#include "corvana/ui/Guard.h"

MainWindow::MainWindow() {
    setWindowTitle("Corvana Eventos");
    mdi_ = new QMdiArea(this);
    mdi_->setBackground(QColor(0x5a, 0x6e, 0x8c));
    setCentralWidget(mdi_);

    QMenu* arquivo = menuBar()->addMenu("&Arquivo");
    QAction* sair = arquivo->addAction("&Sair", this, &QWidget::close);
    sair->setObjectName("actSair");
    QMenu* eventos = menuBar()->addMenu("&Eventos");
    QAction* lista = eventos->addAction("&Lista de Convidados");
    lista->setObjectName("actListaConvidados");
    connect(lista, &QAction::triggered, this,
            [this] { corvana::ui::Guarded([this] { openGuestList(); }); });
    QMenu* janela = menuBar()->addMenu("&Janela");
    janela->addAction("&Cascata", mdi_, &QMdiArea::cascadeSubWindows);
    janela->addAction("&Lado a lado", mdi_, &QMdiArea::tileSubWindows);

    statusBar()->addWidget(new QLabel(
        QString::fromStdString("Filial " + Corvana::FiliProc() + " - " + Corvana::NomeFiliProc())));
    statusBar()->addPermanentWidget(new QLabel(QString::fromStdString(
        "Servidor " + Corvana::WebURL() + ":" + std::to_string(Corvana::WebPort()))));
    Corvana::SetMainForm(this, mdi_);
}

void MainWindow::openGuestList() {
    Corvana::LoadBPL("EVT07800", corvana::Variant(corvana::Variant::Array{
                                     Corvana::FiliProc(), Corvana::NomeFiliProc(), "", ""}));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    const QList<QMdiSubWindow*> screens = mdi_->subWindowList();
    for (QPointer<QMdiSubWindow> screen : screens) {
        if (screen && !screen->close()) {
            event->ignore();
            return;
        }
    }
    event->accept();
}
