// Compiles a window description (.form, UTF-8 text) into the binary form stream
// that the program reads from its RCDATA resources: formc input.form output.bin
// (or, with --json, into the component tree as JSON for the browser page).
//
// The description language
// ------------------------
// A description holds exactly one component block, the window itself. A block
// is a header and a body in braces:
//
//     [inherited] [inline] [position N] ClassName [ObjectName] { ... }
//
// The optional words before the class name become the record's flags byte
// (inherited = bit 0, position N = bit 1 with the child's index N, inline =
// bit 2); without them no flags byte is written. Leaving out the object name
// gives the component an empty name.
//
// The body lists the component's properties first and then its child blocks,
// each in the order it is to be read. A property is
//
//     Path = value
//
// where Path is a name or several joined by "." (Font.Name, Items.Strings).
// Values and how they are stored:
//
//     -12, 0x7F            integer; the smallest of int8, int16, int32 that holds it
//     true, false          boolean (any letter case)
//     nil                  null reference or no handler (any letter case)
//     bsDialog, Form2.Ok   identifier: enumeration value, handler or component name
//     "text"               text in code page 932; a long text when over 255 bytes;
//                          escapes \" \\ \n \r \t
//     [fsBold, fsItalic]   set of element names; [] is the empty set
//     ("a", "b", 3)        list of values; () is the empty list
//
// Commas separate the items of sets and lists; a trailing comma is allowed.
// "#" starts a comment that runs to the end of the line. Names are ASCII
// identifiers; only texts and comments may hold other characters.
//
// Every mistake is reported as "file:line: message" with a non-zero exit, and
// no output is written.
//
// Overlays
// --------
//     formc input.form overlay.form output.bin
//
// compiles the window with the values an overlay states instead of its own:
// one window described once, with a second language's texts and fonts beside
// it. The overlay is a list of blocks, each the name of a component of the
// window (or "*", every component that states the property) and the values
// it replaces:
//
//     Label1 { Caption = "Time" }
//     * { Font.Name = "Tahoma"  Font.Charset = ANSI_CHARSET }
//
// Only values the window states can be replaced (nothing is added, so the
// order the program reads them in stays the window's). An overlay naming a
// component or a property the window does not have is an error, and so is a
// text of the window with characters outside ASCII that the overlay leaves
// as it is: a translation cannot silently miss one.
//
// JSON
// ----
//     formc --json input.form [overlay.form] output.json
//
// writes the same window, overlay applied, as one compact UTF-8 JSON object
// per block, children nested in order:
//
//     {"class":"TForm1","name":"Form1","properties":{...},"children":[...]}
//
// "inherited":true, "inline":true and "position":N follow the name only when
// the header says so. Property keys are the paths as written ("Font.Name");
// integers become numbers, true/false booleans, nil null, identifiers and
// texts strings, sets arrays of names and lists arrays of their values. '<',
// '>' and '&' in strings are escaped, so the JSON can be pasted into an HTML
// script element. The description is compiled all the same, so it fails with
// the same messages as the binary output and writes nothing.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "TextCodec.h"

namespace {

// Deeper nesting than any window needs; it keeps hostile input from exhausting
// the stack of the recursive parser.
constexpr int kMaxDepth = 64;
constexpr std::size_t kMaxShortText = 255;

class CompileError : public std::runtime_error {
 public:
  CompileError(int line, const std::string& message, std::string file = {})
      : std::runtime_error(message), line_(line), file_(std::move(file)) {}
  int Line() const { return line_; }
  // The file the line is in, when it is not the window's description.
  const std::string& File() const { return file_; }

 private:
  int line_;
  std::string file_;
};

enum class TokenKind {
  End,
  Word,
  Number,
  Text,
  Equals,
  LBrace,
  RBrace,
  LBracket,
  RBracket,
  LParen,
  RParen,
  Comma,
  Star
};

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;  // the word, or the text literal's UTF-8 content
  std::int64_t number = 0;
  int line = 0;
};

