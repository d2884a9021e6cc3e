#include "corvana/ui/TDBGrid.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QStyledItemDelegate>
#include <QTextLayout>
#include <QToolButton>
#include <QValidator>
#include <algorithm>
#include <memory>
#include <unordered_map>
#include <utility>

#include "corvana/core/FlagScope.h"
#include "corvana/core/Services.h"
#include "corvana/data/ClientDataSet.h"
#include "corvana/data/DataSource.h"
#include "corvana/data/Text.h"
#include "corvana/ui/FontScale.h"
#include "corvana/ui/Guard.h"
#include "corvana/ui/KeyCodes.h"

namespace corvana::ui {

using corvana::ClientDataSet;
using corvana::DataSetState;
using corvana::Field;
using corvana::FieldType;
using corvana::FlagScope;
using corvana::IsEditing;

namespace {

// The character a key event types, as OnKeyPress sees it: kKeyEnter,
// kKeyBackspace, the character typed, or 0 for a key that types none (a
// movement key, a shortcut with Ctrl or Alt, a control character). Escape is
// the grid's own and never offered: it cancels the row, also where a handler
// lets through only some keys (a pick-list column takes Enter alone).
char32_t TypedKey(const QKeyEvent* event) {
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return 0;
    if (const char32_t code = ControlKeyCode(event)) return code == kKeyEscape ? 0 : code;
    const QList<uint> text = event->text().toUcs4();
    if (text.isEmpty()) return 0;
    const char32_t c = text.front();
    return (c < 0x20 || c == 0x7f) ? 0 : c;
}

// Refuses a text of more characters (code points, not UTF-16 units) than
// the cell's field takes. A key or a paste that would pass the limit is
// refused whole, so nothing typed is cut on its way to the field.
class LengthValidator : public QValidator {
public:
    LengthValidator(qsizetype maxChars, QObject* parent) : QValidator(parent), max_(maxChars) {}
    State validate(QString& input, int&) const override {
        if (input.size() <= max_) return Acceptable;
        qsizetype chars = 0;
        for (const QChar c : input)
            if (!c.isLowSurrogate()) ++chars;
        return chars > max_ ? Invalid : Acceptable;
    }

private:
    qsizetype max_;
};

}  // namespace

// Editors come from the grid; keys, focus and storing are the grid's too, so
// the delegate's own handling of Enter, Tab, Esc and focus loss is off.
//
// A cell's text is laid out once for its text, font, width and alignment,
// not on every paint: the style draws the cell without its text (the
// background, the selection), then the text is drawn from a layout kept in
// a cache, where and as the style's item view text is drawn (a single line,
// shaped once, elided at the cell's width, centred vertically, aligned by
// the cell's alignment), then the style's focus frame. A cell the style would
// draw otherwise (an icon, a check box, wrapped or multi-line text, an open
// editor, a style sheet) is drawn by the style whole.
class GridDelegate : public QStyledItemDelegate {
public:
    explicit GridDelegate(TDBGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}
    void Detach() { grid_ = nullptr; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QWidget* widget = opt.widget;
        const QStyle* style = widget ? widget->style() : QApplication::style();
        if (!laidOutOnce(opt, style)) {
            style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
            return;
        }
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        // The text's and the focus frame's rectangles: the style computes
        // the text's size to place them (laying it out each time), but in a
        // cell without an icon or a check box they are the cell's own, so
        // they are asked for without the text.
        QStyleOptionViewItem geometry = opt;
        geometry.text.clear();
        const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &geometry, widget)
                                   .adjusted(margin, 0, -margin, 0);
        const QRect focusRect =
            style->subElementRect(QStyle::SE_ItemViewItemFocusRect, &geometry, widget);
        // The style's part: the cell without its text and, as the focus frame
        // goes over the text, without its focus.
        QStyleOptionViewItem panel = opt;
        panel.text.clear();
        panel.state &= ~QStyle::State_HasFocus;
        style->drawControl(QStyle::CE_ItemViewItem, &panel, painter, widget);

