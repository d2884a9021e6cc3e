#include "corvana/ui/UiTrace.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QScrollBar>
#include <QStyle>
#include <QTreeView>
#include <algorithm>
#include <fstream>
#include <string>

#include "corvana/data/Field.h"
#include "corvana/ui/GridModel.h"
#include "corvana/ui/TControl.h"
#include "corvana/ui/TDBGrid.h"

namespace corvana::ui {

namespace {

QString OneLine(QString text) {
    text.replace('\n', ' ');
    text.replace('\r', ' ');
    return text;
}

// "<form>.<widget>": the form is the nearest window or framework form.
QString PathOf(const QWidget* widget) {
    if (!widget) return "-";
    const QWidget* form = widget->parentWidget();
    while (form && !form->isWindow() && !form->property(kFormProperty).toBool())
        form = form->parentWidget();
    auto name = [](const QWidget* w) {
        return w->objectName().isEmpty() ? QString(w->metaObject()->className()) : w->objectName();
    };
    return form ? name(form) + "." + name(widget) : name(widget);
}

QString TextOf(const QWidget* widget) {
    if (auto* edit = qobject_cast<const QLineEdit*>(widget)) return edit->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
    if (auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
    if (auto* combo = qobject_cast<const QComboBox*>(widget)) return combo->currentText();
    return {};
}

class UiTrace : public QObject {
public:
    UiTrace(QApplication* app, const QString& file)
        : QObject(app), out_(file.toStdString(), std::ios::trunc) {
        app->installEventFilter(this);
        connect(app, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
            if (now) Write("focus " + PathOf(now));
        });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            const auto chord = Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier;
            if (key->key() == Qt::Key_D && (key->modifiers() & chord) == chord) {
                // The press reaches the window before its widgets: one dump
                // per press.
                if (!key->isAutoRepeat() && key->timestamp() != dumpedAt_) {
                    dumpedAt_ = key->timestamp();
                    Dump();
                }
                return true;
            }
        } else if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            if (auto* box = qobject_cast<QMessageBox*>(widget)) {
                Write("message " + OneLine(box->windowTitle()) + "|" + OneLine(box->text()));
            } else if (widget->isWindow() && widget->windowType() != Qt::Popup &&
                       widget->windowType() != Qt::ToolTip) {
                Write("window " + OneLine(widget->windowTitle()));
            }
        }
        return false;
    }

private:
    void Write(const QString& line) {
        out_ << line.toStdString() << '\n';
        out_.flush();
    }

