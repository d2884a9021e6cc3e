#include "corvana/ui/QtBusyIndicator.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace corvana::ui {

namespace {

// Twelve spokes, one of them highlighted, turning while the event loop runs.
class Spinner : public QWidget {
public:
    explicit Spinner(QWidget* parent) : QWidget(parent) {
        setFixedSize(40, 40);
        timer_.setInterval(80);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            step_ = (step_ + 1) % kSpokes;
            update();
        });
        timer_.start();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(width() / 2.0, height() / 2.0);
        const QColor base = palette().color(QPalette::Highlight);
        for (int i = 0; i < kSpokes; ++i) {
            QColor color = base;
            const int age = (step_ - i + kSpokes) % kSpokes;
            color.setAlphaF(1.0f - static_cast<float>(age) / kSpokes * 0.85f);
            painter.setPen(QPen(color, 3.5, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(QPointF(0, -9), QPointF(0, -17));
            painter.rotate(360.0 / kSpokes);
        }
    }

private:
    static constexpr int kSpokes = 12;
    QTimer timer_;
    int step_ = 0;
};

QWidget* MakeBusyPanel(QWidget* host) {
    auto* panel = new QFrame(host);
    if (!host) {
        panel->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        panel->setAttribute(Qt::WA_ShowWithoutActivating);
    }
    panel->setObjectName(QStringLiteral("corvanaBusyPanel"));
    panel->setFrameStyle(QFrame::Box | QFrame::Plain);
    panel->setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(16, 12, 20, 12);
    layout->setSpacing(14);
    layout->addWidget(new Spinner(panel));
    auto* label = new QLabel(panel);
    label->setObjectName(QStringLiteral("corvanaBusyText"));
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    layout->addWidget(label, 1);
    panel->setFixedSize(280, 70);
    return panel;
}

bool IsUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
            return true;
        default:
            return false;
    }
}

}  // namespace

// Drops the user's input to the windows that were on screen when the panel
// came up, both where the window system hands it to a window and where it
// reaches a widget. A key whose shortcut override is refused here is not
// taken as a shortcut either.
class QtBusyIndicator::InputBlock : public QObject {
public:
    InputBlock() {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible()) windows_.emplace_back(window);
        }
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!IsUserInput(event->type()) || !Blocks(watched)) return false;
        event->accept();
        return true;
    }

private:
    bool Blocks(QObject* target) const {
        for (const QPointer<QWidget>& window : windows_) {
            if (!window) continue;
            if (target->isWidgetType() && static_cast<QWidget*>(target)->window() == window)
                return true;
            if (target->isWindowType() && target == window->windowHandle()) return true;
        }
        return false;
    }

    std::vector<QPointer<QWidget>> windows_;
};

QtBusyIndicator::QtBusyIndicator() = default;

QtBusyIndicator::~QtBusyIndicator() {
    delete panel_.data();
}

QString QtBusyIndicator::TextFor(int kind) {
    switch (kind) {
        case corvana::services::kBusySaving:
            return QStringLiteral("Gravando dados...");
        case corvana::services::kBusyLoading:
            return QStringLiteral("Carregando dados...");
        default:
            return QStringLiteral("Aguarde...");
    }
}

QString QtBusyIndicator::Text() const {
    return texts_.empty() ? QString() : texts_.back();
}

void QtBusyIndicator::Activate(QWidget* form, int kind) {
    ActivateText(form, TextFor(kind).toStdString());
}

void QtBusyIndicator::ActivateText(QWidget* form, const std::string& text) {
    texts_.push_back(QString::fromStdString(text));
    if (!inputBlock_) inputBlock_ = std::make_unique<InputBlock>();
    if (!panel_) {
        QWidget* host = form ? form->window() : QApplication::activeWindow();
        // A modal window over the form (a dialog opened from it) would hide
        // the panel: it goes over that window instead.
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != host)
            host = modal;
        panel_ = MakeBusyPanel(host);
        if (host) {
            panel_->move((host->width() - panel_->width()) / 2,
                         (host->height() - panel_->height()) / 2);
        } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            panel_->move(screen->availableGeometry().center() - panel_->rect().center());
        }
    }
    Paint();
}

void QtBusyIndicator::Deactivate() {
    if (texts_.empty()) return;
    texts_.pop_back();
    if (texts_.empty()) {
        delete panel_.data();
        inputBlock_.reset();
        return;
    }
    Paint();
}

void QtBusyIndicator::Paint() {
    if (!panel_) return;
    if (auto* label = panel_->findChild<QLabel*>(QStringLiteral("corvanaBusyText")))
        label->setText(Text());
    panel_->show();
    panel_->raise();
    // The call that follows holds the event loop: paint now. A panel over a
    // window paints itself here and runs no event. A panel of its own (no
    // window to go over) first needs the window system to map and expose it,
    // so the events waiting are processed once, user input excepted. What
    // may run then: the window system's events other than input (expose,
    // resize and move, activation and focus of windows, screen changes), the
    // timers due (the spinner's and any screen's, zero-delay single shots
    // too), posted events (queued calls, update and layout requests) and
    // socket notifiers. Keys, mouse, wheel, touch and the window manager's
    // close requests stay queued until the call returns.
    if (panel_->isWindow()) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (panel_) panel_->repaint();
}

}  // namespace corvana::ui