        const LaidOut& laid = layoutOf(opt.text, opt, textRect);
        const bool enabled = opt.state & QStyle::State_Enabled;
        QPalette::ColorGroup group = enabled ? QPalette::Normal : QPalette::Disabled;
        if (group == QPalette::Normal && !(opt.state & QStyle::State_Active))
            group = QPalette::Inactive;
        const bool selected = opt.state & QStyle::State_Selected;
        painter->save();
        painter->setClipRect(opt.rect);
        painter->setPen(
            opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        laid.layout->draw(painter, QPointF(textRect.topLeft()) + laid.offset);
        if (opt.state & QStyle::State_HasFocus) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(opt);
            focus.rect = focusRect;
            focus.state |= QStyle::State_KeyboardFocusChange | QStyle::State_Item;
            focus.backgroundColor =
                opt.palette.color(enabled ? QPalette::Normal : QPalette::Disabled,
                                  selected ? QPalette::Highlight : QPalette::Window);
            style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
        }
        painter->restore();
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override {
        return grid_ ? grid_->createCellEditor(parent, index) : nullptr;
    }
    // Also called when the cell's data changes while the editor is open: the
    // editor then takes the field's text only when the user has not typed.
    void setEditorData(QWidget*, const QModelIndex&) const override {
        if (grid_) Guarded([this] { grid_->loadEditor(true); });
    }
    void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {}
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
        if (grid_) grid_->editorGone(editor);
        QStyledItemDelegate::destroyEditor(editor, index);
    }

protected:
    bool eventFilter(QObject*, QEvent*) override { return false; }

private:
    // A text laid out for a cell: drawn at the text rectangle's top left
    // plus offset.
    struct LaidOut {
        std::shared_ptr<QTextLayout> layout;
        QPointF offset;
    };
    struct Key {
        QString text;
        int width, height, alignment, elide, direction;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& k) const {
            return qHashMulti(0, k.text, k.width, k.height, k.alignment, k.elide, k.direction);
        }
    };
    static constexpr std::size_t kMostKept = 4096;

    static bool laidOutOnce(const QStyleOptionViewItem& opt, const QStyle* style) {
        if (opt.text.isEmpty() || style->inherits("QStyleSheetStyle")) return false;
        if (opt.features &
            (QStyleOptionViewItem::WrapText | QStyleOptionViewItem::HasCheckIndicator |
             QStyleOptionViewItem::HasDecoration))
            return false;
        if (opt.state & QStyle::State_Editing) return false;
        for (const QChar c : opt.text)
            if (c == u'\n' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
                return false;
        return true;
    }

    // The style's single-line item text: laid out at the text rectangle's
    // width, elided when it does not fit, its line box aligned in the
    // rectangle by the vertical alignment; the horizontal alignment is the
    // layout's own.
    const LaidOut& layoutOf(const QString& text, const QStyleOptionViewItem& opt,
                            const QRect& textRect) const {
        if (opt.font != font_ || cache_.size() >= kMostKept) {
            cache_.clear();
            font_ = opt.font;
        }
        Key key{text,
                textRect.width(),
                textRect.height(),
                static_cast<int>(opt.displayAlignment),
                static_cast<int>(opt.textElideMode),
                static_cast<int>(opt.direction)};
        const auto found = cache_.find(key);
        if (found != cache_.end()) return found->second;

        QTextOption textOption;
        textOption.setWrapMode(QTextOption::ManualWrap);
        textOption.setTextDirection(opt.direction);
        textOption.setAlignment(QStyle::visualAlignment(opt.direction, opt.displayAlignment));
        auto layOut = [&](const QString& shown) {
            auto layout = std::make_shared<QTextLayout>(shown, opt.font);
            // Keeps the shaped glyphs after endLayout(): without it every
            // draw shapes the text again.
            layout->setCacheEnabled(true);
            layout->setTextOption(textOption);
            layout->beginLayout();
            QTextLine line = layout->createLine();
            if (line.isValid()) {
                line.setLineWidth(textRect.width());
                line.setPosition(QPointF(0, 0));
            }
            layout->endLayout();
            return layout;
        };
        std::shared_ptr<QTextLayout> whole = layOut(text);
        const QRect lineBox = QStyle::alignedRect(Qt::LayoutDirectionAuto, opt.displayAlignment,
                                                  whole->boundingRect().size().toSize(), textRect);
        const bool elided =
            whole->lineCount() > 0 && whole->lineAt(0).naturalTextWidth() > textRect.width();
        LaidOut laid{elided ? layOut(QFontMetrics(opt.font).elidedText(text, opt.textElideMode,
                                                                       textRect.width()))
                            : std::move(whole),
                     QPointF(0, lineBox.top() - textRect.top())};
        return cache_.emplace(std::move(key), std::move(laid)).first->second;
    }

    TDBGrid* grid_;
    mutable std::unordered_map<Key, LaidOut, KeyHash> cache_;
    mutable QFont font_;
};