    void Dump() {
        ++dumps_;
        Write("dump " + QString::number(dumps_));
        QWidget* active = QApplication::activeWindow();
        Write("active " + (active ? OneLine(active->windowTitle()) : QString("-")));
        Write("focus " + PathOf(QApplication::focusWidget()));
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(top); box && box->isVisible())
                Write("box " + OneLine(box->windowTitle()) + "|" + OneLine(box->text()));
        }
        // The active window, or (no window manager gave one the focus) the
        // first main window shown.
        QWidget* shown = active;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (!shown && top->isVisible() && top->windowType() == Qt::Window) shown = top;
        }
        if (!shown) {
            Write("end " + QString::number(dumps_));
            return;
        }
        for (QWidget* w : shown->findChildren<QWidget*>()) {
            if (!w->isVisible()) continue;
            if (auto* bar = qobject_cast<QMenuBar*>(w)) {
                for (QAction* action : bar->actions()) {
                    const QRect r = bar->actionGeometry(action);
                    const QPoint at = bar->mapToGlobal(r.topLeft());
                    Write(QString("menu %1 %2 %3 %4 %5")
                              .arg(action->text().remove('&'))
                              .arg(at.x())
                              .arg(at.y())
                              .arg(r.width())
                              .arg(r.height()));
                }
            }
            if (auto* grid = qobject_cast<TDBGrid*>(w)) DumpGrid(grid);
            if (w->objectName().isEmpty()) continue;
            const QPoint at = w->mapToGlobal(QPoint(0, 0));
            Write(QString("widget %1 %2 %3 %4 %5 %6 %7")
                      .arg(w->objectName())
                      .arg(at.x())
                      .arg(at.y())
                      .arg(w->width())
                      .arg(w->height())
                      .arg(w->isEnabled() ? 1 : 0)
                      .arg(OneLine(TextOf(w))));
        }
        DumpTexts(shown);
        Write("end " + QString::number(dumps_));
    }

    // The grid's size and cursor, where its columns and its first visible
    // rows are on the screen.
    void DumpGrid(TDBGrid* grid) {
        GridModel* model = grid->Model();
        const corvana::Field* current = grid->SelectedField();
        Write(QString("grid %1 %2 %3 %4 %5")
                  .arg(grid->objectName())
                  .arg(model->rowCount())
                  .arg(grid->currentIndex().row())
                  .arg(grid->horizontalScrollBar()->isVisible() ? 1 : 0)
                  .arg(current ? QString::fromStdString(current->Name()) : QString("-")));
        QWidget* port = grid->viewport();
        for (int c = 0; c < model->columnCount(); ++c) {
            const corvana::Field* field = model->FieldAt(c);
            const int x = grid->columnViewportPosition(c);
            if (!field || x < 0 || grid->isColumnHidden(c)) continue;
            Write(QString("column %1 %2 %3 %4")
                      .arg(grid->objectName(), QString::fromStdString(field->Name()))
                      .arg(port->mapToGlobal(QPoint(x, 0)).x())
                      .arg(grid->columnWidth(c)));
        }
        // A cell is whole when its text and the item view's margins fit it.
        const int margins =
            2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1);
        const int first = grid->rowAt(0);
        for (int r = first; first >= 0 && r < model->rowCount() && r < first + 10; ++r) {
            const int y = grid->rowViewportPosition(r);
            if (y < 0 || y >= port->height()) break;
            Write(QString("row %1 %2 %3 %4")
                      .arg(grid->objectName())
                      .arg(r)
                      .arg(port->mapToGlobal(QPoint(0, y)).y())
                      .arg(grid->rowHeight(r)));
            for (int c = 0; c < model->columnCount(); ++c) {
                const corvana::Field* field = model->FieldAt(c);
                if (!field || grid->isColumnHidden(c)) continue;
                const QString text = model->index(r, c).data(Qt::DisplayRole).toString();
                const bool whole =
                    grid->fontMetrics().horizontalAdvance(text) + margins <= grid->columnWidth(c);
                Write(QString("cell %1 %2 %3 %4 %5")
                          .arg(grid->objectName())
                          .arg(r)
                          .arg(QString::fromStdString(field->Name()))
                          .arg(whole ? 1 : 0)
                          .arg(OneLine(text)));
            }
        }
    }

    // Every text the window shows, its widgets named or not (Qt's own
    // dialogs name few of theirs): the title, each visible widget's text and
    // tool tip, a group box's title, and the column titles and first rows of
    // lists and trees. A data grid has its own lines.
    void DumpTexts(QWidget* window) {
        auto text = [this](const QWidget* w, const QString& t) {
            if (t.trimmed().isEmpty()) return;
            const QString who =
                w->objectName().isEmpty() ? QString(w->metaObject()->className()) : w->objectName();
            Write("text " + who + " " + OneLine(t));
        };
        text(window, window->windowTitle());
        for (QWidget* w : window->findChildren<QWidget*>()) {
            if (!w->isVisible()) continue;
            text(w, TextOf(w));
            text(w, w->toolTip());
            if (auto* box = qobject_cast<QGroupBox*>(w)) text(w, box->title());
            auto* view = qobject_cast<QAbstractItemView*>(w);
            // A header is read with its view.
            if (!view || !view->model() || qobject_cast<TDBGrid*>(w) ||
                qobject_cast<QHeaderView*>(w))
                continue;
            const QAbstractItemModel* model = view->model();
            const QModelIndex root = view->rootIndex();
            auto* tree = qobject_cast<QTreeView*>(view);
            auto* table = qobject_cast<QTableView*>(view);
            auto* list = qobject_cast<QListView*>(view);
            const QHeaderView* header = tree    ? tree->header()
                                        : table ? table->horizontalHeader()
                                                : nullptr;
            const int rows = std::min(model->rowCount(root), 50);
            for (int c = 0; c < model->columnCount(root); ++c) {
                const bool shownColumn = tree    ? !tree->isColumnHidden(c)
                                         : table ? !table->isColumnHidden(c)
                                         : list  ? c == list->modelColumn()
                                                 : c == 0;
                if (!shownColumn) continue;
                if (header && header->isVisible())
                    text(view, model->headerData(c, Qt::Horizontal).toString());
                for (int r = 0; r < rows; ++r)
                    text(view, model->index(r, c, root).data(Qt::DisplayRole).toString());
            }
        }
    }

    std::ofstream out_;
    int dumps_ = 0;
    quint64 dumpedAt_ = 0;
};

}  // namespace

void InstallUiTrace() {
    static QPointer<UiTrace> installed;
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    const QString file = qEnvironmentVariable("CORVANA_UI_TRACE");
    if (installed || !app || file.isEmpty()) return;
    installed = new UiTrace(app, file);
}

}  // namespace corvana::ui
