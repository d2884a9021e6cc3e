#pragma once
// The JSON syntax (RFC 8259) read in one pass over the text, without
// recursion and without building anything: each token goes to a handler,
// which builds what it needs.
//
// The handler provides
//   null(), boolean(bool), integer(int64_t), unsignedInteger(uint64_t),
//   floating(double), text(std::string_view), key(std::string_view),
//   startObject(), endObject(), startArray(), endArray()
// and each returns nothing; a handler refuses by throwing. A syntax error
// calls handler.syntaxError(line, column, problem), which must throw: the
// line and the column (in characters, both from 1) of what could not be
// read (just after the text when it ends too soon); problem says in
// Portuguese what was expected and what was found there ("esperava ',' ou
// ']', encontrou ':'").
//
// Texts are checked as the standard asks: well-formed UTF-8 (no overlong
// forms, no surrogates, nothing above U+10FFFF), no unescaped control
// character, escapes among \" \\ \/ \b \f \n \r \t \uXXXX, a surrogate
// escape only in its pair. A text without escapes reaches the handler as
// a view into the input; the others through a buffer reused for each.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "corvana/data/Text.h"

namespace corvana::json_text {

template <class Handler>
class Lexer {
public:
    Lexer(std::string_view text, Handler& handler)
        : p_(text.data()), begin_(text.data()), end_(text.data() + text.size()), h_(handler) {}

    void run() {
        enum class Want { Value, ValueOrClose, CommaOrClose, Key, KeyOrClose, Colon };
        Want want = Want::Value;
        // Open containers: true for an object.
        std::vector<bool> open;
        for (;;) {
            skipBlanks();
            if (want == Want::CommaOrClose && open.empty()) {
                if (p_ != end_) fail("texto depois do fim do valor");
                return;
            }
            if (p_ == end_) fail("o texto termina no meio de um valor");
            const char c = *p_;
            switch (want) {
                case Want::Colon:
                    if (c != ':') fail("esperava ':'", true);
                    ++p_;
                    want = Want::Value;
                    continue;
                case Want::CommaOrClose:
                    if (c == ',') {
                        ++p_;
                        want = open.back() ? Want::Key : Want::Value;
                    } else if (c == (open.back() ? '}' : ']')) {
                        ++p_;
                        const bool object = open.back();
                        open.pop_back();
                        object ? h_.endObject() : h_.endArray();
                    } else {
                        fail(open.back() ? "esperava ',' ou '}'" : "esperava ',' ou ']'", true);
                    }
                    continue;
                case Want::Key:
                case Want::KeyOrClose:
                    if (c == '}' && want == Want::KeyOrClose) {
                        ++p_;
                        open.pop_back();
                        h_.endObject();
                        want = Want::CommaOrClose;
                        continue;
                    }
                    if (c != '"')
                        fail(want == Want::KeyOrClose ? "esperava um nome entre aspas ou '}'"
                                                      : "esperava um nome entre aspas",
                             true);
                    h_.key(readText());
                    want = Want::Colon;
                    continue;
                case Want::Value:
                case Want::ValueOrClose:
                    break;
            }
            if (c == ']' && want == Want::ValueOrClose) {
                ++p_;
                open.pop_back();
                h_.endArray();
                want = Want::CommaOrClose;
                continue;
            }
            switch (c) {
                case '{':
                    ++p_;
                    h_.startObject();
                    open.push_back(true);
                    want = Want::KeyOrClose;
                    continue;
                case '[':
                    ++p_;
                    h_.startArray();
                    open.push_back(false);
                    want = Want::ValueOrClose;
                    continue;
                case '"':
                    h_.text(readText());
                    break;
                case 't':
                    literal("true");
                    h_.boolean(true);
                    break;
                case 'f':
                    literal("false");
                    h_.boolean(false);
                    break;
                case 'n':
                    literal("null");
                    h_.null();
                    break;
                default:
                    if (c == '-' || (c >= '0' && c <= '9')) {
                        readNumber();
                        break;
                    }
                    if (c == ']' || c == '}' || c == ',' || c == ':')
                        fail("esperava um valor", true);
                    fail("valor desconhecido (use texto entre aspas, número, true, false ou null)");
            }
            want = Want::CommaOrClose;
        }
    }

private:
    // found: name the character at the position ("encontrou ':'").
    [[noreturn]] void fail(const char* problem, bool found = false) {
        std::size_t line = 1, column = 1;
        for (const char* q = begin_; q != p_; ++q) {
            if (*q == '\n') {
                ++line;
                column = 1;
            } else if ((static_cast<unsigned char>(*q) & 0xC0) != 0x80) {
                ++column;  // a character's first byte
            }
        }
        std::string text = problem;
        if (found && p_ != end_ && *p_ >= ' ' && *p_ <= '~')
            text += std::string(", encontrou '") + *p_ + "'";
        h_.syntaxError(line, column, text.c_str());
        std::abort();  // the handler throws
    }

