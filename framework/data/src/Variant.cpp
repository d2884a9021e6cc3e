#include "corvana/data/Variant.h"

#include <charconv>
#include <cmath>

#include "JsonText.h"
#include "corvana/data/DataPacket.h"
#include "corvana/data/Error.h"

namespace corvana {

Variant::Variant(DataPacket p) : v_(std::make_shared<const DataPacket>(std::move(p))) {}
Variant::Variant(std::shared_ptr<const DataPacket> p) {
    if (p) v_ = std::move(p);
}

Variant Variant::serverError(std::string message) {
    Variant v;
    v.v_ = std::make_shared<const ErrorBox>(ErrorBox{std::move(message)});
    return v;
}

const char* Variant::kindName(Kind k) {
    switch (k) {
        case Kind::Null:
            return "nulo";
        case Kind::Bool:
            return "lógico";
        case Kind::Int:
            return "inteiro";
        case Kind::Float:
            return "número";
        case Kind::String:
            return "texto";
        case Kind::DateTime:
            return "data";
        case Kind::Array:
            return "lista";
        case Kind::Packet:
            return "pacote de dados";
        case Kind::Error:
            return "erro do servidor";
    }
    return "?";
}

namespace {

[[noreturn]] void wrongKind(Variant::Kind have, const char* want) {
    throw Error(std::string("Valor do tipo ") + Variant::kindName(have) +
                " não pode ser lido como " + want + ".");
}

// Reads a number typed with either a comma or a dot as decimal separator.
std::optional<double> parseNumber(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    if (s.empty()) return std::nullopt;
    std::string t(s);
    for (char& c : t)
        if (c == ',') c = '.';
    double d = 0;
    const char* b = t.data();
    if (*b == '+') ++b;
    auto res = std::from_chars(b, t.data() + t.size(), d);
    if (res.ec != std::errc() || res.ptr != t.data() + t.size()) return std::nullopt;
    return d;
}

}  // namespace

std::string Variant::toString() const {
    switch (kind()) {
        case Kind::Null:
            return {};
        case Kind::Bool:
            return std::get<bool>(v_) ? "True" : "False";
        case Kind::Int:
            return std::to_string(std::get<std::int64_t>(v_));
        case Kind::Float: {
            std::string s = formatDouble(std::get<double>(v_));
            for (char& c : s)
                if (c == '.') c = ',';
            return s;
        }
        case Kind::String:
            return std::get<std::string>(v_);
        case Kind::DateTime:
            return std::get<corvana::DateTime>(v_).toDisplay();
        case Kind::Array:
            throw Error("Uma lista de valores não tem forma de texto.");
        case Kind::Packet:
            throw Error("Um pacote de dados não tem forma de texto.");
        case Kind::Error:
            throw Error("Erro do servidor: " + errorMessage());
    }
    return {};
}

double Variant::toDouble() const {
    switch (kind()) {
        case Kind::Null:
            return 0;
        case Kind::Bool:
            return std::get<bool>(v_) ? 1 : 0;
        case Kind::Int:
            return static_cast<double>(std::get<std::int64_t>(v_));
        case Kind::Float:
            return std::get<double>(v_);
        case Kind::String: {
            auto d = parseNumber(std::get<std::string>(v_));
            if (!d)
                throw Error("'" + std::get<std::string>(v_) + "' não é um valor numérico válido.");
            return *d;
        }
        default:
            wrongKind(kind(), "número");
    }
}

std::int64_t Variant::toInt() const {
    switch (kind()) {
        case Kind::Int:
            return std::get<std::int64_t>(v_);
        case Kind::Float: {
            double d = std::get<double>(v_);
            if (!std::isfinite(d) || std::fabs(d) > 9.2e18) wrongKind(kind(), "inteiro");
            return static_cast<std::int64_t>(std::llround(d));
        }
        default: {
            double d = toDouble();
            if (!std::isfinite(d) || std::fabs(d) > 9.2e18) wrongKind(kind(), "inteiro");
            return static_cast<std::int64_t>(std::llround(d));
        }
    }
}

bool Variant::toBool() const {
    switch (kind()) {
        case Kind::Null:
            return false;
        case Kind::Bool:
            return std::get<bool>(v_);
        case Kind::Int:
            return std::get<std::int64_t>(v_) != 0;
        case Kind::Float:
            return std::get<double>(v_) != 0;
        case Kind::String: {
            const auto& s = std::get<std::string>(v_);
            if (s == "True" || s == "true" || s == "1") return true;
            if (s == "False" || s == "false" || s == "0" || s.empty()) return false;
            throw Error("'" + s + "' não é um valor lógico válido.");
        }
        default:
            wrongKind(kind(), "lógico");
    }
}

const std::string& Variant::asString() const {
    if (auto p = std::get_if<std::string>(&v_)) return *p;
    wrongKind(kind(), "texto");
}

const corvana::DateTime& Variant::asDateTime() const {
    if (auto p = std::get_if<corvana::DateTime>(&v_)) return *p;
    wrongKind(kind(), "data");
}

const Variant::Array& Variant::asArray() const {
    if (auto p = std::get_if<std::shared_ptr<const Array>>(&v_)) return **p;
    wrongKind(kind(), "lista");
}

const DataPacket& Variant::asPacket() const {
    if (auto p = std::get_if<std::shared_ptr<const DataPacket>>(&v_)) return **p;
    wrongKind(kind(), "pacote de dados");
}

std::shared_ptr<const DataPacket> Variant::packetPtr() const {
    if (auto p = std::get_if<std::shared_ptr<const DataPacket>>(&v_)) return *p;
    wrongKind(kind(), "pacote de dados");
}

const std::string& Variant::errorMessage() const {
    if (auto p = std::get_if<std::shared_ptr<const ErrorBox>>(&v_)) return (*p)->message;
    wrongKind(kind(), "erro do servidor");
}

std::size_t Variant::arraySize() const {
    return asArray().size();
}

const Variant& Variant::operator[](std::size_t index) const {
    const Array& a = asArray();
    if (index >= a.size())
        throw Error("Índice " + std::to_string(index) + " fora da lista de " +
                    std::to_string(a.size()) + " valores.");
    return a[index];
}

bool Variant::operator==(const Variant& o) const {
    Kind a = kind(), b = o.kind();
    if ((a == Kind::Int && b == Kind::Float) || (a == Kind::Float && b == Kind::Int))
        return toDouble() == o.toDouble();
    if (a != b) return false;
    switch (a) {
        case Kind::Null:
            return true;
        case Kind::Array:
            return asArray() == o.asArray();
        case Kind::Packet:
            return asPacket() == o.asPacket();
        case Kind::Error:
            return errorMessage() == o.errorMessage();
        default:
            return v_ == o.v_;
    }
}

std::string Variant::toJson() const {
    std::string out;
    json_text::appendVariant(out, *this);
    return out;
}

Variant Variant::fromJson(std::string_view text) {
    return json_text::readVariant(text);
}

Variant Variant::fromJson(std::string_view text, std::size_t memoryBudget) {
    return json_text::readVariant(text, memoryBudget);
}

Variant Variant::fromJson(std::string_view text, std::size_t memoryBudget, PacketRows rows) {
    return json_text::readVariant(text, memoryBudget, rows == PacketRows::Packed);
}

}  // namespace corvana
