#include "store/Filter.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string_view>
#include <utility>

#include "store/Errors.h"
#include "store/Field.h"
#include "text/Utf8Text.h"

namespace ff {

struct FilterNode {
  enum class Kind { And, Or, Not, Compare };
  enum class Op { Equal, NotEqual, Less, Greater, LessOrEqual, GreaterOrEqual };
  // A constant as written; it gets its type only when the field it is compared with is known.
  struct Constant {
    enum class Kind { Number, Text, Boolean, Null };
    Kind kind = Kind::Null;
    std::string text;  // numbers and True/False as written, strings unquoted
  };

  Kind kind = Kind::Compare;
  std::vector<std::unique_ptr<FilterNode>> children;  // And/Or: two or more; Not: one
  std::string field;                                  // Compare: the field, always on the left
  Op op = Op::Equal;
  Constant constant;
};

namespace {

using CompareOp = FilterNode::Op;
using FilterConstant = FilterNode::Constant;

// Parentheses and NOTs may nest this deep; deeper texts are refused rather than risking
// the stack on a hostile text.
constexpr int kMaxNesting = 64;

// What SQLite takes: its parser stack holds about 28 nested groups of a chain, and its
// expression tree at most 1,000 levels; parameters are numbered up to 32,766. A filter whose
// SQL would go beyond the limits below (with room left for the scan's own conditions) is
// refused when it is parsed, so that every filter that parses also runs.
constexpr int kMaxSqlNesting = 20;
constexpr int kMaxSqlTreeDepth = 500;
constexpr std::size_t kMaxComparisons = 10000;
// Chains longer than this are written as groups of groups, so their depth grows slowly.
constexpr std::size_t kChainGroup = 32;
// Prefix patterns longer than this (SQLite refuses GLOB patterns over 50,000 bytes) compare
// the first bytes instead.
constexpr std::size_t kMaxGlobPattern = 10000;

[[noreturn]] void fail(const std::string& text, const std::string& what) {
  throw EBadFilter("Ugyldig filter \"" + text + "\": " + what);
}

std::string quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

// " (tegn N)": the 1-based character (not byte) position of a byte offset in UTF-8 text.
std::string at(const std::string& text, std::size_t offset) {
  return " (tegn " + std::to_string(Utf8Length(std::string_view(text).substr(0, offset)) + 1) + ")";
}

std::string asciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Letters (any non-ASCII byte, so Æ, Ø, Å), digits and '_' make up a plain field name.
bool isNameChar(char c) {
  return isDigit(c) || c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         static_cast<unsigned char>(c) >= 0x80;
}

// ---- Tokens ----

enum class TokenKind { Name, Number, String, Boolean, Null, And, Or, Not, Op, Open, Close, End };

struct Token {
  TokenKind kind;
  std::string value;  // field name, number text, unescaped string, operator
  std::size_t begin;  // byte range in the filter text
  std::size_t length;
};

class Lexer {
 public:
  explicit Lexer(const std::string& text) : text_(text) {}

  std::vector<Token> Tokens() {
    std::vector<Token> tokens;
    for (;;) {
      while (pos_ < text_.size() && isBlank(text_[pos_])) ++pos_;
      if (pos_ >= text_.size()) break;
      tokens.push_back(next());
    }
    tokens.push_back(Token{TokenKind::End, "", text_.size(), 0});
    return tokens;
  }

 private:
  static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

  Token next() {
    const std::size_t begin = pos_;
    const char c = text_[pos_];
    if (c == '(' || c == ')') {
      ++pos_;
      return make(c == '(' ? TokenKind::Open : TokenKind::Close, std::string(1, c), begin);
    }
    if (c == '=' || c == '<' || c == '>') return op(begin);
    if (c == '\'' || c == '"') return quotedString(begin, c);
    if (c == '[') return bracketName(begin);
    if (isDigit(c) || ((c == '-' || c == '+') && pos_ + 1 < text_.size() && isDigit(text_[pos_ + 1]))) {
      return number(begin);
    }
    if (isNameChar(c)) return word(begin);
    fail(text_, "ugyldig tegn " + quoted(std::string(1, c)) + at(begin));
  }