// Every change of the current cell, whether the view asks for it (keys,
// clicks) or code does, goes to the grid first: it settles the row being
// left and decides where the grid ends up. The selection is always the
// current cell.
class GridSelectionModel : public QItemSelectionModel {
public:
    GridSelectionModel(QAbstractItemModel* model, TDBGrid* grid)
        : QItemSelectionModel(model, grid), grid_(grid) {}
    void Detach() { grid_ = nullptr; }

    void setCurrentIndex(const QModelIndex& index,
                         QItemSelectionModel::SelectionFlags command) override {
        if (grid_) {
            grid_->requestCurrent(index);
        } else {
            QItemSelectionModel::setCurrentIndex(index, command);
        }
    }
    void Apply(const QModelIndex& index) {
        QItemSelectionModel::setCurrentIndex(index, index.isValid() ? ClearAndSelect : Clear);
    }

    using QItemSelectionModel::select;
    void select(const QItemSelection&, QItemSelectionModel::SelectionFlags) override {
        const QModelIndex current = currentIndex();
        QItemSelectionModel::select(
            current.isValid() ? QItemSelection(current, current) : QItemSelection(),
            ClearAndSelect);
    }

private:
    TDBGrid* grid_;
};

// --- construction -----------------------------------------------------------------

TDBGrid::TDBGrid(QWidget* parent)
    : TControl<QTableView>(parent), model_(new GridModel(this)), delegate_(new GridDelegate(this)) {
    setModel(model_);
    QItemSelectionModel* initial = selectionModel();
    selection_ = new GridSelectionModel(model_, this);
    setSelectionModel(selection_);
    delete initial;
    setItemDelegate(delegate_);
    model_->OnUpdateRecord = [this] { storeEditor(); };

    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    setTabKeyNavigation(true);
    setSortingEnabled(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    // Uniform rows: the view never measures a row.
    QHeaderView* rows = verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 6);
    rows->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("▶")) + 12);
    rows->setDefaultAlignment(Qt::AlignCenter);
    QHeaderView* titles = horizontalHeader();
    titles->setSectionResizeMode(QHeaderView::Interactive);
    titles->setSectionsClickable(false);
    titles->setHighlightSections(false);

    viewport()->installEventFilter(this);
    GuardedConnect(model_, &GridModel::Notified, this, [this] { followCursor(); });
    GuardedConnect(model_, &GridModel::StateChanged, this, [this] { onStateChanged(); });
    GuardedConnect(model_, &QAbstractItemModel::modelReset, this, [this] { onModelReset(); });
}

TDBGrid::~TDBGrid() {
    disconnect(model_, nullptr, this, nullptr);
    delegate_->Detach();
    selection_->Detach();
}

void TDBGrid::SetDataSource(corvana::DataSource* source) {
    discardEditor();
    model_->SetDataSource(source);
}

corvana::DataSource* TDBGrid::GetDataSource() const {
    return model_->GetDataSource();
}

void TDBGrid::SetColumns(std::vector<TColumn> columns) {
    discardEditor();
    model_->SetColumns(std::move(columns));
    followCursor();
}

const std::vector<TColumn>& TDBGrid::Columns() const {
    return model_->Columns();
}

void TDBGrid::SetReadOnly(bool readOnly) {
    if (readOnly) discardEditor();
    readOnly_ = readOnly;
}

void TDBGrid::onModelReset() {
    applyColumnWidths();
    if (curCol_ >= model_->columnCount()) curCol_ = std::max(model_->columnCount() - 1, 0);
}

