// TIndexedTable: what the indexes need from the table that owns them.
//
// The table implements these hooks; the indexes never reach into the table
// any other way. They cover the record store behind the table, field look-up
// by name (with the field's kind and display name for the "can't index"
// check), calculated fields, record visibility, the index filter event and
// the override record it is evaluated on, progress reports, the table phase,
// the open and EnableIndexes states, and the table's current index, sort
// index and cursor position.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "table_store/field_info.h"
#include "table_store/field_types.h"
#include "table_store/indexes/progress.h"
#include "table_store/record.h"

namespace ts {

class TdvoCommon;
class TdvoIndex;
class TIndexFilterExpr;

class TIndexedTable {
 public:
  virtual ~TIndexedTable() = default;

  // --- Store
  // The record store whose records the indexes reference.
  virtual TdvoCommon& IndexStore() = 0;

  // --- Fields
  // The field whose name equals `name` without regard to case; a name that
  // matches no field raises the table's field-not-found error.
  virtual TFieldInfo* IndexFieldNamed(std::string_view name) = 0;
  virtual TFieldKind IndexFieldKind(const TFieldInfo& field) const = 0;
  virtual std::string IndexFieldDisplayName(const TFieldInfo& field) const = 0;

  // --- Calculated fields
  virtual bool RecalcOnIndex() const = 0;
  virtual void SetRecalcOnIndex(bool value) = 0;
  // Clears the record's calculated fields and computes them again.
  virtual void RecalcIndexRecord(TRecord* record) = 0;

  // --- Visibility
  // Whether the view shows the record (forceFilter: apply the filter even
  // when the table is not Filtered).
  virtual bool IsRecordVisible(TRecord* record, bool forceFilter) = 0;
  // Whether the table currently hides any records at all (deleted records,
  // status filter, filter, range or master/detail in force).
  virtual bool NeedsFiltering() = 0;

  // --- Index filters
  virtual bool HasFilterIndexEvent() const = 0;
  // OnFilterIndex(table, index, Accept).
  virtual void FilterIndex(TdvoIndex& index, bool& accept) = 0;
  // Evaluates an index's filter expression on the override record.
  virtual bool EvaluateIndexFilter(const TIndexFilterExpr& expr) = 0;
  // When set, every field read and write addresses this record.
  virtual TRecord* OverrideRecord() const = 0;
  virtual void SetOverrideRecord(TRecord* record) = 0;

  // --- Progress and phase
  // OnProgress(percentage, code), when the code is in ProgressFlags.
  virtual void ReportProgress(int percentage, TdvoProgressCode code) = 0;
  virtual void SetTablePhase(uint8_t phase) = 0;

  // --- State
  virtual bool IndexTableOpen() const = 0;
  virtual bool EnableIndexes() const = 0;

  // --- Current index, sort index and cursor
  // The index the cursor walks (never none once the row-order index exists).
  virtual TdvoIndex* CurrentIndex() const = 0;
  // Replaces the current index reference only: no posting, no refresh.
  virtual void SetCurrentIndexRef(TdvoIndex* index) = 0;
  virtual TdvoIndex* SortIndexRef() const = 0;
  virtual void SetSortIndexRef(TdvoIndex* index) = 0;
  // 0-based position in the current index's entries; -1 before the first.
  virtual int CursorPosition() const = 0;
  virtual void SetCursorPosition(int position) = 0;
};

}  // namespace ts
