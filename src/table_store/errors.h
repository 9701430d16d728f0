// The exception classes of the table store and its stream classes.
//
// Every class derives from ts::Exception, the one common root: a caller can
// catch that and show Message() (also what()). ClassName() gives the class's
// own name, for code that tells errors apart by name. Each class has a
// constructor taking the finished message; classes with one fixed text also
// have a default constructor that uses it.
//
//   Exception
//     EDatabaseError
//       EMemTableError
//         EMemTableFatalError
//           EMemTableInvalidRecord      "Invalid record "
//         EMemTableDupKey               "Duplicate index value. Operation aborted."
//         EMemTableInvalidLocale        "Invalid locale. " + number
//     EStreamError
//       EFilerError
//         EReadError                    "Stream read error" (also "Invalid stream format",
//                                       "Invalid property value")
//         EWriteError                   "Stream write error"
//       EFOpenError, EFCreateError      file could not be opened / created
//     ERangeError                       "Invalid argument."
//     EInvalidCast                      "Invalid class typecast"
//     EComponentError                   "A component named %s already exists"
//     EVariantError                     "Variant or safe array index out of bounds"
//       EVariantTypeCastError           "Could not convert variant of type (%s) into type (%s)"
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "platform/files/file_door.h"

namespace ts {

// The file step that failed, for callers that tell it in their own words.
struct TFileFault {
  std::string path;
  klt::files::Failure failure;
};

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }
  virtual const char* ClassName() const noexcept { return "Exception"; }
  // Set on the errors of files that could not be made or written.
  const TFileFault* FileFault() const noexcept { return fault_ ? &*fault_ : nullptr; }
  void SetFileFault(TFileFault fault) { fault_ = std::move(fault); }

 private:
  std::string message_;
  std::optional<TFileFault> fault_;
};

// Raises `error` carrying the file step that failed.
template <class E>
[[noreturn]] void ThrowFileFault(E error, std::string path, const klt::files::Failure& failure) {
  error.SetFileFault({std::move(path), failure});
  throw error;
}

#define TS_DECLARE_EXCEPTION(Name, Base)                                  \
  class Name : public Base {                                              \
   public:                                                                \
    using Base::Base;                                                     \
    const char* ClassName() const noexcept override { return #Name; }     \
  };

TS_DECLARE_EXCEPTION(EDatabaseError, Exception)
TS_DECLARE_EXCEPTION(EMemTableError, EDatabaseError)
TS_DECLARE_EXCEPTION(EMemTableFatalError, EMemTableError)
TS_DECLARE_EXCEPTION(EStreamError, Exception)
TS_DECLARE_EXCEPTION(EFilerError, EStreamError)
TS_DECLARE_EXCEPTION(EFOpenError, EStreamError)
TS_DECLARE_EXCEPTION(EFCreateError, EStreamError)
TS_DECLARE_EXCEPTION(EVariantError, Exception)

#undef TS_DECLARE_EXCEPTION

class EMemTableInvalidRecord : public EMemTableFatalError {
 public:
  EMemTableInvalidRecord();
  using EMemTableFatalError::EMemTableFatalError;
  const char* ClassName() const noexcept override { return "EMemTableInvalidRecord"; }
};

class EMemTableDupKey : public EMemTableError {
 public:
  EMemTableDupKey();
  using EMemTableError::EMemTableError;
  const char* ClassName() const noexcept override { return "EMemTableDupKey"; }
};

class EMemTableInvalidLocale : public EMemTableError {
 public:
  // "Invalid locale. " followed by the locale number in decimal.
  explicit EMemTableInvalidLocale(int64_t localeId);
  const char* ClassName() const noexcept override { return "EMemTableInvalidLocale"; }
};

class EReadError : public EFilerError {
 public:
  EReadError();  // "Stream read error"
  using EFilerError::EFilerError;
  const char* ClassName() const noexcept override { return "EReadError"; }
};

class EWriteError : public EFilerError {
 public:
  EWriteError();  // "Stream write error"
  using EFilerError::EFilerError;
  const char* ClassName() const noexcept override { return "EWriteError"; }
};

class ERangeError : public Exception {
 public:
  ERangeError();  // "Invalid argument."
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "ERangeError"; }
};

class EInvalidCast : public Exception {
 public:
  EInvalidCast();  // "Invalid class typecast"
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EInvalidCast"; }
};

class EComponentError : public Exception {
 public:
  using Exception::Exception;
  // "A component named %s already exists"
  static EComponentError NameExists(std::string_view name);
  const char* ClassName() const noexcept override { return "EComponentError"; }
};

class EVariantTypeCastError : public EVariantError {
 public:
  using EVariantError::EVariantError;
  // "Could not convert variant of type (%s) into type (%s)"
  EVariantTypeCastError(std::string_view fromKind, std::string_view toKind);
  const char* ClassName() const noexcept override { return "EVariantTypeCastError"; }
};

}  // namespace ts
