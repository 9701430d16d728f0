// SQLite ordering code-page text as the table's locale compare does: each
// byte decoded from the code page (Windows-1251), optionally case-folded, and
// the texts ordered by an ICU collator of the same locale at tertiary
// strength. Either as a collation, which compares two texts each time, or as
// a function giving a text's sort key, whose byte order is the same order.
#pragma once

#include <sqlite3.h>
#include <unicode/ucnv.h>
#include <unicode/ucol.h>
#include <unicode/uchar.h>

#include <memory>
#include <stdexcept>
#include <string>

class TSqliteLocaleOrder {
 public:
  TSqliteLocaleOrder(const std::string& locale, bool foldCase) {
    UErrorCode status = U_ZERO_ERROR;
    collator_ = ucol_open(locale.c_str(), &status);
    if (U_FAILURE(status)) throw std::runtime_error("no collator for the locale '" + locale + "'");
    ucol_setStrength(collator_, UCOL_TERTIARY);
    UConverter* converter = ucnv_open("windows-1251", &status);
    if (U_FAILURE(status)) throw std::runtime_error("no converter for windows-1251");
    for (int byte = 0; byte < 256; ++byte) {
      const char in = static_cast<char>(byte);
      UChar out[4] = {};
      status = U_ZERO_ERROR;
      ucnv_toUChars(converter, out, 4, &in, 1, &status);
      unit_[byte] = foldCase ? static_cast<UChar>(u_foldCase(out[0], U_FOLD_CASE_DEFAULT)) : out[0];
    }
    ucnv_close(converter);
  }
  ~TSqliteLocaleOrder() { ucol_close(collator_); }
  TSqliteLocaleOrder(const TSqliteLocaleOrder&) = delete;
  TSqliteLocaleOrder& operator=(const TSqliteLocaleOrder&) = delete;

  // Both stay with the database until it is closed.
  static void RegisterCollation(sqlite3* db, const char* name, const std::string& locale, bool foldCase) {
    auto* order = new TSqliteLocaleOrder(locale, foldCase);
    if (sqlite3_create_collation_v2(db, name, SQLITE_UTF8, order, &Compare, &Destroy) != SQLITE_OK) {
      delete order;
      throw std::runtime_error(sqlite3_errmsg(db));
    }
  }
  static void RegisterSortKey(sqlite3* db, const char* name, const std::string& locale) {
    auto* order = new TSqliteLocaleOrder(locale, false);
    if (sqlite3_create_function_v2(db, name, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, order, &SortKey, nullptr,
                                   nullptr, &Destroy) != SQLITE_OK)
      throw std::runtime_error(sqlite3_errmsg(db));
  }

 private:
  static int Compare(void* self, int length1, const void* text1, int length2, const void* text2) {
    auto* c = static_cast<TSqliteLocaleOrder*>(self);
    c->Decode(static_cast<const unsigned char*>(text1), length1, c->a_);
    c->Decode(static_cast<const unsigned char*>(text2), length2, c->b_);
    return static_cast<int>(ucol_strcoll(c->collator_, c->a_.data(), static_cast<int32_t>(c->a_.size()),
                                         c->b_.data(), static_cast<int32_t>(c->b_.size())));
  }
  static void SortKey(sqlite3_context* context, int, sqlite3_value** arguments) {
    auto* c = static_cast<TSqliteLocaleOrder*>(sqlite3_user_data(context));
    c->Decode(sqlite3_value_text(arguments[0]), sqlite3_value_bytes(arguments[0]), c->a_);
    int32_t n = ucol_getSortKey(c->collator_, c->a_.data(), static_cast<int32_t>(c->a_.size()), c->key_,
                                static_cast<int32_t>(sizeof c->key_));
    if (n <= 0 || n > static_cast<int32_t>(sizeof c->key_)) {
      sqlite3_result_error(context, "no sort key", -1);
      return;
    }
    sqlite3_result_blob(context, c->key_, n - 1, SQLITE_TRANSIENT);  // without the closing zero
  }
  static void Destroy(void* self) { delete static_cast<TSqliteLocaleOrder*>(self); }
  void Decode(const unsigned char* bytes, int length, std::u16string& out) const {
    out.resize(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i) out[static_cast<size_t>(i)] = unit_[bytes[i]];
  }

  UCollator* collator_ = nullptr;
  char16_t unit_[256] = {};
  std::u16string a_, b_;
  uint8_t key_[512] = {};
};
