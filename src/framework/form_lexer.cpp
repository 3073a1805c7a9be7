// The tokenizer of form descriptions.
#include "framework/form_lexer.hpp"

#include "framework/rtti.hpp"

#include <charconv>
#include <cmath>

namespace fw::detail {

namespace {

bool IsIdentStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsIdentChar(char c) {
    return IsIdentStart(c) || IsDigit(c);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string Printable(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 32 && u < 127) return std::string("'") + c + "'";
    return "#" + std::to_string(u);
}

} // namespace

bool Token::IsKeyword(std::string_view word) const {
    return kind == TokenKind::Ident && SameIdent(text, word);
}

std::string Token::Describe() const {
    switch (kind) {
    case TokenKind::End:
        return "end of text";
    case TokenKind::Ident:
        return "'" + text + "'";
    case TokenKind::Integer:
        return "number " + std::to_string(integer);
    case TokenKind::Float:
        return "number " + text;
    case TokenKind::String:
        return "a string";
    case TokenKind::Symbol:
        return "'" + text + "'";
    }
    return "?";
}

FormLexer::FormLexer(std::string_view text) : text_(text) {
    Next();
}

void FormLexer::SkipBlanks() {
    while (!AtEnd()) {
        const char c = text_[pos_];
        if (c == '\n') {
            ++line_;
        } else if (c != ' ' && c != '\t' && c != '\r') {
            return;
        }
        ++pos_;
    }
}

void FormLexer::Next() {
    SkipBlanks();
    current_ = Token{};
    current_.line = line_;
    if (AtEnd()) return;
    const char c = text_[pos_];
    if (IsIdentStart(c)) {
        const std::size_t start = pos_;
        while (IsIdentChar(Peek()))
            ++pos_;
        current_.kind = TokenKind::Ident;
        current_.text = std::string(text_.substr(start, pos_ - start));
    } else if (IsDigit(c) || (c == '-' && IsDigit(Peek(1)))) {
        LexNumber();
    } else if (c == '\'' || c == '#') {
        LexString();
    } else if (std::string_view(":=.,[]+{}()<>").find(c) != std::string_view::npos) {
        current_.kind = TokenKind::Symbol;
        current_.text = std::string(1, c);
        ++pos_;
    } else {
        FailHere("unexpected character " + Printable(c));
    }
}

void FormLexer::LexNumber() {
    const std::size_t start = pos_;
    bool is_float = false;
    if (Peek() == '-') ++pos_;
    while (IsDigit(Peek()))
        ++pos_;
    if (Peek() == '.' && IsDigit(Peek(1))) {
        is_float = true;
        ++pos_;
        while (IsDigit(Peek()))
            ++pos_;
    }
    if (Peek() == 'e' || Peek() == 'E') {
        std::size_t p = 1;
        if (Peek(p) == '+' || Peek(p) == '-') ++p;
        if (IsDigit(Peek(p))) {
            is_float = true;
            pos_ += p;
            while (IsDigit(Peek()))
                ++pos_;
        }
    }
    const std::string_view digits = text_.substr(start, pos_ - start);
    if (IsIdentChar(Peek()) || Peek() == '.')
        FailHere("invalid number '" + std::string(digits) + Peek() + "'");
    current_.text = std::string(digits);
    // from_chars takes no leading '+', and a leading '-' only on signed targets: fine here.
    if (is_float) {
        current_.kind = TokenKind::Float;
        auto [end, ec] =
            std::from_chars(digits.data(), digits.data() + digits.size(), current_.real);
        if (ec != std::errc() || end != digits.data() + digits.size() ||
            !std::isfinite(current_.real))
            FailHere("number " + std::string(digits) + " is out of range");
    } else {
        current_.kind = TokenKind::Integer;
        auto [end, ec] =
            std::from_chars(digits.data(), digits.data() + digits.size(), current_.integer);
        if (ec != std::errc() || end != digits.data() + digits.size())
            FailHere("number " + std::string(digits) + " is out of range");
    }
}

void FormLexer::LexString() {
    current_.kind = TokenKind::String;
    std::string value;
    while (Peek() == '\'' || Peek() == '#') {
        if (Peek() == '\'') {
            ++pos_;
            for (;;) {
                if (AtEnd() || Peek() == '\n' || Peek() == '\r') FailHere("unterminated string");
                const char c = text_[pos_++];
                if (c == '\'') {
                    if (Peek() != '\'') break;
                    ++pos_;
                }
                value += c;
            }
        } else {
            ++pos_;
            if (!IsDigit(Peek())) FailHere("character code expected after '#'");
            unsigned code = 0;
            while (IsDigit(Peek())) {
                code = code * 10 + static_cast<unsigned>(text_[pos_++] - '0');
                if (code > 255) FailHere("character code above 255 in string");
            }
            value += static_cast<char>(code);
        }
    }
    current_.text = std::move(value);
}

std::vector<std::byte> FormLexer::ReadBinary() {
    if (!current_.Is('{')) Fail("'{' expected but " + current_.Describe() + " found");
    const int open_line = current_.line;
    std::vector<std::byte> bytes;
    int high = -1;
    for (;;) {
        SkipBlanks();
        if (AtEnd())
            throw EReadError(open_line,
                             "binary block is not closed: '}' missing before end of text");
        const char c = text_[pos_];
        if (c == '}') {
            if (high >= 0) FailHere("binary block has an odd number of hexadecimal digits");
            ++pos_;
            break;
        }
        const int v = HexValue(c);
        if (v < 0) FailHere("invalid character " + Printable(c) + " in binary block");
        ++pos_;
        if (high < 0) {
            high = v;
        } else {
            bytes.push_back(static_cast<std::byte>(high << 4 | v));
            high = -1;
        }
    }
    Next();
    return bytes;
}

} // namespace fw::detail