  Token make(TokenKind kind, std::string value, std::size_t begin) const {
    return Token{kind, std::move(value), begin, pos_ - begin};
  }

  std::string at(std::size_t offset) const { return ff::at(text_, offset); }

  Token op(std::size_t begin) {
    const char c = text_[pos_++];
    if (pos_ < text_.size() && c != '=' && (text_[pos_] == '=' || (c == '<' && text_[pos_] == '>'))) {
      ++pos_;
    }
    return make(TokenKind::Op, text_.substr(begin, pos_ - begin), begin);
  }

  // 'O''Hara' and "say ""hi""": the quote doubled stands for itself.
  Token quotedString(std::size_t begin, char quote) {
    std::string value;
    for (++pos_; pos_ < text_.size(); ++pos_) {
      if (text_[pos_] != quote) {
        value += text_[pos_];
      } else if (pos_ + 1 < text_.size() && text_[pos_ + 1] == quote) {
        value += quote;
        ++pos_;
      } else {
        ++pos_;
        return make(TokenKind::String, std::move(value), begin);
      }
    }
    fail(text_, "mangler avsluttende " + std::string(1, quote) + " for teksten som starter" + at(begin));
  }

  Token bracketName(std::size_t begin) {
    const std::size_t close = text_.find(']', pos_ + 1);
    if (close == std::string::npos) fail(text_, "mangler \"]\" for feltnavnet som starter" + at(begin));
    std::string name = text_.substr(pos_ + 1, close - pos_ - 1);
    if (name.find_first_not_of(' ') == std::string::npos) fail(text_, "tomt feltnavn" + at(begin));
    pos_ = close + 1;
    return make(TokenKind::Name, std::move(name), begin);
  }

  // 12, -3, 12.5 and 12,5: a point or comma between digits is the decimal mark.
  Token number(std::size_t begin) {
    ++pos_;
    skipDigits();
    if (pos_ + 1 < text_.size() && (text_[pos_] == '.' || text_[pos_] == ',') && isDigit(text_[pos_ + 1])) {
      ++pos_;
      skipDigits();
    }
    if (pos_ < text_.size() && (isNameChar(text_[pos_]) || text_[pos_] == '.')) {
      while (pos_ < text_.size() && (isNameChar(text_[pos_]) || text_[pos_] == '.')) ++pos_;
      fail(text_, "ugyldig tall " + quoted(text_.substr(begin, pos_ - begin)) + at(begin));
    }
    return make(TokenKind::Number, text_.substr(begin, pos_ - begin), begin);
  }

  void skipDigits() {
    while (pos_ < text_.size() && isDigit(text_[pos_])) ++pos_;
  }

  Token word(std::size_t begin) {
    while (pos_ < text_.size() && isNameChar(text_[pos_])) ++pos_;
    std::string w = text_.substr(begin, pos_ - begin);
    const TokenKind kind = keywordKind(asciiLower(w));
    return make(kind, std::move(w), begin);
  }

  // A field named like a keyword must be written in brackets: [NOT].
  static TokenKind keywordKind(const std::string& lowerWord) {
    static const std::pair<const char*, TokenKind> kKeywords[] = {
        {"and", TokenKind::And},   {"or", TokenKind::Or},        {"not", TokenKind::Not},
        {"null", TokenKind::Null}, {"true", TokenKind::Boolean}, {"false", TokenKind::Boolean}};
    for (const auto& [word, kind] : kKeywords) {
      if (lowerWord == word) return kind;
    }
    return TokenKind::Name;
  }