std::string Describe(const Token& token) {
  switch (token.kind) {
    case TokenKind::End: return "the end of the file";
    case TokenKind::Word: return "'" + token.text + "'";
    case TokenKind::Number: return "the number " + std::to_string(token.number);
    case TokenKind::Text: return "a text";
    case TokenKind::Equals: return "'='";
    case TokenKind::LBrace: return "'{'";
    case TokenKind::RBrace: return "'}'";
    case TokenKind::LBracket: return "'['";
    case TokenKind::RBracket: return "']'";
    case TokenKind::LParen: return "'('";
    case TokenKind::RParen: return "')'";
    case TokenKind::Comma: return "','";
    case TokenKind::Star: return "'*'";
  }
  return "?";
}

bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class Lexer {
 public:
  explicit Lexer(std::string_view source) : src_(source) {
    // A byte order mark is an editor's habit, not content.
    if (src_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
  }

  std::vector<Token> Tokenize() {
    std::vector<Token> tokens;
    for (;;) {
      Token t = Next();
      tokens.push_back(t);
      if (t.kind == TokenKind::End) return tokens;
    }
  }

 private:
  Token Next() {
    SkipBlankAndComments();
    Token t;
    t.line = line_;
    if (pos_ >= src_.size()) return t;
    char c = src_[pos_];
    switch (c) {
      case '=': return Single(t, TokenKind::Equals);
      case '{': return Single(t, TokenKind::LBrace);
      case '}': return Single(t, TokenKind::RBrace);
      case '[': return Single(t, TokenKind::LBracket);
      case ']': return Single(t, TokenKind::RBracket);
      case '(': return Single(t, TokenKind::LParen);
      case ')': return Single(t, TokenKind::RParen);
      case ',': return Single(t, TokenKind::Comma);
      case '*': return Single(t, TokenKind::Star);
      case '"': return ReadText(t);
      default: break;
    }
    if (IsDigit(c) || ((c == '-' || c == '+') && pos_ + 1 < src_.size() && IsDigit(src_[pos_ + 1])))
      return ReadNumber(t);
    if (IsNameStart(c)) return ReadWord(t);
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x21 && byte < 0x7F) throw CompileError(line_, std::string("unexpected character '") + c + "'");
    char buf[48];
    snprintf(buf, sizeof buf, "unexpected byte 0x%02X outside a text", byte);
    throw CompileError(line_, buf);
  }

  Token Single(Token& t, TokenKind kind) {
    t.kind = kind;
    ++pos_;
    return t;
  }

  void SkipBlankAndComments() {
    while (pos_ < src_.size()) {
      char c = src_[pos_];
      if (c == '\n') {
        ++line_;
        ++pos_;
      } else if (c == ' ' || c == '\t' || c == '\r') {
        ++pos_;
      } else if (c == '#') {
        while (pos_ < src_.size() && src_[pos_] != '\n') ++pos_;
      } else {
        return;
      }
    }
  }

  Token ReadWord(Token& t) {
    t.kind = TokenKind::Word;
    std::size_t start = pos_;
    for (;;) {
      while (pos_ < src_.size() && IsNameChar(src_[pos_])) ++pos_;
      if (pos_ < src_.size() && src_[pos_] == '.') {
        ++pos_;
        if (pos_ >= src_.size() || !IsNameStart(src_[pos_]))
          throw CompileError(line_,
                             "a name must follow '.' in '" + std::string(src_.substr(start, pos_ - start)) + "'");
        continue;
      }
      break;
    }
    t.text = std::string(src_.substr(start, pos_ - start));
    return t;
  }

  Token ReadNumber(Token& t) {
    t.kind = TokenKind::Number;
    std::size_t start = pos_;
    bool negative = false;
    if (src_[pos_] == '-' || src_[pos_] == '+') negative = src_[pos_++] == '-';
    int base = 10;
    if (src_[pos_] == '0' && pos_ + 1 < src_.size() && (src_[pos_ + 1] == 'x' || src_[pos_ + 1] == 'X')) {
      base = 16;
      pos_ += 2;
    }
    // Accumulated with a cap so that any number of digits is safe; the range
    // check below reports the overflow.
    constexpr std::int64_t kCap = std::int64_t{1} << 40;
    std::int64_t value = 0;
    std::size_t digits = 0;
    while (pos_ < src_.size() && IsNameChar(src_[pos_])) {
      int d = base == 16 ? HexDigit(src_[pos_]) : (IsDigit(src_[pos_]) ? src_[pos_] - '0' : -1);
      if (d < 0)
        throw CompileError(line_, "malformed number '" + std::string(src_.substr(start, pos_ + 1 - start)) + "'");
      if (value < kCap) value = value * base + d;
      ++digits;
      ++pos_;
    }
    if (digits == 0)
      throw CompileError(line_, "malformed number '" + std::string(src_.substr(start, pos_ - start)) + "'");
    if (negative) value = -value;
    if (value < INT32_MIN || value > INT32_MAX)
      throw CompileError(line_,
                         "integer '" + std::string(src_.substr(start, pos_ - start)) + "' is outside the 32-bit range");
    t.number = value;
    return t;
  }

  Token ReadText(Token& t) {
    t.kind = TokenKind::Text;
    ++pos_;
    for (;;) {
      if (pos_ >= src_.size() || src_[pos_] == '\n') throw CompileError(t.line, "text is not closed by '\"'");
      char c = src_[pos_++];
      if (c == '"') return t;
      if (c != '\\') {
        t.text += c;
        continue;
      }
      if (pos_ >= src_.size()) throw CompileError(t.line, "text is not closed by '\"'");
      char e = src_[pos_++];
      switch (e) {
        case '"': t.text += '"'; break;
        case '\\': t.text += '\\'; break;
        case 'n': t.text += '\n'; break;
        case 'r': t.text += '\r'; break;
        case 't': t.text += '\t'; break;
        default:
          if (e == '\n') throw CompileError(t.line, "text is not closed by '\"'");
          throw CompileError(line_, std::string("unknown escape '\\") + e + "' in a text");
      }
    }
  }

  std::string_view src_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

// Folds ASCII letters only: names are compared the way the reader compares them.
std::string FoldCase(std::string_view name) {
  std::string out(name);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) { return FoldCase(a) == FoldCase(b); }

// The words that stand for values of their own (in any letter case); every
// other word is an identifier.
enum class WordValue { False, True, Nil, Identifier };

WordValue WordValueOf(std::string_view word) {
  if (EqualsIgnoreCase(word, "false")) return WordValue::False;
  if (EqualsIgnoreCase(word, "true")) return WordValue::True;
  if (EqualsIgnoreCase(word, "nil")) return WordValue::Nil;
  return WordValue::Identifier;
}

// Reading position in a token stream; the stream always ends in an End token,
// which reading past the end keeps returning.
class TokenCursor {
 protected:
  explicit TokenCursor(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

  const Token& Peek(std::size_t ahead = 0) const {
    std::size_t i = index_ + ahead;
    return tokens_[i < tokens_.size() ? i : tokens_.size() - 1];
  }

  Token Take() {
    Token t = Peek();
    if (index_ < tokens_.size() - 1) ++index_;
    return t;
  }

  Token Expect(TokenKind kind, const std::string& what) {
    if (Peek().kind != kind) throw CompileError(Peek().line, "expected " + what + ", found " + Describe(Peek()));
    return Take();
  }

  static bool IsKeyword(const Token& t, std::string_view word) { return t.kind == TokenKind::Word && t.text == word; }

  static void CheckDepth(int depth, int line) {
    if (depth > kMaxDepth) throw CompileError(line, "nesting deeper than " + std::to_string(kMaxDepth) + " levels");
  }

 private:
  std::vector<Token> tokens_;
  std::size_t index_ = 0;
};

class Compiler : TokenCursor {
 public:
  explicit Compiler(std::vector<Token> tokens) : TokenCursor(std::move(tokens)) {}

  std::string Compile() {
    out_ = "TPF0";
    if (Peek().kind == TokenKind::End) throw CompileError(Peek().line, "the file describes no component");
    Object(0);
    if (Peek().kind != TokenKind::End)
      throw CompileError(Peek().line, "unexpected " + Describe(Peek()) + " after the window's block");
    return out_;
  }

 private:
  void ShortText(std::string_view bytes, int line, const std::string& what) {
    if (bytes.size() > kMaxShortText)
      throw CompileError(line, what + " is " + std::to_string(bytes.size()) + " bytes long; at most 255 fit");
    out_ += static_cast<char>(bytes.size());
    out_ += bytes;
  }

  void Integer(std::int64_t value) {
    auto bytes = [this](std::uint32_t v, int n) {
      for (int i = 0; i < n; ++i) out_ += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    auto raw = static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
    if (value >= -128 && value <= 127) {
      out_ += '\x02';
      bytes(raw, 1);
    } else if (value >= -32768 && value <= 32767) {
      out_ += '\x03';
      bytes(raw, 2);
    } else {
      out_ += '\x04';
      bytes(raw, 4);
    }
  }

  static std::string SingleName(const Token& t, const std::string& what) {
    if (t.text.find('.') != std::string::npos)
      throw CompileError(t.line, what + " '" + t.text + "' may not contain '.'");
    return t.text;
  }

  void Object(int depth) {
    CheckDepth(depth, Peek().line);
    int headerLine = Peek().line;
    unsigned flags = 0;
    std::int64_t position = 0;
    for (;;) {
      const Token& t = Peek();
      unsigned bit = IsKeyword(t, "inherited") ? 1u : IsKeyword(t, "position") ? 2u : IsKeyword(t, "inline") ? 4u : 0u;
      if (!bit) break;
      if (flags & bit) throw CompileError(t.line, "'" + t.text + "' is given twice");
      flags |= bit;
      Take();
      if (bit == 2u) position = Expect(TokenKind::Number, "the child position after 'position'").number;
    }
    Token cls = Expect(TokenKind::Word, "a class name");
    Token nameToken;
    if (Peek().kind == TokenKind::Word) nameToken = Take();
    if (Peek().kind != TokenKind::LBrace) {
      // A lone word in a body is usually a property whose '=' was forgotten.
      if (nameToken.text.empty() && depth > 0)
        throw CompileError(Peek().line, "expected '=' after property '" + cls.text +
                                            "' or '{' to open a block of class " + cls.text + ", found " +
                                            Describe(Peek()));
      throw CompileError(Peek().line, "expected '{' to open the block of " +
                                          (nameToken.text.empty() ? cls.text : nameToken.text) + ", found " +
                                          Describe(Peek()));
    }
    Take();
    std::string className = SingleName(cls, "the class name");
    std::string name = nameToken.kind == TokenKind::Word ? SingleName(nameToken, "the component name") : "";

    if (flags) {
      out_ += static_cast<char>(0xF0 | flags);
      if (flags & 2u) Integer(position);
    }
    ShortText(className, cls.line, "the class name");
    ShortText(name, headerLine, "the component name");
    if (!name.empty() && !names_.insert(FoldCase(name)).second)
      throw CompileError(cls.line, "the component name '" + name + "' is used twice");

    // Properties first, then children: the stream holds them in two lists.
    std::set<std::string> paths;
    while (Peek().kind == TokenKind::Word && Peek(1).kind == TokenKind::Equals) {
      Token path = Take();
      Take();
      if (!paths.insert(FoldCase(path.text)).second)
        throw CompileError(path.line,
                           "property '" + path.text + "' is set twice in " + (name.empty() ? className : name));
      ShortText(path.text, path.line, "the property path");
      Value(depth + 1);
    }
    out_ += '\0';
    while (Peek().kind != TokenKind::RBrace) {
      if (Peek().kind == TokenKind::End)
        throw CompileError(Peek().line, "the block of " + (name.empty() ? className : name) + " (line " +
                                            std::to_string(cls.line) + ") is not closed by '}'");
      if (Peek().kind != TokenKind::Word)
        throw CompileError(Peek().line, "expected a property or a child block, found " + Describe(Peek()));
      if (Peek(1).kind == TokenKind::Equals)
        throw CompileError(Peek().line, "property '" + Peek().text + "' follows a child block; properties come first");
      Object(depth + 1);
    }
    Take();
    out_ += '\0';
  }

  void Value(int depth) {
    CheckDepth(depth, Peek().line);
    Token t = Take();
    switch (t.kind) {
      case TokenKind::Number: Integer(t.number); return;
      case TokenKind::Text: {
        std::string bytes = ToCodePage(t);
        if (bytes.size() <= kMaxShortText) {
          out_ += '\x06';
          out_ += static_cast<char>(bytes.size());
        } else {
          out_ += '\x0C';
          for (int i = 0; i < 4; ++i) out_ += static_cast<char>((bytes.size() >> (8 * i)) & 0xFF);
        }
        out_ += bytes;
        return;
      }
      case TokenKind::Word:
        switch (WordValueOf(t.text)) {
          case WordValue::False: out_ += '\x08'; return;
          case WordValue::True: out_ += '\x09'; return;
          case WordValue::Nil: out_ += '\x0D'; return;
          case WordValue::Identifier: break;
        }
        out_ += '\x07';
        ShortText(t.text, t.line, "the identifier");
        return;
      case TokenKind::LBracket:
        out_ += '\x0B';
        while (Peek().kind != TokenKind::RBracket) {
          Token element = Expect(TokenKind::Word, "a set element name or ']'");
          std::string n = SingleName(element, "the set element");
          if (n.empty()) throw CompileError(element.line, "empty set element");
          ShortText(n, element.line, "the set element");
          if (Peek().kind != TokenKind::RBracket) Expect(TokenKind::Comma, "',' or ']' in the set");
        }
        Take();
        out_ += '\0';
        return;
      case TokenKind::LParen:
        out_ += '\x01';
        while (Peek().kind != TokenKind::RParen) {
          if (Peek().kind == TokenKind::End) throw CompileError(t.line, "the list is not closed by ')'");
          Value(depth + 1);
          if (Peek().kind != TokenKind::RParen) Expect(TokenKind::Comma, "',' or ')' in the list");
        }
        Take();
        out_ += '\0';
        return;
      default: throw CompileError(t.line, "expected a value, found " + Describe(t));
    }
  }

  static std::string ToCodePage(const Token& t) {
    try {
      return tools::Utf8ToCp932(t.text);
    } catch (const std::exception&) {
      throw CompileError(t.line, "text is not UTF-8 or has characters outside code page 932");
    }
  }

  std::string out_;
  std::set<std::string> names_;
};

// ---- JSON ----

// A JSON string that can also stand inside an HTML script element: '<', '>'
// and '&' are escaped so that no "</script>" or entity can end or alter it.
// Other characters, UTF-8 sequences included, pass through as they are.
void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == '<' || c == '>' || c == '&') {
          char buf[8];
          snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
          out += buf;
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

// Writes the component tree as one JSON object per block:
//   {"class":..,"name":..,["inherited":true,]["inline":true,]["position":N,]
//    "properties":{"Path":value,...},"children":[...]}
// It takes a stream the Compiler has accepted, so it repeats none of the
// checks; the bounds on nesting and on the stream's end stay, so that it can
// never recurse without limit or run on past the last token.
class JsonWriter : TokenCursor {
 public:
  explicit JsonWriter(std::vector<Token> tokens) : TokenCursor(std::move(tokens)) {}

  std::string Write() {
    Object(0);
    return out_;
  }

 private:
  void Object(int depth) {
    CheckDepth(depth, Peek().line);
    bool inherited = false, isInline = false, hasPosition = false;
    std::int64_t position = 0;
    for (;;) {
      if (IsKeyword(Peek(), "inherited")) {
        inherited = true;
      } else if (IsKeyword(Peek(), "inline")) {
        isInline = true;
      } else if (IsKeyword(Peek(), "position")) {
        Take();
        hasPosition = true;
        position = Expect(TokenKind::Number, "the child position after 'position'").number;
        continue;
      } else {
        break;
      }
      Take();
    }
    out_ += "{\"class\":";
    AppendJsonString(out_, Expect(TokenKind::Word, "a class name").text);
    out_ += ",\"name\":";
    AppendJsonString(out_, Peek().kind == TokenKind::Word ? Take().text : std::string());
    Expect(TokenKind::LBrace, "'{'");
    if (inherited) out_ += ",\"inherited\":true";
    if (isInline) out_ += ",\"inline\":true";
    if (hasPosition) out_ += ",\"position\":" + std::to_string(position);

    out_ += ",\"properties\":{";
    for (bool first = true; Peek().kind == TokenKind::Word && Peek(1).kind == TokenKind::Equals; first = false) {
      if (!first) out_ += ',';
      AppendJsonString(out_, Take().text);
      Take();
      out_ += ':';
      Value(depth + 1);
    }
    out_ += "},\"children\":[";
    for (bool first = true; Peek().kind != TokenKind::RBrace && Peek().kind != TokenKind::End; first = false) {
      if (!first) out_ += ',';
      Object(depth + 1);
    }
    Expect(TokenKind::RBrace, "'}'");
    out_ += "]}";
  }

  void Value(int depth) {
    CheckDepth(depth, Peek().line);
    Token t = Take();
    switch (t.kind) {
      case TokenKind::Number: out_ += std::to_string(t.number); return;
      case TokenKind::Text: AppendJsonString(out_, t.text); return;
      case TokenKind::Word:
        switch (WordValueOf(t.text)) {
          case WordValue::False: out_ += "false"; return;
          case WordValue::True: out_ += "true"; return;
          case WordValue::Nil: out_ += "null"; return;
          case WordValue::Identifier: break;
        }
        AppendJsonString(out_, t.text);
        return;
      case TokenKind::LBracket:
        // Element names stay strings even when one reads "true" or "nil".
        out_ += '[';
        for (bool first = true; Peek().kind == TokenKind::Word; first = false) {
          if (!first) out_ += ',';
          AppendJsonString(out_, Take().text);
          if (Peek().kind == TokenKind::Comma) Take();
        }
        Expect(TokenKind::RBracket, "']'");
        out_ += ']';
        return;
      case TokenKind::LParen:
        out_ += '[';
        for (bool first = true; Peek().kind != TokenKind::RParen && Peek().kind != TokenKind::End; first = false) {
          if (!first) out_ += ',';
          Value(depth + 1);
          if (Peek().kind == TokenKind::Comma) Take();
        }
        Expect(TokenKind::RParen, "')'");
        out_ += ']';
        return;
      default: throw CompileError(t.line, "expected a value, found " + Describe(t));
    }
  }

  std::string out_;
};

// ---- Overlays ----

// Where a property's value ends: one token, or a whole bracketed set or list.
std::size_t ValueEnd(const std::vector<Token>& tokens, std::size_t start, const std::string& file) {
  const TokenKind open = tokens[start].kind;
  if (open != TokenKind::LBracket && open != TokenKind::LParen) {
    if (tokens[start].kind == TokenKind::End) throw CompileError(tokens[start].line, "expected a value", file);
    return start + 1;
  }
  int depth = 0;
  for (std::size_t i = start; i < tokens.size(); ++i) {
    const TokenKind k = tokens[i].kind;
    if (k == TokenKind::LBracket || k == TokenKind::LParen) ++depth;
    if ((k == TokenKind::RBracket || k == TokenKind::RParen) && --depth == 0) return i + 1;
    if (k == TokenKind::End) break;
  }
  throw CompileError(tokens[start].line, "the value is not closed", file);
}

struct Replacement {
  std::vector<Token> value;
  int line = 0;
  bool used = false;
};
// Component name (folded, "*" for every one) and property path (folded).
using Replacements = std::map<std::pair<std::string, std::string>, Replacement>;

Replacements ReadOverlay(const std::vector<Token>& tokens, const std::string& file) {
  Replacements found;
  std::size_t i = 0;
  while (tokens[i].kind != TokenKind::End) {
    const Token& head = tokens[i];
    if (head.kind != TokenKind::Word && head.kind != TokenKind::Star)
      throw CompileError(head.line, "expected a component's name or '*', found " + Describe(head), file);
    const std::string component = head.kind == TokenKind::Star ? "*" : FoldCase(head.text);
    if (tokens[++i].kind != TokenKind::LBrace)
      throw CompileError(tokens[i].line, "expected '{', found " + Describe(tokens[i]), file);
    for (++i; tokens[i].kind != TokenKind::RBrace;) {
      if (tokens[i].kind != TokenKind::Word || tokens[i + 1].kind != TokenKind::Equals)
        throw CompileError(tokens[i].line, "expected 'Property = value', found " + Describe(tokens[i]), file);
      const std::size_t end = ValueEnd(tokens, i + 2, file);
      Replacement r{
          {tokens.begin() + static_cast<std::ptrdiff_t>(i + 2), tokens.begin() + static_cast<std::ptrdiff_t>(end)},
          tokens[i].line};
      if (!found.emplace(std::pair{component, FoldCase(tokens[i].text)}, std::move(r)).second)
        throw CompileError(tokens[i].line, "'" + tokens[i].text + "' is set twice for " + head.text, file);
      i = end;
    }
    ++i;
  }
  return found;
}

bool HasNonAscii(const std::vector<Token>& tokens, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to; ++i)
    if (tokens[i].kind == TokenKind::Text)
      for (unsigned char c : tokens[i].text)
        if (c >= 0x80) return true;
  return false;
}

// The window's tokens with the overlay's values in place of its own.
std::vector<Token> ApplyOverlay(const std::vector<Token>& window, Replacements& overlay, const std::string& file) {
  std::vector<Token> out;
  std::vector<std::string> blocks;  // the names of the open blocks, folded
  for (std::size_t i = 0; i < window.size();) {
    const Token& t = window[i];
    if (t.kind == TokenKind::LBrace) {
      // The header ends in the class name, or the class and the object name.
      const bool named = i >= 2 && window[i - 1].kind == TokenKind::Word && window[i - 2].kind == TokenKind::Word &&
                         window[i - 2].text != "inherited" && window[i - 2].text != "inline";
      blocks.push_back(named ? FoldCase(window[i - 1].text) : std::string());
    } else if (t.kind == TokenKind::RBrace && !blocks.empty()) {
      blocks.pop_back();
    } else if (!blocks.empty() && t.kind == TokenKind::Word && i + 1 < window.size() &&
               window[i + 1].kind == TokenKind::Equals) {
      const std::size_t end = ValueEnd(window, i + 2, {});
      const std::string path = FoldCase(t.text);
      auto found = overlay.find({blocks.back(), path});
      if (found == overlay.end()) found = overlay.find({"*", path});
      out.insert(out.end(), window.begin() + static_cast<std::ptrdiff_t>(i),
                 window.begin() + static_cast<std::ptrdiff_t>(i + 2));
      if (found != overlay.end()) {
        found->second.used = true;
        out.insert(out.end(), found->second.value.begin(), found->second.value.end());
      } else {
        if (HasNonAscii(window, i + 2, end))
          throw CompileError(t.line, "the overlay gives no text for " + t.text + " of this component");
        out.insert(out.end(), window.begin() + static_cast<std::ptrdiff_t>(i + 2),
                   window.begin() + static_cast<std::ptrdiff_t>(end));
      }
      i = end;
      continue;
    }
    out.push_back(t);
    ++i;
  }
  for (const auto& [key, r] : overlay)
    if (!r.used)
      throw CompileError(r.line, "the window has no " + key.second + " stated for " + key.first + " to replace", file);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const bool json = argc > 1 && std::string_view(argv[1]) == "--json";
  if (json) {
    --argc;
    ++argv;
  }
  if (argc != 3 && argc != 4) {
    std::cerr << "usage: formc [--json] input.form [overlay.form] output\n";
    return 2;
  }
  const std::string input = argv[1];
  const char* output = argv[argc - 1];
  std::string stream;
  try {
    const auto read = [](const std::string& path) {
      std::ifstream in(path, std::ios::binary);
      if (!in) throw std::runtime_error("cannot open " + path);
      std::string source((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (in.bad()) throw std::runtime_error("cannot read " + path);
      return source;
    };
    std::vector<Token> tokens = Lexer(read(input)).Tokenize();
    if (argc == 4) {
      const std::string overlayFile = argv[2];
      std::string overlaySource = read(overlayFile);
      Replacements overlay;
      try {
        overlay = ReadOverlay(Lexer(overlaySource).Tokenize(), overlayFile);
      } catch (const CompileError& e) {
        throw CompileError(e.Line(), e.what(), overlayFile);
      }
      tokens = ApplyOverlay(tokens, overlay, overlayFile);
    }
    // The JSON is compiled too, and only if that succeeds written: a
    // description the browser page takes is always one the program reads.
    stream = Compiler(tokens).Compile();
    if (json) stream = JsonWriter(std::move(tokens)).Write();
  } catch (const CompileError& e) {
    std::cerr << "formc: " << (e.File().empty() ? input : e.File()) << ":" << e.Line() << ": " << e.what() << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "formc: " << input << ": " << e.what() << "\n";
    return 1;
  }
  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  out.write(stream.data(), static_cast<std::streamsize>(stream.size()));
  out.close();
  if (!out) {
    std::cerr << "formc: cannot write " << output << "\n";
    std::remove(output);
    return 1;
  }
  return 0;
}
