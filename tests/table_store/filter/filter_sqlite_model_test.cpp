// Random filters against SQLite's WHERE on the same rows: every expression
// is drawn from the filter grammar (comparisons of fields, constants and
// arithmetic, string compares under every option, like, in, is null,
// Boolean fields alone, YEAR, not, and, or) and written twice, once as
// filter text and once as SQL with the filter's meaning; the records shown
// must be the rows the query selects.
//
// Where the meanings part, the SQL side is written to the filter's:
// - A comparison, like or in with a null operand is false for the filter,
//   unknown for SQL: each such test becomes IFNULL(test, 0), so that not,
//   and and or meet the same two values on both sides.
// - Equal and not equal with a string constant: with foCaseInsensitive both
//   sides are upper-cased; a constant of more than one character ending in
//   a star, without foNoPartialCompare, loses its star and both sides are
//   cut to the rest's length (substr). A like under either option is
//   matched against the pattern without that star.
// - Not like and not in are not of the test, as the filter reads them.
// - Like patterns: * and ? become % and _; both ignore the case of a-z.
// - Divide is always real division: the SQL divides by a real constant.
// - A Boolean field alone means "not false": IFNULL(field <> 0, 0).
// Names hold only ASCII letters and "*", so SQLite's upper() is the
// table's; scores are halves, so the arithmetic is exact on both sides.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "filter_tables.h"

namespace ts::testing {
namespace {

struct TRow {
  int Id;
  bool HasZone, HasSmall, HasName, HasCode, HasScore, HasBorn, HasActive;
  int Zone, Small;
  std::string Name, Code;
  double Score;
  std::string Born;
  bool Active;
};

struct TExpr {
  std::string filter, sql;
};

class TGenerator {
 public:
  TGenerator(uint32_t seed, TFilterOptions options) : engine_(seed), options_(options) {}

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(engine_); }

  std::string Text(int shortest, int longest) {
    static const char kLetters[] = "aAbBc*";
    std::string s;
    const int n = shortest + Pick(longest - shortest + 1);
    for (int i = 0; i < n; ++i) s += kLetters[Pick(6)];
    return s;
  }

  // A numeric operand: fields, constants, arithmetic.
  TExpr Number(int depth) {
    const int choice = Pick(depth > 0 ? 9 : 6);
    switch (choice) {
      case 0: return {"Zone", "Zone"};
      case 1: return {"Small", "Small"};
      case 2: return {"Score", "Score"};
      case 3: return {"Id", "Id"};
      case 4: {
        const std::string n = std::to_string(Pick(12) - 3);
        return {n, n};
      }
      case 5: {
        const std::string h = HalfConstant();
        return {h, h};
      }
      case 6:
      case 7: {
        static const char* kOps[] = {"+", "-", "*"};
        const char* op = kOps[Pick(3)];
        TExpr l = Number(depth - 1), r = Number(depth - 1);
        return {"(" + l.filter + " " + op + " " + r.filter + ")", "(" + l.sql + " " + op + " " + r.sql + ")"};
      }
      default: {
        const int d = 1 << Pick(3);
        TExpr l = Number(depth - 1);
        return {"(" + l.filter + " / " + std::to_string(d) + ")", "(" + l.sql + " / " + std::to_string(d) + ".0)"};
      }
    }
  }

  std::string HalfConstant() {
    const int k = Pick(41) - 10;
    std::string s = std::to_string(k / 2) + (k % 2 != 0 ? ".5" : "");
    if (k < 0 && k / 2 == 0) s = "-" + s;
    return s;
  }

