#pragma once
#include <QPersistentModelIndex>
#include <QPointer>
#include <QTableView>
#include <functional>
#include <string>
#include <vector>

#include "corvana/ui/GridModel.h"
#include "corvana/ui/TControl.h"

namespace corvana::ui {

class GridDelegate;
class GridSelectionModel;

// The data grid: a table over the rows of a DataSource's dataset, edited in
// place. The grid's current row is the dataset's cursor: moving the cursor
// from code moves the grid, and the user moving to another row moves the
// cursor (SetRecNo).
//
// Editing. Typing a character on a cell opens its editor with the character
// (the dataset enters edit state at the first change of the text); F2 or a
// double click opens the editor with the field's text. The typed text is
// stored in the field (Field::SetText, so through its set-text handler) when
// the cell is left: Enter (which then moves to the next column), Tab, another
// column or row, the focus leaving the grid (see UpdateData for buttons that
// take no focus). A column with a pick list edits with a drop-down of its
// words, and choosing one stores it at once; a column with EllipsisButton
// shows a "..." button in its editor (Ctrl+Enter does the same). The editor
// of a String field takes at most the field's size in characters (a pick-list
// column also its longest word): a key or a paste that would pass it is
// refused whole, so nothing typed is cut silently when it is stored.
//
// Rows. Leaving a row in edit or insert state stores the cell's text and
// posts the row (CheckBrowseMode). When the post is refused (BeforePost
// throws) the message is shown once and the user stays on the row with the
// typed values kept; repeating the move within the same key press or mouse
// gesture is not attempted again. Insert inserts a row, Down on the last row
// appends one (unless the dataset is closed or empty), Esc discards the
// editor's text and cancels the row (Cancel), Ctrl+Delete deletes the row
// after the ConfirmDelete question.
//
// Keys typed on the grid or in a cell editor go first to OnKeyPress.
class TDBGrid : public TControl<QTableView> {
    Q_OBJECT
public:
    using TColumn = corvana::ui::TColumn;

    explicit TDBGrid(QWidget* parent = nullptr);
    ~TDBGrid() override;

    void SetDataSource(corvana::DataSource* source);
    corvana::DataSource* GetDataSource() const;

    // Persistent columns (see TColumn); an empty list shows one column per
    // visible field of the dataset.
    void SetColumns(std::vector<TColumn> columns);
    // The persistent columns, hidden ones included, or the default ones.
    const std::vector<TColumn>& Columns() const;

    // The field of the current column; nullptr when the dataset is closed or
    // the column has no field.
    corvana::Field* SelectedField() const;
    // Moves to the column of field on the current row (nothing when no
    // visible column shows it). Leaving the column stores the cell's text and
    // raises OnColExit as a user's move does; a refusal is shown and the
    // column stays.
    void SetSelectedField(corvana::Field* field);
    // Index of the current column in Columns(); -1 without columns.
    int SelectedIndex() const;
    void SetSelectedIndex(int index);
    // The focus to the grid on the column of field: what a screen does to
    // send the user back to a column ("move the focus to the name column").
    void FocusField(corvana::Field* field);

    // A read-only grid opens no editor and neither inserts nor deletes.
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly);

    // The question asked before Ctrl+Delete deletes a row; empty deletes
    // without asking.
    std::string ConfirmDelete = "Confirma exclusão?";

    // Stores the text typed in the open cell editor in its field. Raises what
    // the field or the dataset raises. A screen calls it before posting from
    // a button that takes no focus (a tool button), since the grid cannot see
    // such a click.
    void UpdateData();
    // The open cell editor, or nullptr.
    QWidget* CellEditor() const { return editor_; }

    GridModel* Model() const { return model_; }

    // --- events (the sender is the grid) -----------------------------------
    // Every typed character, Enter and Backspace (kKeyEnter, kKeyBackspace of
    // corvana/ui/KeyCodes.h; Escape is the grid's own), before the grid or
    // the cell editor acts on it. Setting key to 0 discards it; setting it to
    // another character types that one instead.
    std::function<void(QObject* sender, char32_t& key)> OnKeyPress;
    // The current column is about to change: the text typed in the column
    // being left is already in its field, and SelectedField() is still that
    // column. Throwing keeps the user in the column.
    std::function<void(QObject* sender)> OnColExit;
    // A new column became current (SelectedField() is the new one).
    std::function<void(QObject* sender)> OnColEnter;
    // The "..." button of a column with EllipsisButton was clicked (or
    // Ctrl+Enter typed on it). The editor then shows the field's new text.
    std::function<void(QObject* sender)> OnEditButtonClick;

    // Stores the cell editor's text before OnExit; a refusal keeps the focus.
    void DoExit() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void commitData(QWidget* editor) override;

private:
    friend class GridDelegate;
    friend class GridSelectionModel;

    // Moves asked by the view or by code, through the selection model.
    void requestCurrent(const QModelIndex& to);
    void followCursor();
    void onStateChanged();
    void onModelReset();
    void applyColumnWidths();
    int defaultWidth(int viewColumn) const;
    int contentWidth(int viewColumn) const;
    // Gives the stretching columns the width the others leave.
    void stretchColumns();
    bool canEdit(const QModelIndex& index) const;

    // Keys.
    // What the grid and its editor do alike with a key: Ctrl+Enter clicks the
    // edit button; a typed key goes through OnKeyPress, which may swallow it
    // (0) or turn it into Enter (the next column). True when it was handled
    // so; otherwise `typed` is the key typed (0 for none) and `key` what
    // OnKeyPress left of it.
    bool commonKey(QKeyEvent* event, char32_t& typed, char32_t& key);
    // Insert inserts a row, Ctrl+Delete deletes the current one, in the grid
    // and in its editor alike; false for any other key.
    bool rowKey(int key, Qt::KeyboardModifiers mods);
    bool viewKey(QKeyEvent* event);
    bool editorKey(QKeyEvent* event);
    void typeInto(QWidget* target, const QKeyEvent* original, char32_t key);
    void startEditing(const QKeyEvent* event, char32_t key);
    void navigate(QKeyEvent* event);
    void advanceColumn();
    bool atLastRow() const;
    void appendRow();
    void insertRow();
    void deleteRow();
    void cancelRow();
    void editButtonClick();

    // The cell editor.
    QWidget* createCellEditor(QWidget* parent, const QModelIndex& index);
    void loadEditor(bool onlyWhenUntouched);
    void editorGone(QWidget* editor);
    QString editorText() const;
    void setEditorText(const QString& text);
    void storeEditor();
    void discardEditor();
    void textEdited();
    void wordChosen();

    GridModel* model_;
    GridDelegate* delegate_;
    GridSelectionModel* selection_;
    bool readOnly_ = false;

    int curCol_ = 0;               // the selected view column
    unsigned moveGeneration_ = 0;  // applied current changes
    bool syncing_ = false;         // the grid follows the dataset
    bool inMove_ = false;          // a user's move is being settled
    bool inColExit_ = false;
    bool refusedGesture_ = false;  // a move was refused in this key press or click
    bool keepRefusal_ = false;
    bool typing_ = false;  // a key already seen by OnKeyPress goes to the editor
    bool forwarding_ = false;
    const QEvent* viaViewport_ = nullptr;
    QString columnsSignature_;

    QPointer<QWidget> editor_;       // the open cell editor
    QPointer<QWidget> editorInput_;  // its widget that takes the keys
    QPersistentModelIndex editorIndex_;
    QString editorStored_;  // the text the field holds for the editor
};

}  // namespace corvana::ui