  const std::string& text_;
  std::size_t pos_ = 0;
};

// ---- Parser: OR of ANDs of (NOT)* primaries; a primary is a comparison or a parenthesis ----

// The operators as written in filters, which SQLite writes the same way.
constexpr std::pair<std::string_view, CompareOp> kOperators[] = {
    {"=", CompareOp::Equal},   {"<>", CompareOp::NotEqual},    {"<", CompareOp::Less},
    {">", CompareOp::Greater}, {"<=", CompareOp::LessOrEqual}, {">=", CompareOp::GreaterOrEqual}};

// REQUIRES: text is one of the operators the lexer makes.
CompareOp compareOp(std::string_view text) {
  for (const auto& [written, op] : kOperators) {
    if (written == text) return op;
  }
  return CompareOp::Equal;
}

std::string_view sqlOperator(CompareOp op) {
  for (const auto& [written, known] : kOperators) {
    if (known == op) return written;
  }
  return "=";
}

// "12 < NR" is "NR > 12".
CompareOp mirrored(CompareOp op) {
  switch (op) {
    case CompareOp::Less:
      return CompareOp::Greater;
    case CompareOp::Greater:
      return CompareOp::Less;
    case CompareOp::LessOrEqual:
      return CompareOp::GreaterOrEqual;
    case CompareOp::GreaterOrEqual:
      return CompareOp::LessOrEqual;
    default:
      return op;
  }
}

bool isOperand(TokenKind k) {
  return k == TokenKind::Name || k == TokenKind::Number || k == TokenKind::String ||
         k == TokenKind::Boolean || k == TokenKind::Null;
}

FilterConstant constantOf(const Token& t) {
  switch (t.kind) {
    case TokenKind::Number:
      return {FilterConstant::Kind::Number, t.value};
    case TokenKind::String:
      return {FilterConstant::Kind::Text, t.value};
    case TokenKind::Boolean:
      return {FilterConstant::Kind::Boolean, t.value};
    default:
      return {FilterConstant::Kind::Null, ""};
  }
}

class Parser {
 public:
  Parser(const std::string& text, std::vector<Token> tokens) : text_(text), tokens_(std::move(tokens)) {}

  std::unique_ptr<FilterNode> Expression() {
    if (peek().kind == TokenKind::End) fail(text_, "filteret er tomt");
    auto root = parseOr();
    const Token& rest = peek();
    if (rest.kind == TokenKind::Close) fail(text_, quoted(")") + " uten tilhørende \"(\"" + at(rest));
    if (rest.kind != TokenKind::End) fail(text_, "uventet " + source(rest) + " etter betingelsen" + at(rest));
    return root;
  }

 private:
  using Step = std::unique_ptr<FilterNode> (Parser::*)();

  const Token& peek() const { return tokens_[pos_]; }
  const Token& take() { return tokens_[pos_++]; }
  std::string source(const Token& t) const {
    return quoted(std::string_view(text_).substr(t.begin, t.length));
  }
  std::string at(const Token& t) const { return ff::at(text_, t.begin); }

  std::unique_ptr<FilterNode> parseOr() {
    return chain(TokenKind::Or, FilterNode::Kind::Or, &Parser::parseAnd);
  }
  std::unique_ptr<FilterNode> parseAnd() {
    return chain(TokenKind::And, FilterNode::Kind::And, &Parser::parseNot);
  }

  // operand (joiner operand)*, kept flat so long chains do not deepen the tree.
  std::unique_ptr<FilterNode> chain(TokenKind joiner, FilterNode::Kind kind, Step operand) {
    auto first = (this->*operand)();
    if (peek().kind != joiner) return first;
    auto node = std::make_unique<FilterNode>();
    node->kind = kind;
    node->children.push_back(std::move(first));
    while (peek().kind == joiner) {
      take();
      node->children.push_back((this->*operand)());
    }
    return node;
  }

  std::unique_ptr<FilterNode> parseNot() {
    if (peek().kind != TokenKind::Not) return parsePrimary();
    take();
    auto node = std::make_unique<FilterNode>();
    node->kind = FilterNode::Kind::Not;
    node->children.push_back(nested(&Parser::parseNot));
    return node;
  }

