#include "table_store/indexes/index_def.h"

namespace ts {

TdvoMemTableCompareOptions IndexOptionsToCompareOptions(TIndexOptions options) {
  TdvoMemTableCompareOptions result = 0;
  if (options & ixUnique) result |= mtcoUnique;
  if (options & ixDescending) result |= mtcoDescending;
  if (options & ixCaseInsensitive) result |= mtcoCaseInsensitive;
  if (options & ixNonMaintained) result |= mtcoNonMaintained;
  return result;
}

}  // namespace ts
