// The data layer's JSON lexer reads every text as nlohmann/json, the
// reference, does: the same tokens with the same values, and the same
// texts refused. The fuzzer fuzz_datapacket compares the two on its inputs.
#include <gtest/gtest.h>

#include "corvana/data/Error.h"
#include "corvana/data/Variant.h"
#include "support/JsonTokens.h"

namespace {

TEST(JsonLexer, ReadsAndRefusesWhatTheReferenceDoes) {
    const std::string cases[] = {
        // values and containers
        "null", " true ", "false", "[]", "{}", "[[],{},[[]]]", "{\"a\":[1,{\"b\":null}]}",
        "\t[1 ,\r\n 2]\n", "[1,]", "[,1]", "{\"a\" 1}", "{\"a\":}", "{1:2}", "{\"a\":1,}", "[1 2]",
        "[1] [2]", "[1]x", "", "   ", "[", "{\"a\":1", "]", "}", ":", "nul", "nulll", "tru", "True",
        // numbers
        "0", "-0", "-0.0", "01", "-", "1.", ".5", "1e", "1e+", "1E-2", "2.5e+3", "-12.50",
        "9223372036854775807", "9223372036854775808", "18446744073709551615",
        "18446744073709551616", "-9223372036854775808", "-9223372036854775809", "1e400", "-1e400",
        "1e-400", "4.9406564584124654e-324", "0.1", "123456789012345678901234567890", "+1", "0x10",
        "1.5.2", "--1",
        // texts
        "\"\"", "\"a\\\"b\\\\c\\/d\\b\\f\\n\\r\\t\"", "\"\\u00e7\\u00C3o\"", "\"\\u0000\"",
        "\"\\ud83d\\ude00\"", "\"\\ud83d\"", "\"\\ude00\"", "\"\\ud83d\\u0041\"", "\"\\ud83dx\"",
        "\"\\u12\"", "\"\\u12g4\"", "\"\\x\"", "\"a", "\"a\\", "\"tab\there\"",
        std::string("\"nul\0l\"", 7), "\"Conceição\"", "\"€ 😀\"", "\"\xc3\"", "\"\xc3\x28\"",
        "\"\xc0\xaf\"", "\"\xe0\x80\xaf\"", "\"\xed\xa0\x80\"", "\"\xf4\x90\x80\x80\"",
        "\"\xf0\x9f\x98\"", "\"\xff\"", "\"\x80\"", "\"\xef\xbf\xbd\"", "\"\xf0\x9f\x98\x80\"",
        "\"\xe2\x82\xac",
        // keys
        "{\"\":1,\"\":2}", "{\"k\\u00e9y\":true}", "{\"a\":1 \"b\":2}"};
    for (const std::string& text : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(corvana::test::OurTokens(text), corvana::test::ReferenceTokenList(text));
    }
}

TEST(JsonLexer, ErrorsSayWhereAndWhatInPortuguese) {
    const std::pair<std::string, std::string> cases[] = {
        {"[\"0001\"", "JSON malformado: o texto termina no meio de um valor na linha 1, coluna 8."},
        {"[1,,2]", "JSON malformado: esperava um valor, encontrou ',' na linha 1, coluna 4."},
        {"[verdadeiro]", "JSON malformado: valor desconhecido"},
        {"[\"a\\qb\"]",
         "JSON malformado: escape inválido dentro de um texto na linha 1, coluna 5."},
        {"[\"\xff\"]", "JSON malformado: texto com UTF-8 inválido na linha 1, coluna 3."},
        {"[01]", "JSON malformado: esperava ',' ou ']', encontrou '1' na linha 1, coluna 3."},
        {"[1] 2", "JSON malformado: texto depois do fim do valor na linha 1, coluna 5."},
        {"[\"ção\",\n  2 3]",
         "JSON malformado: esperava ',' ou ']', encontrou '3' na linha 2, coluna 5."},
        {"{\"$packet\" 1}", "JSON malformado: esperava ':', encontrou '1' na linha 1, coluna 12."},
        {"{1:2}", "JSON malformado: esperava um nome entre aspas ou '}', encontrou '1'"},
    };
    for (const auto& [text, message] : cases) {
        SCOPED_TRACE(text);
        try {
            corvana::Variant::fromJson(text);
            ADD_FAILURE() << "accepted";
        } catch (const corvana::Error& e) {
            EXPECT_EQ(std::string(e.what()).substr(0, message.size()), message);
        }
    }
}

}  // namespace
