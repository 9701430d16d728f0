// Key-field lists: the text form "name[:letters];name[:letters]..." that
// indexes, sorting, locate and lookup all use, parsed into a TdvoFieldList
// of the table's fields with per-field compare options. Option letters
// (any case, anywhere after the first ":"): C case-insensitive,
// D descending, N ignore null key, P partial key, L ignore locale.
#pragma once

#include <string_view>

#include "table_store/compare.h"
#include "table_store/field_list.h"

namespace ts {

class TIndexedTable;

// The compare options that the option letters of one piece stand for.
int KeyOptionLetters(std::string_view letters);

// Clears `list` and fills it from `text`. An unknown name raises the table's
// field-not-found error; an Aggregate field or a type no index can hold
// raises EDatabaseError "Can't index on field %s" (display name). A
// calculated field switches the table's RecalcOnIndex on.
void ParseKeyFieldList(TIndexedTable& table, TdvoFieldList& list, std::string_view text);

// Every field of `list` that `text` names gets `option`; every other field
// of `list` loses it.
void ApplyKeyOption(TIndexedTable& table, TdvoFieldList& list, int option, std::string_view text);

// Same number of fields and the same field objects in the same order; the
// options are not compared.
bool SameKeyFields(const TdvoFieldList& a, const TdvoFieldList& b);

}  // namespace ts
