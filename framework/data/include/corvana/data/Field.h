#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "corvana/data/DataPacket.h"
#include "corvana/data/Variant.h"

namespace corvana {

class ClientDataSet;

// A column of a ClientDataSet, declared in code (ClientDataSet::AddField) or
// taken from the first packet of a dataset that declares none. Owned by its
// dataset; neither copyable nor movable.
//
// Reads go to the dataset's current record: the edit buffer while the
// dataset is in edit or insert state, the stored row otherwise, null when
// the dataset is closed or empty. Writes go to the edit buffer and raise
// corvana::Error unless the dataset is in edit or insert state.
class Field {
public:
    Field(const Field&) = delete;
    Field& operator=(const Field&) = delete;

    const std::string& Name() const { return name_; }
    FieldType DataType() const { return type_; }
    // Maximum length in characters of a String field; 0 means unlimited.
    int Size() const { return size_; }
    // The server keeps the column at a fixed width (CHAR); values are not
    // padded here, the flag is for the views and the server.
    bool FixedChar() const { return fixedChar_; }
    const std::string& DisplayLabel() const { return displayLabel_; }
    void SetDisplayLabel(std::string label);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible) { visible_ = visible; }
    // Position in the dataset's field list, from 0.
    int Index() const { return index_; }
    ClientDataSet& DataSet() const { return *dataSet_; }
    FieldDef Def() const { return FieldDef{name_, type_, type_ == FieldType::String ? size_ : 0}; }

    // --- value of the current record -------------------------------------
    Variant Value() const;
    // Converts value to the field's type (see Convert) and stores it in the
    // edit buffer; text longer than Size() is cut to Size() characters.
    void SetValue(const Variant& value);
    bool IsNull() const;
    void Clear() { SetValue(Variant()); }

    // Standard text of the value: "" for null, Variant::toString otherwise
    // (a Float gives "2,5", a date its display form).
    std::string AsString() const;
    // Parses text for the field's type: a number with comma or dot for Float,
    // an integer for Integer, a date (ISO or dd/mm/aaaa [hh:mm[:ss]]) for
    // DateTime, True/False/Sim/Não for Boolean. Blank text gives null for
    // every type but String. Bad text raises corvana::Error.
    void SetAsString(const std::string& text);
    double AsFloat() const;  // null gives 0
    void SetAsFloat(double value);
    std::int64_t AsInteger() const;  // null gives 0; a Float is rounded
    void SetAsInteger(std::int64_t value);
    bool AsBoolean() const;  // null gives false

    // The value as it was at the last merge of the change log: the original
    // of a row modified since then, null for a row being inserted or inserted
    // since then, the stored value otherwise.
    Variant OldValue() const;

    // --- text for display and editing ------------------------------------
    // Handlers that replace the standard text. OnGetText receives text
    // already filled with AsString() and may rewrite it; displayText tells
    // whether it is for showing (true) or for editing (false). While it runs
    // inside DisplayTextAt, every field of the dataset reads that row.
    std::function<void(Field& sender, std::string& text, bool displayText)> OnGetText;
    std::function<void(Field& sender, const std::string& text)> OnSetText;

    std::string Text() const;         // text for editing
    std::string DisplayText() const;  // text for showing
    // Through OnSetText when set, otherwise SetAsString.
    void SetText(const std::string& text);

    // --- any row, without moving the cursor and without events -----------
    // row is a 0-based index of the dataset's current rows; for the current
    // row in edit or insert state the edit buffer is read. A row outside the
    // dataset raises corvana::Error.
    Variant ValueAt(int row) const;
    std::string DisplayTextAt(int row) const;

    // Converts value to this field's type, as SetValue stores it; raises
    // corvana::Error when it cannot be converted.
    Variant Convert(const Variant& value) const;

private:
    friend class ClientDataSet;
    Field(ClientDataSet& dataSet, int index, std::string name, FieldType type, int size,
          std::string displayLabel, bool visible, bool fixedChar);

    std::string getText(bool displayText) const;

    ClientDataSet* dataSet_;
    int index_;
    std::string name_;
    FieldType type_;
    int size_;
    std::string displayLabel_;
    bool visible_;
    bool fixedChar_;
};

}  // namespace corvana
