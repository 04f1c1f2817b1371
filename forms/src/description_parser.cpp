#include "forms/description_parser.h"

#include <cctype>

#include "forms/strings.h"

EDescriptionError::EDescriptionError(std::string source, int line, int column, std::string reason)
    : platform::Exception(source + "(" + std::to_string(line) + ":" + std::to_string(column) +
                          "): " + reason),
      FSource(std::move(source)),
      FLine(line),
      FColumn(column),
      FReason(std::move(reason)) {}

namespace {

enum class TToken { tEnd, tIdent, tInteger, tString, tSymbol };

struct TLexeme {
  TToken Kind = TToken::tEnd;
  std::string Text;  // identifier, symbol, or the string's bytes
  std::int64_t Integer = 0;
  TDescPosition Position;
};

class TLexer {
 public:
  TLexer(std::string_view text, const std::string& source) : FText(text), FSource(source) {}

  TLexeme Next() {
    SkipBlanks();
    TLexeme lex;
    lex.Position = {FLine, FColumn};
    if (FPos >= FText.size()) return lex;
    char c = FText[FPos];
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      lex.Kind = TToken::tIdent;
      while (FPos < FText.size() && (std::isalnum(static_cast<unsigned char>(FText[FPos])) ||
                                     FText[FPos] == '_' || FText[FPos] == '.'))
        lex.Text += Take();
      if (lex.Text.back() == '.') Fail(lex.Position, "A name cannot end with '.'");
      return lex;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '$' ||
        (c == '-' && FPos + 1 < FText.size() &&
         (std::isdigit(static_cast<unsigned char>(FText[FPos + 1])) || FText[FPos + 1] == '$')))
      return Number(lex);
    if (c == '\'') return String(lex);
    if (std::string_view("=:[](),<>+").find(c) != std::string_view::npos) {
      lex.Kind = TToken::tSymbol;
      lex.Text = std::string(1, Take());
      return lex;
    }
    if (static_cast<unsigned char>(c) > 0x7E)
      Fail(lex.Position, "Byte " + Hex(c) + " outside a string: descriptions are ASCII text");
    Fail(lex.Position, std::string("Unexpected character '") + c + "'");
  }

  [[noreturn]] void Fail(TDescPosition at, const std::string& reason) const {
    throw EDescriptionError(FSource, at.Line, at.Column, reason);
  }

 private:
  static std::string Hex(char c) {
    static const char* digits = "0123456789ABCDEF";
    auto b = static_cast<unsigned char>(c);
    return std::string("0x") + digits[b >> 4] + digits[b & 15];
  }

  char Take() {
    char c = FText[FPos++];
    if (c == '\n') {
      ++FLine;
      FColumn = 1;
    } else {
      ++FColumn;
    }
    return c;
  }