  TExpr Atom() {
    static const char* kOps[] = {"=", "<>", "<", ">", "<=", ">="};
    switch (Pick(12)) {
      case 0:
      case 1: {
        TExpr l = Number(2), r = Number(1);
        const char* op = kOps[Pick(6)];
        return Test(l.filter + " " + op + " " + r.filter, l.sql + " " + op + " " + r.sql);
      }
      case 2: {
        // A constant on the left is turned around.
        const std::string c = std::to_string(Pick(6));
        const char* op = kOps[Pick(6)];
        const char* field = Pick(2) ? "Zone" : "Score";
        return Test(c + " " + op + " " + field, c + " " + op + " " + field);
      }
      case 3: return StringCompare();
      case 4: return LikeTest();
      case 5: {
        if (Pick(3) == 0) {
          const char* field = Pick(2) ? "Name" : "Code";
          std::string list;
          const int n = 1 + Pick(3);
          for (int i = 0; i < n; ++i) list += (i ? ", '" : "'") + Text(1, 2) + "'";
          return Test(std::string(field) + " in (" + list + ")", std::string(field) + " IN (" + list + ")");
        }
        TExpr l = Number(1);
        std::string list;
        const int n = 1 + Pick(4);
        for (int i = 0; i < n; ++i) list += (i ? ", " : "") + (Pick(2) ? HalfConstant() : std::to_string(Pick(6)));
        const bool negate = Pick(4) == 0;
        return Test(l.filter + (negate ? " not in (" : " in (") + list + ")", l.sql + " IN (" + list + ")", negate);
      }
      case 6: {
        static const char* kFields[] = {"Zone", "Small", "Name", "Code", "Score", "Born", "Active"};
        const char* field = kFields[Pick(7)];
        const bool isNot = Pick(2);
        const std::string tail = isNot ? " is not null" : " is null";
        return {field + tail, std::string(field) + (isNot ? " IS NOT NULL" : " IS NULL")};
      }
      case 7: {
        const std::string date = std::to_string(1998 + Pick(6)) + "-0" + std::to_string(1 + Pick(9)) + "-1" +
                                 std::to_string(Pick(9));
        const char* op = kOps[Pick(6)];
        return Test("Born " + std::string(op) + " '" + date + "'", "Born " + std::string(op) + " '" + date + "'");
      }
      case 8: {
        if (Pick(2)) return {"Active", "IFNULL(Active <> 0, 0)"};
        const std::string y = std::to_string(1998 + Pick(6));
        const char* op = kOps[Pick(6)];
        return Test("YEAR(Born) " + std::string(op) + " " + y,
                    "CAST(substr(Born, 1, 4) AS INTEGER) " + std::string(op) + " " + y);
      }
      case 9: {
        // Two fields, strings or numbers.
        const char* op = kOps[Pick(6)];
        if (Pick(2)) return Test(std::string("Name ") + op + " Code", std::string("Name ") + op + " Code");
        return Test(std::string("Zone ") + op + " Score", std::string("Zone ") + op + " Score");
      }
      case 11: {
        // One field against two constants: a range, or two values.
        static const char* kFields[] = {"Zone", "Small", "Score"};
        const char* field = kFields[Pick(3)];
        const bool isAnd = Pick(2);
        std::string filter, sql;
        for (int i = 0; i < 2; ++i) {
          const std::string c = HalfConstant();
          const char* op = kOps[Pick(6)];
          const TExpr t = Test(std::string(field) + " " + op + " " + c, std::string(field) + " " + op + " " + c);
          filter += (i ? (isAnd ? " and " : " or ") : "(") + t.filter;
          sql += (i ? (isAnd ? " AND " : " OR ") : "(") + t.sql;
        }
        return {filter + ")", sql + ")"};
      }
      default: {
        const std::string t = Text(1, 3);
        const char* fn = Pick(2) ? "UPPER" : "LOWER";
        return Test(std::string(fn) + "(Name) = '" + t + "'", std::string(fn) + "(Name) = '" + t + "'");
      }
    }
  }

  TExpr StringCompare() {
    const char* field = Pick(2) ? "Name" : "Code";
    static const char* kOps[] = {"=", "<>", "<", ">", "<=", ">="};
    const int opIndex = Pick(3) ? Pick(2) : Pick(6);
    const std::string op = kOps[opIndex];
    std::string c = Text(1, 4);
    if (Pick(2)) c += '*';
    const std::string filter = std::string(field) + " " + op + " '" + c + "'";
    if (opIndex >= 2) return Test(filter, std::string(field) + " " + op + " '" + c + "'");
    const bool partial = !(options_ & foNoPartialCompare) && c.size() > 1 && c.back() == '*';
    std::string left = field, right = "'" + (partial ? c.substr(0, c.size() - 1) : c) + "'";
    if (partial) left = "substr(" + left + ", 1, " + std::to_string(c.size() - 1) + ")";
    if (options_ & foCaseInsensitive) left = "upper(" + left + ")", right = "upper(" + right + ")";
    return Test(filter, left + " " + op + " " + right);
  }