  std::unique_ptr<FilterNode> parsePrimary() {
    const Token& t = peek();
    if (t.kind == TokenKind::Open) {
      take();
      auto inner = nested(&Parser::parseOr);
      const Token& close = peek();
      if (close.kind == TokenKind::End) fail(text_, "mangler \")\" for \"(\"" + at(t));
      if (close.kind != TokenKind::Close)
        fail(text_, "uventet " + source(close) + ", ventet \")\"" + at(close));
      take();
      return inner;
    }
    if (!isOperand(t.kind)) failExpected("en betingelse");
    return parseComparison();
  }

  std::unique_ptr<FilterNode> nested(Step step) {
    if (++depth_ > kMaxNesting) {
      fail(text_, "uttrykket er nestet for dypt (mer enn " + std::to_string(kMaxNesting) + " nivåer)");
    }
    auto node = (this->*step)();
    --depth_;
    return node;
  }

  [[noreturn]] void failExpected(const std::string& what) const {
    const Token& t = peek();
    if (t.kind == TokenKind::End) fail(text_, "mangler " + what + " etter " + source(tokens_[pos_ - 1]));
    fail(text_, "ventet " + what + ", fant " + source(t) + at(t));
  }

  std::unique_ptr<FilterNode> parseComparison() {
    const Token& left = take();
    if (peek().kind != TokenKind::Op) failExpected("sammenligning (=, <>, <, >, <=, >=)");
    const Token& op = take();
    if (!isOperand(peek().kind)) failExpected("verdi");
    const Token& right = take();
    const bool leftIsField = left.kind == TokenKind::Name;
    const bool rightIsField = right.kind == TokenKind::Name;
    if (leftIsField && rightIsField) {
      fail(text_, "feltet " + source(left) + " sammenlignes med feltet " + source(right) +
                      "; et felt kan bare sammenlignes med en verdi" + at(left));
    }
    if (!leftIsField && !rightIsField) {
      fail(text_, "sammenligningen " + source(left) + " " + op.value + " " + source(right) +
                      " nevner ikke noe felt" + at(left));
    }
    auto node = std::make_unique<FilterNode>();
    node->field = leftIsField ? left.value : right.value;
    node->op = leftIsField ? compareOp(op.value) : mirrored(compareOp(op.value));
    node->constant = constantOf(leftIsField ? right : left);
    if (node->constant.kind == FilterConstant::Kind::Null && node->op != CompareOp::Equal &&
        node->op != CompareOp::NotEqual) {
      fail(text_, "NULL kan bare sammenlignes med = eller <>" + at(op));
    }
    return node;
  }