void TDBGrid::applyColumnWidths() {
    // Widths are set when the columns change, not on every new load, so that
    // the user's resizing survives a refresh of the data.
    QString signature;
    for (int c = 0; c < model_->columnCount(); ++c) {
        const TColumn* column = model_->ColumnAt(c);
        const Field* field = model_->FieldAt(c);
        signature += QString::fromStdString(column->FieldName) + QChar(0x1f) +
                     QString::number(column->Width) + QChar(0x1f) +
                     QString::number(field ? field->Size() : -1) + QChar(0x1e);
    }
    if (signature == columnsSignature_) return;
    columnsSignature_ = signature;
    for (int c = 0; c < model_->columnCount(); ++c) {
        const TColumn* column = model_->ColumnAt(c);
        const int width = column->Width;
        if (width <= 0 && column->Stretch == 0 &&
            (!column->Samples.empty() || !column->PickList.empty()))
            setColumnWidth(c, contentWidth(c));
        else
            setColumnWidth(c, width > 0 ? Scaled(width, font()) : defaultWidth(c));
    }
    stretchColumns();
}

int TDBGrid::contentWidth(int viewColumn) const {
    const TColumn* column = model_->ColumnAt(viewColumn);
    const QFontMetrics cells = fontMetrics();
    int widest = horizontalHeader()->fontMetrics().horizontalAdvance(
        model_->headerData(viewColumn, Qt::Horizontal).toString());
    for (const auto* texts : {&column->Samples, &column->PickList})
        for (const std::string& text : *texts)
            widest = std::max(widest, cells.horizontalAdvance(QString::fromStdString(text)));
    // The cell's margins, and the "..." button an editor of the column shows
    // beside the text.
    const int button = column->EllipsisButton ? cells.height() + 4 : 0;
    return widest + 14 + button;
}

void TDBGrid::stretchColumns() {
    int fixed = 0, shares = 0;
    for (int c = 0; c < model_->columnCount(); ++c) {
        const int share = model_->ColumnAt(c)->Stretch;
        if (share > 0)
            shares += share;
        else
            fixed += columnWidth(c);
    }
    if (shares == 0) return;
    int spare = viewport()->width() - fixed;
    // Floors first; what is left goes by shares, the last column taking the
    // pixels the division leaves.
    std::vector<int> widths;
    for (int c = 0; c < model_->columnCount(); ++c) {
        const TColumn* column = model_->ColumnAt(c);
        const int floor = column->Stretch > 0 ? Scaled(std::max(column->Width, 1), font()) : 0;
        widths.push_back(floor);
        spare -= floor;
    }
    spare = std::max(spare, 0);
    int given = 0, lastStretch = -1;
    for (int c = 0; c < model_->columnCount(); ++c) {
        const int share = model_->ColumnAt(c)->Stretch;
        if (share <= 0) continue;
        const int extra = spare * share / shares;
        widths[static_cast<std::size_t>(c)] += extra;
        given += extra;
        lastStretch = c;
    }
    widths[static_cast<std::size_t>(lastStretch)] += spare - given;
    for (int c = 0; c < model_->columnCount(); ++c)
        if (model_->ColumnAt(c)->Stretch > 0)
            setColumnWidth(c, widths[static_cast<std::size_t>(c)]);
}

int TDBGrid::defaultWidth(int viewColumn) const {
    int chars = 10;
    if (const Field* field = model_->FieldAt(viewColumn)) {
        switch (field->DataType()) {
            case FieldType::String:
                chars = field->Size() > 0 ? std::clamp(field->Size(), 2, 40) : 20;
                break;
            case FieldType::Integer:
                chars = 8;
                break;
            case FieldType::Float:
                chars = 12;
                break;
            case FieldType::Boolean:
                chars = 5;
                break;
            case FieldType::DateTime:
                chars = 16;
                break;
        }
    }
    const QString title = model_->headerData(viewColumn, Qt::Horizontal).toString();
    const int text = chars * fontMetrics().averageCharWidth();
    const int header = horizontalHeader()->fontMetrics().horizontalAdvance(title);
    return std::max(text, header) + 14;
}

// --- columns ------------------------------------------------------------------------

Field* TDBGrid::SelectedField() const {
    if (!model_->IsActive()) return nullptr;
    return model_->FieldAt(curCol_);
}

int TDBGrid::SelectedIndex() const {
    return model_->ListIndexOf(curCol_);
}

void TDBGrid::SetSelectedIndex(int index) {
    const int column = model_->ViewColumnOf(index);
    if (column < 0) return;
    const QModelIndex current = currentIndex();
    if (!current.isValid()) {
        curCol_ = column;  // taken when a row becomes current
        followCursor();
        return;
    }
    if (current.column() != column) setCurrentIndex(model_->index(current.row(), column));
}