  TExpr LikeTest() {
    const char* field = Pick(2) ? "Name" : "Code";
    std::string mask;
    const int n = 1 + Pick(4);
    for (int i = 0; i < n; ++i) {
      const int k = Pick(8);
      mask += k < 2 ? '*' : k < 3 ? '?' : "aAbBc"[Pick(5)];
    }
    const bool partial = !(options_ & foNoPartialCompare) && mask.size() > 1 && mask.back() == '*';
    std::string pattern = partial ? mask.substr(0, mask.size() - 1) : mask;
    for (char& ch : pattern) ch = ch == '*' ? '%' : ch == '?' ? '_' : ch;
    const bool negate = Pick(4) == 0;
    return Test(std::string(field) + (negate ? " not like '" : " like '") + mask + "'",
                std::string(field) + " LIKE '" + pattern + "'", negate);
  }

  TExpr Test(const std::string& filter, const std::string& sql, bool negate = false) {
    const std::string test = "IFNULL(" + sql + ", 0)";
    return {filter, negate ? "NOT " + test : test};
  }

  TExpr Condition(int depth) {
    const int choice = depth > 0 ? Pick(6) : 0;
    if (choice <= 2) return Atom();
    if (choice == 3) {
      TExpr e = Condition(depth - 1);
      return {"not (" + e.filter + ")", "NOT (" + e.sql + ")"};
    }
    TExpr l = Condition(depth - 1), r = Condition(depth - 1);
    const bool isAnd = choice == 4;
    return {"(" + l.filter + (isAnd ? " and " : " or ") + r.filter + ")",
            "(" + l.sql + (isAnd ? " AND " : " OR ") + r.sql + ")"};
  }