  const std::string& text_;
  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
  int depth_ = 0;
};

// ---- The tree as it is written: double NOTs dropped, nested chains of one kind joined ----

std::unique_ptr<FilterNode> simplified(std::unique_ptr<FilterNode> node) {
  if (node->kind == FilterNode::Kind::Compare) return node;
  std::vector<std::unique_ptr<FilterNode>> children;
  for (auto& child : node->children) {
    auto simple = simplified(std::move(child));
    if (node->kind != FilterNode::Kind::Not && simple->kind == node->kind) {
      for (auto& grandchild : simple->children) children.push_back(std::move(grandchild));
    } else {
      children.push_back(std::move(simple));
    }
  }
  node->children = std::move(children);
  if (node->kind == FilterNode::Kind::Not && node->children.front()->kind == FilterNode::Kind::Not) {
    return std::move(node->children.front()->children.front());
  }
  return node;
}

// Joins items in groups of at most kChainGroup, then the groups likewise, until one is left.
template <class Item, class Join>
Item grouped(std::vector<Item> items, const Join& join) {
  while (items.size() > kChainGroup) {
    std::vector<Item> groups;
    for (std::size_t first = 0; first < items.size(); first += kChainGroup) {
      const std::size_t last = std::min(items.size(), first + kChainGroup);
      groups.push_back(join(std::vector<Item>(std::make_move_iterator(items.begin() + static_cast<std::ptrdiff_t>(first)),
                                              std::make_move_iterator(items.begin() + static_cast<std::ptrdiff_t>(last)))));
    }
    items = std::move(groups);
  }
  return join(std::move(items));
}

// How deep the written SQL nests: parenthesised groups, and the depth of SQLite's tree.
struct SqlShape {
  int nesting = 0;
  int treeDepth = 0;
  std::size_t comparisons = 0;
};

// A comparison is at most four levels deep (the byte-prefix form); "a OR b OR c" is a
// left-deep tree, so the k-th of n parts (k >= 1) stands n - k levels below the chain's top.
SqlShape shapeOf(const FilterNode& node) {
  if (node.kind == FilterNode::Kind::Compare) return {1, 4, 1};
  if (node.kind == FilterNode::Kind::Not) {
    SqlShape inner = shapeOf(*node.children.front());
    return {inner.nesting + 1, inner.treeDepth + 1, inner.comparisons};
  }
  std::vector<SqlShape> shapes;
  for (const auto& child : node.children) shapes.push_back(shapeOf(*child));
  return grouped(std::move(shapes), [](std::vector<SqlShape> parts) {
    SqlShape joined;
    for (std::size_t k = 0; k < parts.size(); ++k) {
      const int below = static_cast<int>(parts.size() - std::max<std::size_t>(k, 1));
      joined.nesting = std::max(joined.nesting, parts[k].nesting + 1);
      joined.treeDepth = std::max(joined.treeDepth, parts[k].treeDepth + below);
      joined.comparisons += parts[k].comparisons;
    }
    return joined;
  });
}

void checkComplexity(const std::string& text, const FilterNode& root) {
  const SqlShape shape = shapeOf(root);
  if (shape.comparisons > kMaxComparisons) {
    fail(text, "filteret er for sammensatt (mer enn " + std::to_string(kMaxComparisons) + " sammenligninger)");
  }
  if (shape.nesting > kMaxSqlNesting || shape.treeDepth > kMaxSqlTreeDepth) {
    fail(text, "filteret er for sammensatt (for mange nivåer av AND, OR og NOT inni hverandre)");
  }
}

// ---- Constants converted to a field's type ----

std::string_view trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// Optional sign, digits, optional decimal point or comma with digits; blanks around allowed.
std::optional<double> strictNumber(std::string_view s) {
  std::string normal(trimmed(s));
  if (!normal.empty() && normal[0] == '+') normal.erase(0, 1);
  std::size_t i = (!normal.empty() && normal[0] == '-') ? 1 : 0;
  const std::size_t digitsStart = i;
  while (i < normal.size() && isDigit(normal[i])) ++i;
  if (i == digitsStart) return std::nullopt;
  if (i < normal.size() && (normal[i] == '.' || normal[i] == ',')) {
    normal[i++] = '.';
    const std::size_t fractionStart = i;
    while (i < normal.size() && isDigit(normal[i])) ++i;
    if (i == fractionStart) return std::nullopt;
  }
  if (i != normal.size()) return std::nullopt;
  double d = 0;
  const char* end = normal.data() + normal.size();
  const auto result = std::from_chars(normal.data(), end, d, std::chars_format::fixed);
  if (result.ec != std::errc() || result.ptr != end) return std::nullopt;
  return d;
}

// Whole numbers for whole-number fields stay exact beyond 2^53.
std::optional<Value> integerValue(std::string_view s) {
  const std::optional<double> d = strictNumber(s);
  if (!d) return std::nullopt;
  s = trimmed(s);
  if (s[0] == '+') s.remove_prefix(1);
  std::int64_t n = 0;
  const auto result = std::from_chars(s.data(), s.data() + s.size(), n);
  if (result.ec == std::errc() && result.ptr == s.data() + s.size()) return Value{n};
  return Value{*d};
}

std::optional<Value> realValue(std::string_view s) {
  if (auto d = strictNumber(s)) return Value{*d};
  return std::nullopt;
}

std::optional<Value> booleanValue(const std::string& s) {
  const std::string key = asciiLower(s);
  if (key == "true" || key == "ja" || key == "1") return Value{std::int64_t{1}};
  if (key == "false" || key == "nei" || key == "0") return Value{std::int64_t{0}};
  return std::nullopt;
}

// Dates as dd.mm.yyyy[ hh:mm[:ss]], times also as hh:mm[:ss], or a plain day number.
std::optional<Value> dateValue(const FilterConstant& c, FieldType type) {
  double d = 0;
  if (c.kind == FilterConstant::Kind::Text) {
    if (parseDateTime(c.text, d)) return Value{d};
    if (type == FieldType::Time && parseDateTime("30.12.1899 " + c.text, d)) return Value{d};
  }
  if (c.kind == FilterConstant::Kind::Boolean) return std::nullopt;
  return realValue(c.text);
}

bool isDateType(FieldType t) {
  return t == FieldType::Date || t == FieldType::Time || t == FieldType::DateTime;
}

// What a field of the type takes, for the message when a constant does not fit.
std::string expectedValue(FieldType type) {
  if (type == FieldType::Boolean) return "en sannhetsverdi (True/False, Ja/Nei, 1/0)";
  if (isDateType(type)) return "en dato (dd.mm.åååå) eller et dagnummer";
  return "et tall";
}

std::optional<Value> convertConstant(const FilterConstant& c, FieldType type) {
  if (type == FieldType::Boolean) return booleanValue(c.text);
  if (isDateType(type)) return dateValue(c, type);
  switch (storageClassOf(type)) {
    case StorageClass::Integer:
      return c.kind == FilterConstant::Kind::Boolean ? std::nullopt : integerValue(c.text);
    case StorageClass::Real:
      return c.kind == FilterConstant::Kind::Boolean ? std::nullopt : realValue(c.text);
    default:
      return Value{c.text};
  }
}

// GLOB matches *, ? and [ literally only inside brackets.
std::string globLiteral(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '*' || c == '?' || c == '[') {
      out += '[';
      out += c;
      out += ']';
    } else {
      out += c;
    }
  }
  return out;
}