void TDBGrid::SetSelectedField(Field* field) {
    const int column = model_->ViewColumnOf(field);
    if (column >= 0) SetSelectedIndex(model_->ListIndexOf(column));
}

void TDBGrid::FocusField(Field* field) {
    setFocus(Qt::OtherFocusReason);
    SetSelectedField(field);
}

// --- following the dataset and moving it -----------------------------------------------

void TDBGrid::followCursor() {
    if (syncing_ || inMove_ || model_->Notifying()) return;
    const int columns = model_->columnCount();
    curCol_ = std::clamp(curCol_, 0, std::max(columns - 1, 0));
    const int row = model_->CurrentRow();
    const QModelIndex want =
        (row >= 0 && columns > 0) ? model_->index(row, curCol_) : QModelIndex();
    if (want == currentIndex()) return;
    if (editor_ && editorIndex_.row() != row) discardEditor();
    FlagScope sync(syncing_);
    selection_->Apply(want);
}

void TDBGrid::requestCurrent(const QModelIndex& to) {
    if (syncing_ || model_->Notifying() || !to.isValid() || !model_->IsActive()) {
        selection_->Apply(to);
        return;
    }
    // One attempt per key press or click: a drag over other rows, or the
    // press a double click repeats, does not ask the dataset again.
    if (refusedGesture_) return;

    const QModelIndex from = currentIndex();
    const bool leavingColumn = from.isValid() && from.column() != to.column();
    const QPersistentModelIndex target(to);  // follows a cancelled insert above it
    const unsigned startGeneration = moveGeneration_;
    unsigned exitGeneration = startGeneration;

    bool ok;
    {
        FlagScope move(inMove_);
        ok = GuardedBool([&] {
            storeEditor();
            if (leavingColumn && !inColExit_ && OnColExit) {
                FlagScope exiting(inColExit_);
                OnColExit(this);
            }
            exitGeneration = moveGeneration_;
            if (exitGeneration != startGeneration) return;  // the handler placed the grid itself
            if (target.isValid() && target.row() != model_->CurrentRow()) {
                ClientDataSet* ds = model_->DataSet();
                ds->CheckBrowseMode();
                if (target.isValid() && target.row() != model_->CurrentRow())
                    ds->SetRecNo(target.row() + 1);
            }
        });
    }
    if (!ok) {
        refusedGesture_ = true;
        followCursor();  // the cursor may have moved before the refusal
        if (editor_) editor_->setFocus();
        return;
    }
    if (exitGeneration != startGeneration) return;
    const int row = model_->CurrentRow();
    if (row < 0) {
        followCursor();
        return;
    }
    // A handler that moved to another column during the post keeps its choice.
    const int column =
        (moveGeneration_ != exitGeneration || !target.isValid()) ? curCol_ : target.column();
    ++moveGeneration_;
    selection_->Apply(model_->index(row, column));
}

void TDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    TControl<QTableView>::currentChanged(current, previous);
    if (!current.isValid() || current.column() == curCol_) return;
    curCol_ = current.column();
    if (!syncing_ && !model_->Notifying() && OnColEnter) Guarded([this] { OnColEnter(this); });
}

void TDBGrid::onStateChanged() {
    // A post or cancel from code ends the row's editing: the editor goes.
    if (!editor_) return;
    const corvana::DataSource* source = model_->GetDataSource();
    if (!source || !IsEditing(source->State())) discardEditor();
}

bool TDBGrid::canEdit(const QModelIndex& index) const {
    return !readOnly_ && index.isValid() && index == currentIndex() && model_->IsActive() &&
           model_->FieldAt(index.column()) != nullptr;
}

bool TDBGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (!canEdit(index) || refusedGesture_) return false;
    return TControl<QTableView>::edit(index, trigger, event);
}

// A current row that was whole in view stays so when the viewport gets
// shorter (a horizontal scroll bar that a new layout brings, a smaller
// window); a row the user scrolled away from is left where it is. The view
// sets its scroll bars for the new size first.
void TDBGrid::resizeEvent(QResizeEvent* event) {
    const QModelIndex current = currentIndex();
    const QRect before = current.isValid() ? visualRect(current) : QRect();
    const bool wasInView =
        current.isValid() && before.top() >= 0 && before.bottom() < event->oldSize().height();
    TControl<QTableView>::resizeEvent(event);
    if (wasInView && visualRect(current).bottom() >= viewport()->height()) scrollTo(current);
}