 private:
  std::mt19937 engine_;
  TFilterOptions options_;
};

std::vector<TRow> Rows(std::mt19937& engine, int count) {
  std::uniform_int_distribution<int> any(0, 999);
  TGenerator text(engine(), 0);
  std::vector<TRow> rows;
  for (int id = 1; id <= count; ++id) {
    TRow r{};
    r.Id = id;
    const auto present = [&] { return any(engine) % 6 != 0; };
    r.HasZone = present(), r.HasSmall = present(), r.HasName = present(), r.HasCode = present();
    r.HasScore = present(), r.HasBorn = present(), r.HasActive = present();
    r.Zone = any(engine) % 7 - 1;
    r.Small = any(engine) % 9 - 4;
    r.Name = text.Text(1, 5);
    r.Code = text.Text(1, 4);
    r.Score = (any(engine) % 41 - 10) / 2.0;
    r.Born = std::to_string(1998 + any(engine) % 6) + "-0" + std::to_string(1 + any(engine) % 9) + "-1" +
             std::to_string(any(engine) % 9);
    r.Active = any(engine) % 2 != 0;
    rows.push_back(r);
  }
  return rows;
}

std::unique_ptr<TdvoMemTable> MakeTable(const std::vector<TRow>& rows) {
  auto table = std::make_unique<TdvoMemTable>("model");
  table->SetPerformance(mtpfBalanced);
  table->AddField<TIntegerField>("Id");
  table->AddField<TIntegerField>("Zone");
  table->AddField<TSmallintField>("Small");
  // Name lies out of line, Code in the record.
  table->AddField<TStringField>("Name", 20);
  table->AddField<TStringField>("Code", 6);
  table->AddField<TFloatField>("Score");
  table->AddField<TDateField>("Born");
  table->AddField<TBooleanField>("Active");
  table->Open();
  for (const TRow& r : rows) {
    table->Append();
    table->FieldNamed("Id").SetAsInteger(r.Id);
    if (r.HasZone) table->FieldNamed("Zone").SetAsInteger(r.Zone);
    if (r.HasSmall) table->FieldNamed("Small").SetAsInteger(r.Small);
    if (r.HasName) table->FieldNamed("Name").SetAsString(r.Name);
    if (r.HasCode) table->FieldNamed("Code").SetAsString(r.Code);
    if (r.HasScore) table->FieldNamed("Score").SetAsFloat(r.Score);
    if (r.HasBorn) table->FieldNamed("Born").SetAsString(r.Born);
    if (r.HasActive) table->FieldNamed("Active").SetAsBoolean(r.Active);
    table->Post();
  }
  return table;
}

using TDb = std::unique_ptr<sqlite3, decltype(&sqlite3_close)>;

TDb MakeDatabase(const std::vector<TRow>& rows) {
  sqlite3* raw = nullptr;
  sqlite3_open(":memory:", &raw);
  TDb db(raw, sqlite3_close);
  sqlite3_exec(raw,
               "CREATE TABLE model (Id INTEGER, Zone INTEGER, Small INTEGER, Name TEXT, Code TEXT, Score REAL, "
               "Born TEXT, Active INTEGER)",
               nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(raw, "INSERT INTO model VALUES (?, ?, ?, ?, ?, ?, ?, ?)", -1, &insert, nullptr);
  for (const TRow& r : rows) {
    sqlite3_reset(insert);
    sqlite3_clear_bindings(insert);
    sqlite3_bind_int(insert, 1, r.Id);
    if (r.HasZone) sqlite3_bind_int(insert, 2, r.Zone);
    if (r.HasSmall) sqlite3_bind_int(insert, 3, r.Small);
    if (r.HasName) sqlite3_bind_text(insert, 4, r.Name.c_str(), -1, SQLITE_TRANSIENT);
    if (r.HasCode) sqlite3_bind_text(insert, 5, r.Code.c_str(), -1, SQLITE_TRANSIENT);
    if (r.HasScore) sqlite3_bind_double(insert, 6, r.Score);
    if (r.HasBorn) sqlite3_bind_text(insert, 7, r.Born.c_str(), -1, SQLITE_TRANSIENT);
    if (r.HasActive) sqlite3_bind_int(insert, 8, r.Active ? 1 : 0);
    sqlite3_step(insert);
  }
  sqlite3_finalize(insert);
  return db;
}

std::vector<int> Selected(sqlite3* db, const std::string& where) {
  const std::string sql = "SELECT Id FROM model WHERE " + where + " ORDER BY Id";
  sqlite3_stmt* query = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &query, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << sqlite3_errmsg(db) << " in " << sql;
    return {};
  }
  std::vector<int> ids;
  while (sqlite3_step(query) == SQLITE_ROW) ids.push_back(sqlite3_column_int(query, 0));
  sqlite3_finalize(query);
  return ids;
}

TEST(FilterModel, RandomFiltersSelectWhatSqliteSelects) {
  constexpr int kRows = 300, kFilters = 700;
  std::mt19937 engine(35);
  const std::vector<TRow> rows = Rows(engine, kRows);
  auto table = MakeTable(rows);
  TDb db = MakeDatabase(rows);
  const TFilterOptions kOptions[] = {0, foCaseInsensitive, foNoPartialCompare, foCaseInsensitive | foNoPartialCompare};
  int nonEmpty = 0;
  for (int i = 0; i < kFilters; ++i) {
    const TFilterOptions options = kOptions[i % 4];
    TGenerator generator(1000 + i, options);
    const TExpr e = generator.Condition(3);
    const std::vector<int> expected = Selected(db.get(), e.sql);
    std::vector<int> shown;
    try {
      shown = Shown(*table, e.filter, options);
    } catch (const std::exception& error) {
      ADD_FAILURE() << e.filter << " raised " << error.what();
      continue;
    }
    nonEmpty += !expected.empty() && expected.size() < rows.size();
    EXPECT_EQ(shown, expected) << "filter " << e.filter << " (options " << int{options} << ")\nSQL " << e.sql;
    if (HasFailure()) break;
  }
  // The draw is worth something only if most filters pick some rows.
  EXPECT_GT(nonEmpty, kFilters / 2);
}

}  // namespace
}  // namespace ts::testing
