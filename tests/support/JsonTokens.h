#pragma once
// The tokens of a JSON text as a list, read two ways: by the data layer's
// own lexer and by nlohmann/json's SAX parser, the reference. Both give one
// line per token, or "refused" when the text is not JSON, so that the two
// readings can be compared text for text.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>

#include "JsonLexer.h"

namespace corvana::test {

struct TokenList {
    std::string out;

    static std::string number(double d) {
        char text[64];
        std::snprintf(text, sizeof text, "%a", d);
        return text;
    }
    void put(std::string_view token) { out.append(token).push_back('\n'); }

    // The data layer's lexer.
    void null() { put("null"); }
    void boolean(bool b) { put(b ? "true" : "false"); }
    void integer(std::int64_t i) { put("int " + std::to_string(i)); }
    void unsignedInteger(std::uint64_t u) { put("uint " + std::to_string(u)); }
    void floating(double d) { put("float " + number(d)); }
    void text(std::string_view s) { put("text " + std::string(s)); }
    void key(std::string_view s) { put("key " + std::string(s)); }
    void startObject() { put("{"); }
    void endObject() { put("}"); }
    void startArray() { put("["); }
    void endArray() { put("]"); }
    [[noreturn]] void syntaxError(std::size_t, std::size_t, const char*) {
        throw std::invalid_argument("");
    }

    // nlohmann's SAX interface.
    bool number_integer(std::int64_t i) { return integer(i), true; }
    bool number_unsigned(std::uint64_t u) { return unsignedInteger(u), true; }
    bool number_float(double d, const std::string&) { return floating(d), true; }
    bool string(std::string& s) { return text(s), true; }
    bool binary(nlohmann::json::binary_t&) { return false; }
    bool start_object(std::size_t) { return startObject(), true; }
    bool key(std::string& s) { return key(std::string_view(s)), true; }
    bool end_object() { return endObject(), true; }
    bool start_array(std::size_t) { return startArray(), true; }
    bool end_array() { return endArray(), true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::json::exception&) {
        return false;
    }
};

// nlohmann's SAX calls null() and boolean() expecting a bool back.
struct ReferenceTokens : TokenList {
    bool null() { return TokenList::null(), true; }
    bool boolean(bool b) { return TokenList::boolean(b), true; }
};

inline std::string OurTokens(std::string_view text) {
    TokenList list;
    try {
        corvana::json_text::lex(text, list);
    } catch (const std::invalid_argument&) {
        return "refused";
    }
    return list.out;
}

inline std::string ReferenceTokenList(std::string_view text) {
    ReferenceTokens list;
    if (!nlohmann::json::sax_parse(text.begin(), text.end(), &list)) return "refused";
    return list.out;
}

}  // namespace corvana::test