// --- keys ----------------------------------------------------------------------------

bool TDBGrid::eventFilter(QObject* watched, QEvent* event) {
    if (watched == viewport() && event->type() == QEvent::Resize) stretchColumns();
    if (event->type() == QEvent::KeyPress) {
        if (watched == viewport()) {
            // Only keys a cell editor left unhandled reach the viewport; they
            // go on to the grid, which passes them up to the form.
            viaViewport_ = event;
            return false;
        }
        if (watched == editorInput_ && editorInput_ && !typing_) {
            refusedGesture_ = false;
            bool consumed = true;
            Guarded([&] { consumed = editorKey(static_cast<QKeyEvent*>(event)); });
            return consumed;
        }
    }
    return TControl<QTableView>::eventFilter(watched, event);
}

void TDBGrid::keyPressEvent(QKeyEvent* event) {
    if (event == viaViewport_) {
        viaViewport_ = nullptr;
        event->ignore();
        return;
    }
    if (editor_ && editorInput_) {
        // The grid has a key while its editor is open: the editor takes it.
        if (!forwarding_) {
            FlagScope forward(forwarding_);
            QCoreApplication::sendEvent(editorInput_, event);
        }
        event->accept();
        return;
    }
    if (!keepRefusal_) refusedGesture_ = false;
    bool handled = true;
    Guarded([&] { handled = viewKey(event); });
    if (!handled) TControl<QTableView>::keyPressEvent(event);
}

void TDBGrid::mousePressEvent(QMouseEvent* event) {
    if (!keepRefusal_) refusedGesture_ = false;
    TControl<QTableView>::mousePressEvent(event);
}

void TDBGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    FlagScope keep(keepRefusal_);
    TControl<QTableView>::mouseDoubleClickEvent(event);
}

bool TDBGrid::commonKey(QKeyEvent* event, char32_t& typed, char32_t& key) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & Qt::ControlModifier)) {
        editButtonClick();
        return true;
    }
    typed = key = TypedKey(event);
    if (!typed) return false;
    if (OnKeyPress) OnKeyPress(this, key);
    if (key == 0) return true;
    if (key == kKeyEnter) {
        advanceColumn();
        return true;
    }
    return false;
}

bool TDBGrid::rowKey(int key, Qt::KeyboardModifiers mods) {
    if (key == Qt::Key_Insert && mods == Qt::NoModifier) {
        insertRow();
        return true;
    }
    if (key == Qt::Key_Delete && (mods & Qt::ControlModifier)) {
        deleteRow();
        return true;
    }
    return false;
}

bool TDBGrid::viewKey(QKeyEvent* event) {
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers();
    char32_t typed = 0, k = 0;
    if (commonKey(event, typed, k)) return true;
    if (typed) {
        startEditing(event, k);
        return true;
    }
    if (mods & (Qt::AltModifier | Qt::MetaModifier)) return false;
    switch (key) {
        case Qt::Key_Escape:
            if (!model_->IsActive() || !IsEditing(model_->GetDataSource()->State())) return false;
            cancelRow();
            return true;
        case Qt::Key_Insert:
        case Qt::Key_Delete:
            return rowKey(key, mods);
        case Qt::Key_Down:
            if ((mods & Qt::ControlModifier) || !atLastRow()) return false;
            appendRow();
            return true;
        default:
            return false;
    }
}

bool TDBGrid::editorKey(QKeyEvent* event) {
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers();
    char32_t typed = 0, k = 0;
    if (commonKey(event, typed, k)) return true;
    if (typed) {
        if (k == typed) return false;  // the editor types it
        typeInto(editorInput_, event, k);
        return true;
    }
    if (mods & (Qt::AltModifier | Qt::MetaModifier)) return false;  // Alt+Down opens a pick list
    switch (key) {
        case Qt::Key_Escape:
            cancelRow();
            return true;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            storeEditor();
            navigate(event);
            return true;
        case Qt::Key_Insert:
        case Qt::Key_Delete:
            return rowKey(key, mods);
        default:
            return false;
    }
}