// LIKE with "!" as escape character matches %, _ and ! literally when escaped.
std::string likeLiteral(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '%' || c == '_' || c == '!') out += '!';
    out += c;
  }
  return out;
}

using Resolver = std::function<std::optional<FilterColumn>(const std::string&)>;

class SqlWriter {
 public:
  SqlWriter(const std::string& text, const Resolver& resolve, std::vector<Value>& params, SqlDialect dialect)
      : text_(text), resolve_(resolve), params_(params), dialect_(dialect) {}

  std::string Write(const FilterNode& node) {
    switch (node.kind) {
      case FilterNode::Kind::And:
        return joined(node, " AND ");
      case FilterNode::Kind::Or:
        return joined(node, " OR ");
      case FilterNode::Kind::Not:
        return "(NOT " + Write(*node.children.front()) + ")";
      case FilterNode::Kind::Compare:
        return comparison(node);
    }
    return {};
  }

 private:
  std::string joined(const FilterNode& node, const char* joiner) {
    std::vector<std::string> parts;
    for (const auto& child : node.children) parts.push_back(Write(*child));
    return grouped(std::move(parts), [joiner](std::vector<std::string> items) {
      std::string sql = "(";
      for (std::size_t i = 0; i < items.size(); ++i) sql += (i > 0 ? joiner : "") + items[i];
      return sql + ")";
    });
  }

