// The exceptions of filter expressions: EMemTableFilterError for the
// evaluator's own failures, EMaskException for a like pattern that cannot
// be read.
#pragma once

#include "table_store/errors.h"

namespace ts {

class EMemTableFilterError : public EMemTableError {
 public:
  using EMemTableError::EMemTableError;
  const char* ClassName() const noexcept override { return "EMemTableFilterError"; }
};

class EMaskException : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EMaskException"; }
};

}  // namespace ts