    void skipBlanks() {
        while (p_ != end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) ++p_;
    }

    void literal(std::string_view word) {
        for (char expected : word) {
            if (p_ == end_) fail("o texto termina no meio de um valor");
            if (*p_ != expected)
                fail("valor desconhecido (use texto entre aspas, número, true, false ou null)");
            ++p_;
        }
    }

    static bool digit(char c) { return c >= '0' && c <= '9'; }

    void readNumber() {
        const char* start = p_;
        bool integral = true;
        if (*p_ == '-') ++p_;
        if (p_ == end_) fail("o texto termina no meio de um valor");
        if (*p_ == '0') {
            ++p_;
        } else if (digit(*p_)) {
            while (p_ != end_ && digit(*p_)) ++p_;
        } else {
            fail("número inválido");
        }
        if (p_ != end_ && *p_ == '.') {
            integral = false;
            ++p_;
            if (p_ == end_) fail("o texto termina no meio de um valor");
            if (!digit(*p_)) fail("número inválido");
            while (p_ != end_ && digit(*p_)) ++p_;
        }
        if (p_ != end_ && (*p_ == 'e' || *p_ == 'E')) {
            integral = false;
            ++p_;
            if (p_ != end_ && (*p_ == '+' || *p_ == '-')) ++p_;
            if (p_ == end_) fail("o texto termina no meio de um valor");
            if (!digit(*p_)) fail("número inválido");
            while (p_ != end_ && digit(*p_)) ++p_;
        }
        if (integral) {
            if (*start == '-') {
                std::int64_t i = 0;
                if (std::from_chars(start, p_, i).ec == std::errc()) return h_.integer(i);
            } else {
                std::uint64_t u = 0;
                if (std::from_chars(start, p_, u).ec == std::errc()) return h_.unsignedInteger(u);
            }
            // Too large for 64 bits: read as a float, as a decimal reader would.
        }
        double d = 0;
        const auto r = std::from_chars(start, p_, d);
        if (r.ec == std::errc::result_out_of_range) {
            // Below the smallest double it reads as strtod reads it (zero or
            // a subnormal); beyond the largest it has no value.
            d = std::strtod(std::string(start, p_).c_str(), nullptr);
            if (d == HUGE_VAL || d == -HUGE_VAL) {
                p_ = start;
                fail("número grande demais");
            }
        }
        h_.floating(d);
    }

    int hexDigit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    char32_t readHex4() {
        char32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            if (p_ == end_) fail("o texto termina no meio de um valor");
            const int d = hexDigit(*p_);
            if (d < 0) fail("escape \\u sem quatro dígitos hexadecimais");
            v = v * 16 + static_cast<char32_t>(d);
            ++p_;
        }
        return v;
    }

