#include "corvana/data/Field.h"

#include <charconv>
#include <cmath>
#include <optional>

#include "corvana/data/ClientDataSet.h"
#include "corvana/data/Error.h"
#include "corvana/data/Text.h"

namespace corvana {

namespace {

std::optional<double> parseFloat(std::string_view text) {
    std::string s = trimBlanks(text);
    if (!s.empty() && s.front() == '+') s.erase(0, 1);
    if (s.empty()) return std::nullopt;
    const auto comma = s.find(',');
    if (comma != std::string::npos) {
        // One separator only: "1,5" or "1.5", never both nor two of them.
        if (s.find(',', comma + 1) != std::string::npos || s.find('.') != std::string::npos) {
            return std::nullopt;
        }
        s[comma] = '.';
    }
    double value = 0;
    const char* end = s.data() + s.size();
    const auto [ptr, ec] = std::from_chars(s.data(), end, value);
    if (ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
    std::string s = trimBlanks(text);
    if (!s.empty() && s.front() == '+') s.erase(0, 1);
    if (s.empty()) return std::nullopt;
    std::int64_t value = 0;
    const char* end = s.data() + s.size();
    const auto [ptr, ec] = std::from_chars(s.data(), end, value);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

std::optional<bool> parseBoolean(std::string_view text) {
    const std::string s = foldCase(trimBlanks(text));
    for (const char* yes : {"true", "verdadeiro", "sim", "s", "t", "1"}) {
        if (s == yes) return true;
    }
    for (const char* no : {"false", "falso", "não", "nao", "n", "f", "0"}) {
        if (s == no) return false;
    }
    return std::nullopt;
}

// Reads an unsigned decimal of 1..maxDigits digits at text[pos].
bool readNumber(std::string_view text, std::size_t& pos, int maxDigits, int& out) {
    const std::size_t start = pos;
    out = 0;
    while (pos < text.size() && pos - start < static_cast<std::size_t>(maxDigits) &&
           text[pos] >= '0' && text[pos] <= '9') {
        out = out * 10 + (text[pos] - '0');
        ++pos;
    }
    return pos > start;
}

bool expect(std::string_view text, std::size_t& pos, char c) {
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

// ISO form, or the display form "dd/mm/aaaa[ hh:mm[:ss]]".
std::optional<DateTime> parseDateTime(std::string_view text) {
    const std::string s = trimBlanks(text);
    if (auto iso = DateTime::fromIso(s)) return iso;
    DateTime d;
    std::size_t pos = 0;
    if (!readNumber(s, pos, 2, d.day) || !expect(s, pos, '/') || !readNumber(s, pos, 2, d.month) ||
        !expect(s, pos, '/') || !readNumber(s, pos, 4, d.year)) {
        return std::nullopt;
    }
    d.hour = d.minute = d.second = d.millisecond = 0;
    if (pos < s.size()) {
        if (!expect(s, pos, ' ') || !readNumber(s, pos, 2, d.hour) || !expect(s, pos, ':') ||
            !readNumber(s, pos, 2, d.minute)) {
            return std::nullopt;
        }
        if (pos < s.size() && (!expect(s, pos, ':') || !readNumber(s, pos, 2, d.second))) {
            return std::nullopt;
        }
    }
    if (pos != s.size() || !d.valid()) return std::nullopt;
    return d;
}

[[noreturn]] void throwIncompatible(const Field& field, const Variant& value) {
    throw Error("Não é possível atribuir um valor do tipo " +
                std::string(Variant::kindName(value.kind())) + " ao campo '" + field.Name() +
                "' (" + fieldTypeName(field.DataType()) + ").");
}

}  // namespace

Field::Field(ClientDataSet& dataSet, int index, std::string name, FieldType type, int size,
             std::string displayLabel, bool visible, bool fixedChar)
    : dataSet_(&dataSet),
      index_(index),
      name_(std::move(name)),
      type_(type),
      size_(type == FieldType::String && size > 0 ? size : 0),
      displayLabel_(displayLabel.empty() ? name_ : std::move(displayLabel)),
      visible_(visible),
      fixedChar_(fixedChar) {}

void Field::SetDisplayLabel(std::string label) {
    displayLabel_ = label.empty() ? name_ : std::move(label);
}

Variant Field::Convert(const Variant& value) const {
    if (value.isNull()) return value;
    const Variant::Kind kind = value.kind();
    switch (type_) {
        case FieldType::String: {
            if (kind == Variant::Kind::String) {
                const std::string& s = value.asString();
                if (size_ > 0 && s.size() > static_cast<std::size_t>(size_)) {
                    return Variant(utf8Truncate(s, static_cast<std::size_t>(size_)));
                }
                return value;
            }
            if (kind == Variant::Kind::Array || kind == Variant::Kind::Packet ||
                kind == Variant::Kind::Error) {
                throwIncompatible(*this, value);
            }
            return Convert(Variant(value.toString()));
        }
        case FieldType::Integer:
            if (kind == Variant::Kind::Int) return value;
            if (kind == Variant::Kind::Float) {
                const double d = value.toDouble();
                if (std::isfinite(d) && std::nearbyint(d) == d && std::fabs(d) < 9.2e18) {
                    return Variant(static_cast<std::int64_t>(d));
                }
                throw Error("'" + value.toString() + "' não é um valor inteiro válido.");
            }
            if (kind == Variant::Kind::String) {
                if (trimBlanks(value.asString()).empty()) return Variant();
                if (auto i = parseInteger(value.asString())) return Variant(*i);
                throw Error("'" + value.asString() + "' não é um valor inteiro válido.");
            }
            throwIncompatible(*this, value);
        case FieldType::Float:
            if (kind == Variant::Kind::Float) return value;
            if (kind == Variant::Kind::Int) return Variant(value.toDouble());
            if (kind == Variant::Kind::String) {
                if (trimBlanks(value.asString()).empty()) return Variant();
                if (auto d = parseFloat(value.asString())) return Variant(*d);
                throw Error("'" + value.asString() + "' não é um valor numérico válido.");
            }
            throwIncompatible(*this, value);
        case FieldType::Boolean:
            if (kind == Variant::Kind::Bool) return value;
            if (kind == Variant::Kind::String) {
                if (trimBlanks(value.asString()).empty()) return Variant();
                if (auto b = parseBoolean(value.asString())) return Variant(*b);
                throw Error("'" + value.asString() + "' não é um valor lógico válido.");
            }
            throwIncompatible(*this, value);
        case FieldType::DateTime:
            if (kind == Variant::Kind::DateTime) return value;
            if (kind == Variant::Kind::String) {
                if (trimBlanks(value.asString()).empty()) return Variant();
                if (auto d = parseDateTime(value.asString())) return Variant(*d);
                throw Error("'" + value.asString() + "' não é uma data válida.");
            }
            throwIncompatible(*this, value);
    }
    throwIncompatible(*this, value);
}

Variant Field::Value() const {
    return dataSet_->readCurrent(index_);
}

void Field::SetValue(const Variant& value) {
    dataSet_->writeCurrent(*this, Convert(value));
}

bool Field::IsNull() const {
    return dataSet_->readCurrent(index_).isNull();
}

std::string Field::AsString() const {
    return dataSet_->readCurrent(index_).toString();
}

void Field::SetAsString(const std::string& text) {
    SetValue(Variant(text));
}

double Field::AsFloat() const {
    return dataSet_->readCurrent(index_).toDouble();
}

void Field::SetAsFloat(double value) {
    SetValue(Variant(value));
}

std::int64_t Field::AsInteger() const {
    return dataSet_->readCurrent(index_).toInt();
}

void Field::SetAsInteger(std::int64_t value) {
    SetValue(Variant(value));
}

bool Field::AsBoolean() const {
    const Variant& v = dataSet_->readCurrent(index_);
    return v.isNull() ? false : v.toBool();
}

Variant Field::OldValue() const {
    return dataSet_->readOld(index_);
}

std::string Field::getText(bool displayText) const {
    std::string text = AsString();
    if (OnGetText) OnGetText(const_cast<Field&>(*this), text, displayText);
    return text;
}

std::string Field::Text() const {
    return getText(false);
}

std::string Field::DisplayText() const {
    return getText(true);
}

void Field::SetText(const std::string& text) {
    if (OnSetText) {
        OnSetText(*this, text);
    } else {
        SetAsString(text);
    }
}

Variant Field::ValueAt(int row) const {
    return dataSet_->readCell(dataSet_->checkRow(row), index_);
}

std::string Field::DisplayTextAt(int row) const {
    const int checked = dataSet_->checkRow(row);
    if (!OnGetText) return dataSet_->readCell(checked, index_).toString();
    // Redirect every field's reads to row while the handler runs; restored
    // even when it throws, and nestable.
    struct Redirect {
        int& slot;
        int saved;
        ~Redirect() { slot = saved; }
    } redirect{dataSet_->readRow_, dataSet_->readRow_};
    dataSet_->readRow_ = checked;
    return getText(true);
}

}  // namespace corvana