  void SkipBlanks() {
    while (FPos < FText.size()) {
      char c = FText[FPos];
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        Take();
      } else if (c == '/' && FPos + 1 < FText.size() && FText[FPos + 1] == '/') {
        // Comments may hold any bytes (a UTF-8 reading of a Big5 text, for instance).
        while (FPos < FText.size() && FText[FPos] != '\n') Take();
      } else {
        return;
      }
    }
  }

  TLexeme Number(TLexeme& lex) {
    lex.Kind = TToken::tInteger;
    bool negative = false;
    if (FText[FPos] == '-') {
      negative = true;
      Take();
    }
    int base = 10;
    if (FText[FPos] == '$') {
      base = 16;
      Take();
    } else if (FText[FPos] == '0' && FPos + 1 < FText.size() &&
               (FText[FPos + 1] == 'x' || FText[FPos + 1] == 'X')) {
      base = 16;
      Take();
      Take();
    }
    std::uint64_t value = 0;
    int digits = 0;
    while (FPos < FText.size()) {
      char c = FText[FPos];
      int d;
      if (c >= '0' && c <= '9')
        d = c - '0';
      else if (base == 16 && c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
      else if (base == 16 && c >= 'A' && c <= 'F')
        d = c - 'A' + 10;
      else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_')
        Fail({FLine, FColumn}, std::string("Bad digit '") + c + "' in a number");
      else
        break;
      value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
      if (value > (std::uint64_t{1} << 62)) Fail(lex.Position, "Number too large");
      Take();
      ++digits;
    }
    if (digits == 0) Fail(lex.Position, "A number needs digits");
    lex.Integer = negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
    return lex;
  }

  static int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  TLexeme String(TLexeme& lex) {
    lex.Kind = TToken::tString;
    Take();  // opening quote
    for (;;) {
      if (FPos >= FText.size()) Fail(lex.Position, "String not closed");
      TDescPosition at{FLine, FColumn};
      char c = FText[FPos];
      if (c == '\'') {
        Take();
        return lex;
      }
      if (c == '\n' || c == '\r')
        Fail(lex.Position, "String not closed before the end of the line");
      if (static_cast<unsigned char>(c) > 0x7E || static_cast<unsigned char>(c) < 0x20)
        Fail(at, "Byte " + Hex(c) + " in a string: write it as \\x" + Hex(c).substr(2));
      Take();
      if (c != '\\') {
        lex.Text += c;
        continue;
      }
      if (FPos >= FText.size()) Fail(lex.Position, "String not closed");
      char e = Take();
      switch (e) {
        case '\\':
          lex.Text += '\\';
          break;
        case '\'':
          lex.Text += '\'';
          break;
        case 'r':
          lex.Text += '\r';
          break;
        case 'n':
          lex.Text += '\n';
          break;
        case 't':
          lex.Text += '\t';
          break;
        case 'x': {
          int hi = FPos < FText.size() ? HexDigit(FText[FPos]) : -1;
          int lo = FPos + 1 < FText.size() ? HexDigit(FText[FPos + 1]) : -1;
          if (hi < 0 || lo < 0) Fail(at, "\\x needs two hexadecimal digits");
          Take();
          Take();
          lex.Text += static_cast<char>(hi * 16 + lo);
          break;
        }
        default:
          Fail(at, std::string("Unknown escape \\") + e);
      }
    }
  }

  std::string_view FText;
  const std::string& FSource;
  std::size_t FPos = 0;
  int FLine = 1;
  int FColumn = 1;
};

class TParser {
 public:
  TParser(std::string_view text, const std::string& source) : FLexer(text, source) { Advance(); }

  TDescObject Description() {
    TDescObject root = Object();
    if (FLook.Kind != TToken::tEnd) Fail("Text after the end of the description");
    return root;
  }

 private:
  void Advance() { FLook = FLexer.Next(); }
  [[noreturn]] void Fail(const std::string& reason) { FLexer.Fail(FLook.Position, reason); }
  std::string Describe() const {
    switch (FLook.Kind) {
      case TToken::tEnd:
        return "the end of the text";
      case TToken::tIdent:
        return "'" + FLook.Text + "'";
      case TToken::tInteger:
        return "a number";
      case TToken::tString:
        return "a string";
      case TToken::tSymbol:
        return "'" + FLook.Text + "'";
    }
    return "?";
  }
  bool IsSymbol(char c) const { return FLook.Kind == TToken::tSymbol && FLook.Text[0] == c; }
  bool IsWord(const char* word) const {
    return FLook.Kind == TToken::tIdent && SameTextAscii(FLook.Text, word);
  }
  void Expect(char c, const char* what) {
    if (!IsSymbol(c)) Fail(std::string("Expected '") + c + "' " + what + ", found " + Describe());
    Advance();
  }
  std::string Name(const char* what) {
    if (FLook.Kind != TToken::tIdent)
      Fail(std::string("Expected ") + what + ", found " + Describe());
    std::string name = FLook.Text;
    Advance();
    return name;
  }

