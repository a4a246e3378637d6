#include "store/Filter.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <strings.h>

#include <cstdint>
#include <string>
#include <vector>

#include "store/Errors.h"
#include "store/Field.h"

namespace ff {
namespace {

struct TestColumn {
  const char* name;
  FieldType type;
  const char* sqlType;
};

constexpr TestColumn kColumns[] = {
    {"NR", FieldType::Integer, "INTEGER"},
    {"PROSJEKTNR", FieldType::Integer, "INTEGER"},
    {"SYSTEMNR", FieldType::Smallint, "INTEGER"},
    {"UTSTYRNR", FieldType::Word, "INTEGER"},
    {"NAVN", FieldType::String, "TEXT"},
    {"E-mail", FieldType::String, "TEXT"},
    {"POSTNR", FieldType::String, "TEXT"},
    {"BELOP", FieldType::Float, "REAL"},
    {"DATO", FieldType::Date, "REAL"},
    {"TID", FieldType::Time, "REAL"},
    {"AKTIV", FieldType::Boolean, "INTEGER"},
    {"BILDE", FieldType::Blob, "BLOB"},
};

// Rows in column order; dates are filled in by day number below.
constexpr const char* kRows[] = {
    "1, 12, 3, 0, 'O''Hara', 'o@firma.no', '0150', 12.5, %d1, 0.5, 1, NULL",
    "2, 12, 4, 7, 'Åse', NULL, '5000', -3, %d2, NULL, 0, NULL",
    "3, 13, 3, 7, 'Ås 50%', 'ås@firma.no', '150', 100, NULL, NULL, 1, NULL",
    "4, 0, 0, 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL",
    "5, 12, 3, 0, 'åsen', NULL, NULL, 0, %d2, NULL, 1, NULL",
    "6, 14, 1, 0, 'A_b%c*d?e[f]g', NULL, NULL, NULL, NULL, NULL, 0, NULL",
    "7, 14, 2, 0, 'A_b%cQd!efg', NULL, NULL, NULL, NULL, NULL, 0, NULL",
    "8, 14, 3, 0, 'AXb%c*d?e[f]g', NULL, NULL, NULL, NULL, NULL, 0, NULL",
};

std::optional<FilterColumn> resolveColumn(const std::string& name) {
  for (const TestColumn& c : kColumns) {
    if (strcasecmp(c.name, name.c_str()) == 0) return FilterColumn{"\"" + std::string(c.name) + "\"", c.type};
  }
  return std::nullopt;
}

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
  for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) {
    s.replace(at, from.size(), to);
  }
  return s;
}

// The message of the EBadFilter that f throws, or "" when it throws nothing.
template <class F>
std::string badFilterMessage(F f) {
  try {
    f();
  } catch (const EBadFilter& e) {
    return e.what();
  }
  return "";
}

std::string parseError(const std::string& text) {
  return badFilterMessage([&] { FilterExpression::Parse(text); });
}

std::string translateError(const std::string& text) {
  return badFilterMessage([&] {
    std::vector<Value> params;
    FilterExpression::Parse(text).ToSql(resolveColumn, params);
  });
}

class FilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    std::string create = "CREATE TABLE T(";
    for (const TestColumn& c : kColumns) {
      create += std::string(&c == kColumns ? "" : ", ") + "\"" + c.name + "\" " + c.sqlType;
    }
    exec(create + ")");
    double feb1 = 0, mar15 = 0;
    ASSERT_TRUE(parseDateTime("01.02.2024", feb1));
    ASSERT_TRUE(parseDateTime("15.03.2024", mar15));
    for (const char* row : kRows) {
      std::string values =
          replaceAll(replaceAll(row, "%d1", std::to_string(feb1)), "%d2", std::to_string(mar15));
      exec("INSERT INTO T VALUES(" + values + ")");
    }
  }

  void TearDown() override { sqlite3_close(db_); }

  void exec(const std::string& sql) {
    char* error = nullptr;
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error);
    const std::string message = error ? error : "";
    sqlite3_free(error);
    ASSERT_EQ(rc, SQLITE_OK) << message << " in " << sql;
  }

  // The NR of every row the filter selects, e.g. "1 2 5".
  std::string select(const std::string& filter) {
    std::vector<Value> params;
    const std::string where = FilterExpression::Parse(filter).ToSql(resolveColumn, params);
    const std::string sql = "SELECT NR FROM T WHERE " + where + " ORDER BY NR";
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sqlite3_errmsg(db_) << " in " << sql;
      return "error";
    }
    for (std::size_t i = 0; i < params.size(); ++i) bind(stmt, static_cast<int>(i + 1), params[i]);
    std::string rows;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      rows += (rows.empty() ? "" : " ") + std::to_string(sqlite3_column_int64(stmt, 0));
    }
    sqlite3_finalize(stmt);
    return rows;
  }

  // Runs a parsed filter to its end on SQLite; returns SQLite's error, or "" when it ran.
  std::string runError(const std::string& filter) {
    std::vector<Value> params;
    const std::string sql =
        "SELECT count(*) FROM T WHERE " + FilterExpression::Parse(filter).ToSql(resolveColumn, params);
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, &tail) != SQLITE_OK) return sqlite3_errmsg(db_);
    EXPECT_STREQ(tail, "") << "one statement only";
    for (std::size_t i = 0; i < params.size(); ++i) bind(stmt, static_cast<int>(i + 1), params[i]);
    int rc = SQLITE_ROW;
    while (rc == SQLITE_ROW) rc = sqlite3_step(stmt);
    std::string error = rc == SQLITE_DONE ? "" : sqlite3_errmsg(db_);
    sqlite3_finalize(stmt);
    return error;
  }

  static void bind(sqlite3_stmt* stmt, int index, const Value& v) {
    if (const auto* i = std::get_if<std::int64_t>(&v)) {
      sqlite3_bind_int64(stmt, index, *i);
    } else if (const auto* d = std::get_if<double>(&v)) {
      sqlite3_bind_double(stmt, index, *d);
    } else if (const auto* s = std::get_if<std::string>(&v)) {
      sqlite3_bind_text(stmt, index, s->c_str(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_null(stmt, index);
    }
  }

  sqlite3* db_ = nullptr;
};

std::string sqlOf(const std::string& filter, std::vector<Value>& params) {
  return FilterExpression::Parse(filter).ToSql(resolveColumn, params);
}

TEST_F(FilterTest, SuiteFormsSelectTheirRows) {
  EXPECT_EQ(select("PROSJEKTNR=12 AND SYSTEMNR=3"), "1 5");
  EXPECT_EQ(select("UTSTYRNR=0"), "1 4 5 6 7 8");
  EXPECT_EQ(select("NR=5"), "5");
  EXPECT_EQ(select("PROSJEKTNR=0"), "4");
  EXPECT_EQ(select("UTSTYRNR=7"), "2 3");
}

TEST(FilterSql, IsParenthesisedWithPlaceholdersOnly) {
  std::vector<Value> params{Value{std::string("earlier")}};
  EXPECT_EQ(sqlOf("PROSJEKTNR=12 AND SYSTEMNR=3", params), "((\"PROSJEKTNR\" = ?) AND (\"SYSTEMNR\" = ?))");
  EXPECT_EQ(params, (std::vector<Value>{Value{std::string("earlier")}, Value{std::int64_t{12}},
                                        Value{std::int64_t{3}}}));

  params.clear();
  EXPECT_EQ(sqlOf("nr=1 or NR=2 And not Nr=3", params),
            "((\"NR\" = ?) OR ((\"NR\" = ?) AND (NOT (\"NR\" = ?))))");
  EXPECT_EQ(params.size(), 3u);

  params.clear();
  const std::string sql = sqlOf("NAVN='x'') OR 1=1 --'", params);
  EXPECT_EQ(sql, "(\"NAVN\" = ?)");
  EXPECT_EQ(params, std::vector<Value>{Value{std::string("x') OR 1=1 --")}});
}

TEST_F(FilterTest, NotBindsTighterThanAndWhichBindsTighterThanOr) {
  EXPECT_EQ(select("NOT NR=1 AND NR<3"), "2");
  EXPECT_EQ(select("NR=1 OR NR=2 AND SYSTEMNR=99"), "1");
  EXPECT_EQ(select("(NR=1 OR NR=2) AND SYSTEMNR=4"), "2");
  EXPECT_EQ(select("NOT (NR>1 AND NR<8)"), "1 8");
  EXPECT_EQ(select("NOT NOT NR=3"), "3");
  EXPECT_EQ(select("((NR=1)) or (nr=2 and (not SYSTEMNR=3))"), "1 2");
}

TEST_F(FilterTest, OperatorsAndConstantFirst) {
  EXPECT_EQ(select("NR<>4 AND NR<=3"), "1 2 3");
  EXPECT_EQ(select("NR>=7"), "7 8");
  EXPECT_EQ(select("NR>6"), "7 8");
  EXPECT_EQ(select("NR<2"), "1");
  EXPECT_EQ(select("12 = PROSJEKTNR"), "1 2 5");
  EXPECT_EQ(select("6 < NR"), "7 8");
  EXPECT_EQ(select("6 >= NR AND 5 <= NR"), "5 6");
  EXPECT_EQ(select("NULL = NAVN"), "4");
}

TEST_F(FilterTest, QuotedStringsAndBracketedNames) {
  EXPECT_EQ(select("NAVN='O''Hara'"), "1");
  EXPECT_EQ(select("NAVN=\"O'Hara\""), "1");
  EXPECT_EQ(select("NAVN = 'Åse'"), "2");
  EXPECT_EQ(select("[E-mail]='ås@firma.no'"), "3");
  EXPECT_EQ(select("[NAVN]='Åse' AND [E-mail]=NULL"), "2");
  EXPECT_EQ(select("NAVN='x'') OR 1=1 --'"), "");
  std::vector<Value> params;
  EXPECT_EQ(sqlOf("NAVN=\"say \"\"hi\"\"\"", params), "(\"NAVN\" = ?)");
  EXPECT_EQ(params, std::vector<Value>{Value{std::string("say \"hi\"")}});
}

TEST_F(FilterTest, NumbersWithPointOrCommaAndQuotedNumbers) {
  EXPECT_EQ(select("BELOP=12.5"), "1");
  EXPECT_EQ(select("BELOP=12,5"), "1");
  EXPECT_EQ(select("BELOP=-3"), "2");
  EXPECT_EQ(select("BELOP>'12,4'"), "1 3");
  EXPECT_EQ(select("NR=' 2 '"), "2");
  EXPECT_EQ(select("NR=+2"), "2");
  EXPECT_EQ(select("NR<2.5 AND NR>1,5"), "2");

  std::vector<Value> params;
  sqlOf("NR=9007199254740993 AND BELOP=2", params);
  EXPECT_EQ(params, (std::vector<Value>{Value{std::int64_t{9007199254740993}}, Value{2.0}}));
}

TEST_F(FilterTest, TextFieldsCompareNumbersAsWritten) {
  EXPECT_EQ(select("POSTNR=0150"), "1");
  EXPECT_EQ(select("POSTNR=150"), "3");
  EXPECT_EQ(select("NAVN=True"), "");
}

TEST_F(FilterTest, NullColumnsFollowSql) {
  EXPECT_EQ(select("NAVN=NULL"), "4");
  EXPECT_EQ(select("NAVN<>null"), "1 2 3 5 6 7 8");
  EXPECT_EQ(select("NAVN<>'Åse'"), "1 3 5 6 7 8");
  EXPECT_EQ(select("NOT NAVN='Åse'"), "1 3 5 6 7 8");
  EXPECT_EQ(select("BELOP<1"), "2 5");
}

TEST_F(FilterTest, DatesAndTimes) {
  EXPECT_EQ(select("DATO='01.02.2024'"), "1");
  EXPECT_EQ(select("DATO>='01.03.2024'"), "2 5");
  EXPECT_EQ(select("DATO<'1.3.24'"), "1");
  double feb1 = 0;
  ASSERT_TRUE(parseDateTime("01.02.2024", feb1));
  EXPECT_EQ(select("DATO=" + std::to_string(static_cast<int>(feb1))), "1");
  EXPECT_EQ(select("TID='12:00'"), "1");
  EXPECT_EQ(select("TID<'12:00:01'"), "1");
}

TEST_F(FilterTest, BooleansTakeTheirWordsInAnyCase) {
  EXPECT_EQ(select("AKTIV=True"), "1 3 5");
  EXPECT_EQ(select("AKTIV='ja'"), "1 3 5");
  EXPECT_EQ(select("AKTIV=1"), "1 3 5");
  EXPECT_EQ(select("AKTIV=FALSE"), "2 6 7 8");
  EXPECT_EQ(select("AKTIV='Nei'"), "2 6 7 8");
  EXPECT_EQ(select("AKTIV=0"), "2 6 7 8");
  EXPECT_EQ(select("AKTIV<>\"false\""), "1 3 5");
}

TEST_F(FilterTest, TrailingStarIsALiteralPrefixMatch) {
  EXPECT_EQ(select("NAVN='Ås*'"), "2 3");
  EXPECT_EQ(select("NAVN<>'Ås*'"), "1 5 6 7 8");
  EXPECT_EQ(select("NAVN='*'"), "1 2 3 5 6 7 8");
  EXPECT_EQ(select("NAVN='Ås 50%*'"), "3");
  EXPECT_EQ(select("NAVN='Ås 5_*'"), "");
  // Row 7 matches if * ? [ ] act as GLOB wildcards, row 8 if _ % act as LIKE wildcards.
  EXPECT_EQ(select("NAVN='A_b%c*d?e[f]*'"), "6");
  EXPECT_EQ(select("NAVN='A_b%c*d?e[f]g'"), "6");
  EXPECT_EQ(select("NAVN>='A_b%c*'"), "1 2 3 5 6 7");
}

TEST(FilterErrors, ParseNamesTheTextAndTheFault) {
  struct Case {
    std::string text;
    std::string fault;
  };
  const std::vector<Case> cases = {
      {"", "filteret er tomt"},
      {"   ", "filteret er tomt"},
      {"PROSJEKTNR=", "mangler verdi etter \"=\""},
      {"PROSJEKTNR=1 AND SYSTEMNR=", "mangler verdi etter \"=\""},
      {"PROSJEKTNR", "mangler sammenligning"},
      {"PROSJEKTNR 12", "ventet sammenligning"},
      {"(NR=1", "mangler \")\""},
      {"((NR=1) AND NR=2", "mangler \")\""},
      {"NR=1)", "\")\" uten tilhørende \"(\""},
      {"NAVN='abc", "mangler avsluttende '"},
      {"NAVN=\"abc", "mangler avsluttende \""},
      {"[E-mail='x'", "mangler \"]\""},
      {"[]=1", "tomt feltnavn"},
      {"NR=1 NR=2", "uventet \"NR\" etter betingelsen"},
      {"NR=1 AND", "mangler en betingelse etter \"AND\""},
      {"NR=1 or", "mangler en betingelse etter \"or\""},
      {"NOT", "mangler en betingelse etter \"NOT\""},
      {"NR=1 AND NOT", "mangler en betingelse etter \"NOT\""},
      {"NR=1 AND OR NR=2", "ventet en betingelse, fant \"OR\""},
      {"()", "ventet en betingelse, fant \")\""},
      {"NR==1", "ventet verdi, fant \"=\""},
      {"NR=12abc", "ugyldig tall \"12abc\""},
      {"NR=1.2.3", "ugyldig tall \"1.2.3\""},
      {"NR=1 # 2", "ugyldig tegn \"#\" (tegn 6)"},
      {"NR=NAVN", "feltet \"NR\" sammenlignes med feltet \"NAVN\""},
      {"1=2", "nevner ikke noe felt"},
      {"NAVN<NULL", "NULL kan bare sammenlignes med = eller <>"},
      {std::string(65, '(') + "NR=1" + std::string(65, ')'), "nestet for dypt"},
  };
  for (const Case& c : cases) {
    const std::string message = parseError(c.text);
    EXPECT_NE(message.find("Ugyldig filter \"" + c.text + "\""), std::string::npos)
        << c.text << ": " << message;
    EXPECT_NE(message.find(c.fault), std::string::npos) << c.text << ": " << message;
  }
}

TEST(FilterErrors, TranslationNamesUnknownFieldsAndUnfitConstants) {
  struct Case {
    std::string text;
    std::string fault;
  };
  const std::vector<Case> cases = {
      {"NR=1 AND UKJENT=2", "ukjent felt \"UKJENT\""},
      {"[NR\" OR 1=1 --]=1", "ukjent felt \"NR\" OR 1=1 --\""},
      {"NR='abc'", "\"abc\" er ikke et tall (feltet \"NR\")"},
      {"NR=''", "\"\" er ikke et tall"},
      {"BELOP='1e5'", "\"1e5\" er ikke et tall"},
      {"PROSJEKTNR='1*'", "\"1*\" er ikke et tall"},
      {"BELOP=True", "\"True\" er ikke et tall"},
      {"DATO='abc'", "\"abc\" er ikke en dato"},
      {"DATO='31.02.2024'", "\"31.02.2024\" er ikke en dato"},
      {"AKTIV='kanskje'", "\"kanskje\" er ikke en sannhetsverdi"},
      {"AKTIV=2", "\"2\" er ikke en sannhetsverdi"},
      {"BILDE='x'", "feltet \"BILDE\" kan bare sammenlignes med NULL"},
  };
  for (const Case& c : cases) {
    const std::string message = translateError(c.text);
    EXPECT_NE(message.find("Ugyldig filter \"" + c.text + "\""), std::string::npos)
        << c.text << ": " << message;
    EXPECT_NE(message.find(c.fault), std::string::npos) << c.text << ": " << message;
  }
}

TEST(FilterErrors, FailedTranslationLeavesParamsAsTheyWere) {
  std::vector<Value> params{Value{std::int64_t{42}}};
  const FilterExpression expr = FilterExpression::Parse("NR=1 AND NAVN='x' AND DATO='nei'");
  EXPECT_THROW(expr.ToSql(resolveColumn, params), EBadFilter);
  EXPECT_EQ(params, std::vector<Value>{Value{std::int64_t{42}}});
}

TEST(FilterExpressionObject, EmptyExpressionRefusesToTranslate) {
  std::vector<Value> params;
  FilterExpression empty;
  EXPECT_THROW(empty.ToSql(resolveColumn, params), EBadFilter);

  FilterExpression parsed = FilterExpression::Parse("NR=1");
  FilterExpression moved = std::move(parsed);
  EXPECT_EQ(moved.ToSql(resolveColumn, params), "(\"NR\" = ?)");
  empty = std::move(moved);
  EXPECT_EQ(empty.ToSql(resolveColumn, params), "(\"NR\" = ?)");
}

TEST_F(FilterTest, DeepButAllowedNestingAndLongChainsWork) {
  EXPECT_EQ(select(std::string(60, '(') + "NR=3" + std::string(60, ')')), "3");
  std::string chain = "NR=8";
  for (int i = 0; i < 300; ++i) chain += " OR NR=" + std::to_string(1000 + i);
  EXPECT_EQ(select(chain), "8");
}

std::string repeated(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

std::string chainOf(const char* joiner, int terms) {
  std::string chain = "NR=8";
  for (int i = 1; i < terms; ++i) chain += std::string(" ") + joiner + " NR=" + std::to_string(1000 + i);
  return chain;
}

// (NR=1 AND (NR=2 OR (NR=3 AND ...))) with `levels` groups, each holding `width` comparisons.
std::string alternating(int levels, int width) {
  std::string inner = "NR=8";
  for (int level = 0; level < levels; ++level) {
    const char* joiner = level % 2 ? " AND " : " OR ";
    std::string group;
    for (int i = 1; i < width; ++i) group += "NAVN='x" + std::to_string(i) + "*'" + joiner;
    inner = "(" + group + inner + ")";
  }
  return inner;
}

TEST_F(FilterTest, EveryFilterThatParsesRuns) {
  for (int nots : {45, 46, 47, 64}) {
    EXPECT_EQ(runError(repeated("NOT ", nots) + "NR=3"), "") << nots << " NOTs";
    EXPECT_EQ(select(repeated("NOT ", nots) + "NR=3"), nots % 2 ? "1 2 4 5 6 7 8" : "3");
  }
  EXPECT_EQ(select(repeated("NOT (", 31) + "NR=3" + std::string(31, ')')), "1 2 4 5 6 7 8");
  for (int terms : {999, 1000, 1001, 5000, 10000}) {
    EXPECT_EQ(runError(chainOf("OR", terms)), "") << terms << " OR terms";
    EXPECT_EQ(select(chainOf("OR", terms)), "8");
    EXPECT_EQ(runError(chainOf("AND", terms)), "") << terms << " AND terms";
  }
  EXPECT_EQ(runError(alternating(19, 32)), "") << "the deepest nesting allowed";
  EXPECT_EQ(runError(alternating(9, 33)), "") << "long chains count a level more";
  EXPECT_EQ(runError("NOT (" + alternating(18, 2) + ")"), "");
  const std::string longPrefix = "NAVN='" + std::string(20000, '*') + "'";
  EXPECT_EQ(runError(longPrefix + " OR NOT " + longPrefix), "");
  EXPECT_EQ(select("NAVN='" + repeated("Åse", 4000) + "*' OR NAVN<>'" + std::string(30000, 'A') + "*'"),
            "1 2 3 5 6 7 8");
}

TEST(FilterErrors, TooComplexFiltersAreRefusedWhenParsed) {
  EXPECT_NE(parseError(chainOf("OR", 10001)).find("filteret er for sammensatt"), std::string::npos);
  EXPECT_NE(parseError(alternating(20, 2)).find("filteret er for sammensatt"), std::string::npos);
  EXPECT_NE(parseError(alternating(10, 33)).find("filteret er for sammensatt"), std::string::npos);
  EXPECT_EQ(parseError(alternating(19, 2)), "");
}

}  // namespace
}  // namespace ff
