#include "table_store/indexes/key_fields.h"

#include <string>

#include "table_store/errors.h"
#include "table_store/field_types.h"
#include "table_store/indexes/indexed_table.h"
#include "table_store/messages.h"

namespace ts {

namespace {

std::string_view TrimBlanks(std::string_view s) {
  // Blanks and control characters both go: names pasted from a list often
  // carry line breaks or tabs.
  size_t b = 0;
  size_t e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

}  // namespace

int KeyOptionLetters(std::string_view letters) {
  int options = 0;
  for (char c : letters) {
    switch (c) {
      case 'C': case 'c': options |= mtcoCaseInsensitive; break;
      case 'D': case 'd': options |= mtcoDescending; break;
      case 'N': case 'n': options |= mtcoIgnoreNullKey; break;
      case 'P': case 'p': options |= mtcoPartialKey; break;
      case 'L': case 'l': options |= mtcoIgnoreLocale; break;
      default: break;
    }
  }
  return options;
}

void ParseKeyFieldList(TIndexedTable& table, TdvoFieldList& list, std::string_view text) {
  list.ClearFields();
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find(';', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view piece = TrimBlanks(text.substr(pos, end - pos));
    pos = end + 1;

    std::string_view name = piece;
    int options = 0;
    const size_t colon = piece.find(':');
    if (colon != std::string_view::npos) {
      name = piece.substr(0, colon);
      options = KeyOptionLetters(piece.substr(colon + 1));
    }

    TFieldInfo* field = table.IndexFieldNamed(name);
    if (field == nullptr) throw EDatabaseError(FormatMessage(msg::kFieldNotFound, {name}));
    const TFieldKind kind = table.IndexFieldKind(*field);
    const int type = field->DataType();
    if (kind == fkAggregate || !IsSupportedFieldType(type) || !IsIndexableFieldType(type)) {
      const std::string display = table.IndexFieldDisplayName(*field);
      throw EDatabaseError(FormatMessage(msg::kCannotIndexField, {std::string_view(display)}));
    }
    list.AddField(field, options);
    if (kind == fkCalculated) table.SetRecalcOnIndex(true);
  }
}

void ApplyKeyOption(TIndexedTable& table, TdvoFieldList& list, int option, std::string_view text) {
  TdvoFieldList named;
  ParseKeyFieldList(table, named, text);
  for (int i = 0; i < list.FieldCount(); ++i) {
    const int options = list.OptionsAt(i);
    if (named.IndexOfField(list.FieldAt(i)) >= 0)
      list.SetOptionsAt(i, options | option);
    else
      list.SetOptionsAt(i, options & ~option);
  }
}

bool SameKeyFields(const TdvoFieldList& a, const TdvoFieldList& b) {
  if (a.FieldCount() != b.FieldCount()) return false;
  for (int i = 0; i < a.FieldCount(); ++i)
    if (a.FieldAt(i) != b.FieldAt(i)) return false;
  return true;
}

}  // namespace ts