// Sends target a key event that types key (a character, or kKeyBackspace)
// without showing it to OnKeyPress again.
void TDBGrid::typeInto(QWidget* target, const QKeyEvent* original, char32_t key) {
    if (!target) return;
    const Qt::KeyboardModifiers mods =
        original->modifiers() & (Qt::ShiftModifier | Qt::KeypadModifier);
    int code = Qt::Key_unknown;
    QString text;
    if (key == kKeyBackspace) {
        code = Qt::Key_Backspace;
        text = QStringLiteral("\b");
    } else {
        text = QString::fromUcs4(&key, 1);
        if (key == TypedKey(original)) {
            code = original->key();
        } else if (key < 0x80) {
            code = QChar(static_cast<char16_t>(key)).toUpper().unicode();
        }
    }
    QKeyEvent typed(QEvent::KeyPress, code, mods, text);
    FlagScope scope(typing_);
    QCoreApplication::sendEvent(target, &typed);
}

void TDBGrid::startEditing(const QKeyEvent* event, char32_t key) {
    const QModelIndex index = currentIndex();
    if (!canEdit(index)) return;
    if (!editor_ && !edit(index, QAbstractItemView::AllEditTriggers, nullptr)) return;
    typeInto(editorInput_, event, key);
}

void TDBGrid::navigate(QKeyEvent* event) {
    if (event->key() == Qt::Key_Down && !(event->modifiers() & Qt::ControlModifier) &&
        atLastRow()) {
        appendRow();
        return;
    }
    TControl<QTableView>::keyPressEvent(event);
}

void TDBGrid::advanceColumn() {
    storeEditor();
    const QModelIndex current = currentIndex();
    if (!current.isValid()) return;
    if (current.column() + 1 < model_->columnCount()) {
        setCurrentIndex(model_->index(current.row(), current.column() + 1));
    } else if (editor_) {
        closeEditor(editor_, QAbstractItemDelegate::NoHint);
    }
}

bool TDBGrid::atLastRow() const {
    const QModelIndex current = currentIndex();
    return current.isValid() && current.row() == model_->rowCount() - 1;
}

void TDBGrid::appendRow() {
    if (readOnly_ || !model_->IsActive()) return;
    ClientDataSet* ds = model_->DataSet();
    if (ds->IsEmpty()) return;
    storeEditor();
    // A new row nobody typed in yet is not followed by another one.
    if (ds->State() == DataSetState::Insert && !ds->Modified()) return;
    ds->CheckBrowseMode();
    ds->Append();
}

void TDBGrid::insertRow() {
    if (readOnly_ || !model_->IsActive()) return;
    storeEditor();
    model_->DataSet()->Insert();
}

void TDBGrid::deleteRow() {
    if (readOnly_ || !model_->IsActive() || model_->DataSet()->IsEmpty()) return;
    if (!ConfirmDelete.empty() && !corvana::services::Dialogs().Confirm(ConfirmDelete)) return;
    discardEditor();
    model_->DataSet()->Delete();
}

void TDBGrid::cancelRow() {
    discardEditor();
    if (model_->IsActive() && IsEditing(model_->GetDataSource()->State()))
        model_->DataSet()->Cancel();
}

void TDBGrid::editButtonClick() {
    const QModelIndex current = currentIndex();
    const TColumn* column = model_->ColumnAt(current.column());
    if (!current.isValid() || !column || !column->EllipsisButton) return;
    storeEditor();
    if (OnEditButtonClick) OnEditButtonClick(this);
    loadEditor(false);
}

// --- the cell editor ---------------------------------------------------------------------

