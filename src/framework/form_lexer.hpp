// Tokens of a form description: identifiers, numbers, strings ('It''s'#13#10), symbols,
// and on request the hexadecimal bytes of a binary block between braces. Every token
// carries its line; errors are EReadError naming the line.
#pragma once

#include "framework/exceptions.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fw::detail {

enum class TokenKind { End, Ident, Integer, Float, String, Symbol };

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text; // identifier, decoded string, or the symbol
    std::int64_t integer = 0;
    double real = 0.0;
    int line = 1;

    bool Is(char symbol) const {
        return kind == TokenKind::Symbol && text.size() == 1 && text[0] == symbol;
    }
    bool IsKeyword(std::string_view word) const;
    // For messages: 'Font', number 12, string, '=', end of text.
    std::string Describe() const;
};

class FormLexer {
public:
    explicit FormLexer(std::string_view text);

    const Token& Current() const { return current_; }
    void Next();
    // Called with the current token being '{': reads the hexadecimal bytes up to the
    // closing '}' and moves to the token after it.
    std::vector<std::byte> ReadBinary();

    [[noreturn]] void Fail(const std::string& what) const { throw EReadError(current_.line, what); }

private:
    void SkipBlanks();
    void LexNumber();
    void LexString();
    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek(std::size_t ahead = 0) const {
        return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
    }
    [[noreturn]] void FailHere(const std::string& what) const { throw EReadError(line_, what); }

    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 1;
    Token current_;
};

} // namespace fw::detail