  std::string comparison(const FilterNode& node) {
    const std::optional<FilterColumn> column = resolve_(node.field);
    if (!column) fail(text_, "ukjent felt " + quoted(node.field));
    const FilterConstant& c = node.constant;
    if (c.kind == FilterConstant::Kind::Null) {
      return "(" + column->sql + (node.op == CompareOp::Equal ? " IS NULL)" : " IS NOT NULL)");
    }
    const StorageClass storage = storageClassOf(column->type);
    if (storage == StorageClass::Bytes) {
      fail(text_, "feltet " + quoted(node.field) + " kan bare sammenlignes med NULL");
    }
    if (isPrefixMatch(node, storage)) return prefixMatch(node, column->sql);
    std::optional<Value> value = convertConstant(c, column->type);
    if (!value) {
      fail(text_, quoted(c.text) + " er ikke " + expectedValue(column->type) + " (feltet " +
                      quoted(node.field) + ")");
    }
    params_.push_back(std::move(*value));
    return "(" + column->sql + " " + std::string(sqlOperator(node.op)) + " ?)";
  }

  // GLOB can use an index; a prefix too long for a GLOB pattern, or holding a NUL byte (where
  // GLOB ends the pattern), compares the first bytes. MariaDB takes LIKE with an escape
  // character instead.
  std::string prefixMatch(const FilterNode& node, const std::string& column) {
    const std::string_view prefix = std::string_view(node.constant.text).substr(0, node.constant.text.size() - 1);
    const bool equal = node.op == CompareOp::Equal;
    if (dialect_ == SqlDialect::MariaDb) {
      params_.push_back(Value{likeLiteral(prefix) + "%"});
      return "(" + column + (equal ? " LIKE ? ESCAPE '!')" : " NOT LIKE ? ESCAPE '!')");
    }
    const std::string pattern = globLiteral(prefix) + "*";
    if (pattern.size() <= kMaxGlobPattern && prefix.find('\0') == std::string_view::npos) {
      params_.emplace_back(std::in_place_type<std::string>, pattern);
      return "(" + column + (equal ? " GLOB ?)" : " NOT GLOB ?)");
    }
    params_.emplace_back(std::in_place_type<std::int64_t>, static_cast<std::int64_t>(prefix.size()));
    params_.emplace_back(std::in_place_type<std::string>, prefix);
    // substr of an empty blob is NULL, not an empty blob.
    return "(" + column + " IS NOT NULL AND coalesce(substr(CAST(" + column + " AS BLOB), 1, ?), x'') " +
           (equal ? "=" : "<>") + " CAST(? AS BLOB))";
  }

  // NAVN='Ås*' and NAVN<>'Ås*' test a prefix; ordering comparisons take the star as written.
  static bool isPrefixMatch(const FilterNode& node, StorageClass storage) {
    return storage == StorageClass::Text && node.constant.kind == FilterConstant::Kind::Text &&
           !node.constant.text.empty() && node.constant.text.back() == '*' &&
           (node.op == CompareOp::Equal || node.op == CompareOp::NotEqual);
  }

  const std::string& text_;
  const Resolver& resolve_;
  std::vector<Value>& params_;
  SqlDialect dialect_;
};

}  // namespace

FilterExpression::FilterExpression() = default;
FilterExpression::~FilterExpression() = default;
FilterExpression::FilterExpression(FilterExpression&&) noexcept = default;
FilterExpression& FilterExpression::operator=(FilterExpression&&) noexcept = default;

FilterExpression FilterExpression::Parse(const std::string& text) {
  FilterExpression expr;
  expr.root_ = simplified(Parser(text, Lexer(text).Tokens()).Expression());
  checkComplexity(text, *expr.root_);
  expr.text_ = text;
  return expr;
}

std::string FilterExpression::ToSql(const Resolver& resolve, std::vector<Value>& params, SqlDialect dialect) const {
  if (!root_) fail(text_, "filteret er tomt");
  std::vector<Value> added;
  std::string sql = SqlWriter(text_, resolve, added, dialect).Write(*root_);
  params.insert(params.end(), std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
  return sql;
}

}  // namespace ff