  TDescObject Object() {
    if (!IsWord("object")) Fail("Expected 'object', found " + Describe());
    TDescObject obj;
    obj.Position = FLook.Position;
    Advance();
    TDescPosition namePos = FLook.Position;
    std::string first = Name("the component's name");
    if (IsSymbol(':')) {
      Advance();
      obj.Name = first;
      obj.ClassName = Name("a class name");
    } else {
      obj.ClassName = first;  // an unnamed component
    }
    if (obj.Name.find('.') != std::string::npos || obj.ClassName.find('.') != std::string::npos)
      FLexer.Fail(namePos, "Names of objects and classes cannot hold '.'");
    for (;;) {
      if (IsWord("end")) {
        Advance();
        return obj;
      }
      if (IsWord("object")) {
        obj.Children.push_back(Object());
        continue;
      }
      if (FLook.Kind == TToken::tEnd) Fail("Missing 'end' of object " + obj.Name);
      obj.Properties.push_back(Property());
    }
  }

  TDescProperty Property() {
    TDescProperty prop;
    prop.Position = FLook.Position;
    prop.Path = Name("a property name or 'end'");
    Expect('=', "after the property name");
    prop.Value = Value();
    return prop;
  }

  TDescValue Value() {
    TDescValue v;
    v.Position = FLook.Position;
    switch (FLook.Kind) {
      case TToken::tInteger:
        v.Kind = TDescValue::vkInteger;
        v.Integer = FLook.Integer;
        Advance();
        return v;
      case TToken::tString:
        v.Kind = TDescValue::vkString;
        v.Text = JoinedString();
        return v;
      case TToken::tIdent:
        if (FLook.Text.find('.') != std::string::npos) Fail("A value cannot hold '.'");
        v.Kind = TDescValue::vkIdent;
        v.Text = FLook.Text;
        Advance();
        return v;
      case TToken::tSymbol:
        if (IsSymbol('[')) return Set(v);
        if (IsSymbol('(')) return List(v);
        if (IsSymbol('<')) return Collection(v);
        break;
      case TToken::tEnd:
        break;
    }
    Fail("Expected a value, found " + Describe());
  }

  std::string JoinedString() {
    std::string text = FLook.Text;
    Advance();
    while (IsSymbol('+')) {
      Advance();
      if (FLook.Kind != TToken::tString) Fail("Expected a string after '+', found " + Describe());
      text += FLook.Text;
      Advance();
    }
    return text;
  }

  TDescValue Set(TDescValue& v) {
    v.Kind = TDescValue::vkSet;
    Advance();
    if (IsSymbol(']')) {
      Advance();
      return v;
    }
    for (;;) {
      v.Items.push_back(Name("a set element"));
      if (IsSymbol(']')) {
        Advance();
        return v;
      }
      Expect(',', "or ']' in a set");
    }
  }

  TDescValue List(TDescValue& v) {
    v.Kind = TDescValue::vkList;
    Advance();
    for (;;) {
      if (IsSymbol(')')) {
        Advance();
        return v;
      }
      if (FLook.Kind != TToken::tString)
        Fail("Expected a string or ')' in a list, found " + Describe());
      v.Items.push_back(JoinedString());
      if (IsSymbol(',')) Advance();
    }
  }

  TDescValue Collection(TDescValue& v) {
    v.Kind = TDescValue::vkCollection;
    Advance();
    for (;;) {
      if (IsSymbol('>')) {
        Advance();
        return v;
      }
      if (!IsWord("item")) Fail("Expected 'item' or '>' in a collection, found " + Describe());
      Advance();
      std::vector<TDescProperty> item;
      while (!IsWord("end")) {
        if (FLook.Kind == TToken::tEnd) Fail("Missing 'end' of a collection item");
        item.push_back(Property());
      }
      Advance();
      v.CollectionItems.push_back(std::move(item));
    }
  }

  TLexer FLexer;
  TLexeme FLook;
};

}  // namespace

TDescObject ParseDescription(std::string_view text, const std::string& source) {
  TParser parser(text, source);
  return parser.Description();
}

std::string QuoteDescriptionString(std::string_view bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out = "'";
  for (char c : bytes) {
    auto b = static_cast<unsigned char>(c);
    if (c == '\'' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (b < 0x20 || b > 0x7E) {
      out += "\\x";
      out += digits[b >> 4];
      out += digits[b & 15];
    } else {
      out += c;
    }
  }
  return out + "'";
}