QWidget* TDBGrid::createCellEditor(QWidget* parent, const QModelIndex& index) {
    const TColumn* column = model_->ColumnAt(index.column());
    const Field* field = model_->FieldAt(index.column());
    QWidget* editor = nullptr;
    QLineEdit* line = nullptr;
    if (column && column->EllipsisButton) {
        auto* box = new QWidget(parent);
        box->setAutoFillBackground(true);
        auto* layout = new QHBoxLayout(box);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        line = new QLineEdit(box);
        line->setFrame(false);
        auto* button = new QToolButton(box);
        button->setObjectName(QStringLiteral("EllipsisButton"));
        button->setText(QStringLiteral("..."));
        button->setFocusPolicy(Qt::NoFocus);
        button->setCursor(Qt::ArrowCursor);
        layout->addWidget(line, 1);
        layout->addWidget(button);
        box->setFocusProxy(line);
        GuardedConnect(button, &QToolButton::clicked, this, [this] { editButtonClick(); });
        editor = box;
        editorInput_ = line;
    } else if (column && !column->PickList.empty()) {
        auto* combo = new QComboBox(parent);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setCompleter(nullptr);
        combo->setFrame(false);
        for (const std::string& word : column->PickList)
            combo->addItem(QString::fromStdString(word));
        combo->setCurrentIndex(-1);  // empty until the field's text is loaded
        line = combo->lineEdit();
        GuardedConnect(combo, &QComboBox::activated, this, [this] { wordChosen(); });
        editor = combo;
        editorInput_ = combo;
    } else {
        line = new QLineEdit(parent);
        line->setFrame(false);
        editor = line;
        editorInput_ = line;
    }
    // The field's size limits what is typed, in characters; a pick list's
    // words, which a set-text handler stores as codes, may be longer.
    if (field && field->DataType() == FieldType::String && field->Size() > 0) {
        std::size_t limit = static_cast<std::size_t>(field->Size());
        if (column) {
            for (const std::string& word : column->PickList)
                limit = std::max(limit, corvana::utf8Length(word));
        }
        line->setValidator(new LengthValidator(static_cast<qsizetype>(limit), line));
    }
    GuardedConnect(line, &QLineEdit::textEdited, this, [this] { textEdited(); });
    editorInput_->installEventFilter(this);
    editor_ = editor;
    editorIndex_ = index;
    editorStored_.clear();
    return editor;
}

void TDBGrid::editorGone(QWidget* editor) {
    if (editor != editor_) return;
    if (editorInput_) editorInput_->removeEventFilter(this);
    editor_ = nullptr;
    editorInput_ = nullptr;
    editorIndex_ = QPersistentModelIndex();
    editorStored_.clear();
}

QString TDBGrid::editorText() const {
    if (auto* combo = qobject_cast<QComboBox*>(editorInput_.data())) return combo->currentText();
    if (auto* line = qobject_cast<QLineEdit*>(editorInput_.data())) return line->text();
    return {};
}

void TDBGrid::setEditorText(const QString& text) {
    QLineEdit* line = qobject_cast<QLineEdit*>(editorInput_.data());
    if (auto* combo = qobject_cast<QComboBox*>(editorInput_.data())) {
        combo->setEditText(text);
        line = combo->lineEdit();
    } else if (line) {
        line->setText(text);
    }
    if (line) line->selectAll();
}

// The field's edit text into the editor. onlyWhenUntouched keeps what the
// user typed and not yet stored.
void TDBGrid::loadEditor(bool onlyWhenUntouched) {
    if (!editor_ || !editorIndex_.isValid()) return;
    if (onlyWhenUntouched && editorText() != editorStored_) return;
    const Field* field = model_->FieldAt(editorIndex_.column());
    const QString text =
        field && model_->IsActive() ? QString::fromStdString(field->Text()) : QString();
    setEditorText(text);
    editorStored_ = text;
}

void TDBGrid::storeEditor() {
    if (!editor_ || !editorIndex_.isValid()) return;
    const QString text = editorText();
    if (text == editorStored_) return;
    model_->StoreText(editorIndex_.row(), editorIndex_.column(), text.toStdString());
    // Shows the text as stored: a set-text handler may have changed it.
    loadEditor(false);
}

void TDBGrid::UpdateData() {
    storeEditor();
}

void TDBGrid::discardEditor() {
    if (editor_) closeEditor(editor_, QAbstractItemDelegate::NoHint);
}

void TDBGrid::commitData(QWidget* editor) {
    if (syncing_ || model_->Notifying() || editor != editor_) return;
    Guarded([this] { storeEditor(); });
}

// The first change of the text puts a browsed row in edit state; a refusal
// (BeforeEdit) closes the editor.
void TDBGrid::textEdited() {
    if (!model_->IsActive()) return;
    ClientDataSet* ds = model_->DataSet();
    if (ds->State() != DataSetState::Browse) return;
    if (!GuardedBool([ds] { ds->Edit(); })) discardEditor();
}

void TDBGrid::wordChosen() {
    storeEditor();
}

void TDBGrid::DoExit() {
    storeEditor();
    if (editor_) closeEditor(editor_, QAbstractItemDelegate::NoHint);
    TFocusEvents::DoExit();
}

}  // namespace corvana::ui