    // One well-formed UTF-8 sequence of two to four bytes at p_, or fails.
    void skipMultibyte() {
        const auto byte = [this](std::ptrdiff_t i) { return static_cast<unsigned char>(p_[i]); };
        const unsigned char lead = byte(0);
        int length = 0;
        unsigned char low = 0x80, high = 0xBF;  // range of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;   // no overlong form
            if (lead == 0xED) high = 0x9F;  // no surrogate
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;   // no overlong form
            if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
        } else {
            fail("texto com UTF-8 inválido");
        }
        if (end_ - p_ < length) {
            ++p_;
            while (p_ != end_ && (static_cast<unsigned char>(*p_) & 0xC0) == 0x80) ++p_;
            fail(p_ == end_ ? "o texto termina no meio de um valor" : "texto com UTF-8 inválido");
        }
        if (byte(1) < low || byte(1) > high) {
            ++p_;
            fail("texto com UTF-8 inválido");
        }
        for (int i = 2; i < length; ++i) {
            if ((byte(i) & 0xC0) != 0x80) {
                p_ += i;
                fail("texto com UTF-8 inválido");
            }
        }
        p_ += length;
    }

    // The text whose opening quote is at p_; leaves p_ after its closing quote.
    std::string_view readText() {
        ++p_;
        const char* start = p_;
        bool escaped = false;
        for (;;) {
            // Plain ASCII runs are the common case.
            while (p_ != end_) {
                const auto b = static_cast<unsigned char>(*p_);
                if (b == '"' || b == '\\' || b < 0x20 || b >= 0x80) break;
                ++p_;
            }
            if (p_ == end_) fail("o texto termina no meio de um valor");
            const auto b = static_cast<unsigned char>(*p_);
            if (b == '"') break;
            if (b < 0x20) fail("caractere de controle sem escape dentro de um texto");
            if (b >= 0x80) {
                skipMultibyte();
                continue;
            }
            escaped = true;  // a backslash: the rest goes through the buffer
            break;
        }
        if (!escaped) {
            std::string_view text(start, static_cast<std::size_t>(p_ - start));
            ++p_;
            return text;
        }
        buffer_.assign(start, p_);
        for (;;) {
            if (p_ == end_) fail("o texto termina no meio de um valor");
            const auto b = static_cast<unsigned char>(*p_);
            if (b == '"') {
                ++p_;
                return buffer_;
            }
            if (b < 0x20) fail("caractere de controle sem escape dentro de um texto");
            if (b >= 0x80) {
                const char* from = p_;
                skipMultibyte();
                buffer_.append(from, p_);
                continue;
            }
            if (b != '\\') {
                buffer_ += static_cast<char>(b);
                ++p_;
                continue;
            }
            ++p_;
            if (p_ == end_) fail("o texto termina no meio de um valor");
            const char e = *p_++;
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    buffer_ += e;
                    break;
                case 'b':
                    buffer_ += '\b';
                    break;
                case 'f':
                    buffer_ += '\f';
                    break;
                case 'n':
                    buffer_ += '\n';
                    break;
                case 'r':
                    buffer_ += '\r';
                    break;
                case 't':
                    buffer_ += '\t';
                    break;
                case 'u': {
                    char32_t cp = readHex4();
                    if (cp >= 0xDC00 && cp <= 0xDFFF) fail("par de escapes \\u inválido");
                    if (cp >= 0xD800 && cp <= 0xDBFF) {
                        if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u')
                            fail("par de escapes \\u inválido");
                        p_ += 2;
                        const char32_t low = readHex4();
                        if (low < 0xDC00 || low > 0xDFFF) fail("par de escapes \\u inválido");
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    }
                    appendUtf8(buffer_, cp);
                    break;
                }
                default:
                    --p_;
                    fail("escape inválido dentro de um texto");
            }
        }
    }

    const char* p_;
    const char* begin_;
    const char* end_;
    Handler& h_;
    std::string buffer_;
};

template <class Handler>
void lex(std::string_view text, Handler& handler) {
    Lexer<Handler>(text, handler).run();
}

}  // namespace corvana::json_text
