// Fixed English message texts of the table store and its stream classes, and
// FormatMessage, which fills their %s / %d places in order.
//
// Every exception of the store carries one of these texts (or a text built
// from one), so the texts live in one place and tests compare against them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace ts::msg {

// Record layout and record store.
inline constexpr const char* kNoFields = "There must be at least one field";
inline constexpr const char* kFieldDefNotSupported = "Fielddef %s (%s) Datatype %d not supported.";
inline constexpr const char* kInvalidLocale = "Invalid locale. ";
inline constexpr const char* kBookmarkCounter =
    "Bookmark counter is out of range. Please close and reopen table.";
inline constexpr const char* kInvalidRecord = "Invalid record ";
inline constexpr const char* kInvalidArgument = "Invalid argument.";
inline constexpr const char* kTableMustBeClosed = "Table must be closed for this operation.";
inline constexpr const char* kChildrenAttached = "Children are attached to this table.";
inline constexpr const char* kTooManyFields = "Too many fields. A record holds at most %d fields.";
inline constexpr const char* kRecordTooLarge = "Record too large. The fields need %s bytes.";
inline constexpr const char* kFieldNotInLayout = "Field %d is not part of the record layout.";
inline constexpr const char* kListIndexOutOfBounds = "List index out of bounds (%d)";

// Indexes, dataset and locate.
inline constexpr const char* kDuplicateKey = "Duplicate index value. Operation aborted.";
inline constexpr const char* kMissingIndexFields = "Missing Name or FieldNames in IndexDef!";
inline constexpr const char* kCannotIndexField = "Can't index on field %s";
inline constexpr const char* kFieldNotFound = "Field '%s' not found";
inline constexpr const char* kNotEditing = "Dataset is not in edit mode.";
inline constexpr const char* kFieldReadOnly = "Field %s is read only";
inline constexpr const char* kReadOnlyDataset = "Cannot modify a read-only dataset";
inline constexpr const char* kDatasetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* kDatasetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* kFieldRequired = "Field '%s' must have a value";
inline constexpr const char* kBadDimensionCount = "Values variant array has invalid dimension count";
inline constexpr const char* kMoreFieldsThanValues = "More fields than values";
inline constexpr const char* kBookmarkNotFound = "Bookmark %d not found.";
inline constexpr const char* kIndexDoesNotExist = "Index %s does not exist";
inline constexpr const char* kNamedComponentExists = "A component named %s already exists";
inline constexpr const char* kInvalidCast = "Invalid class typecast";
inline constexpr const char* kDatasetError = "%s: %s";

// Attached tables, master/detail and transactions.
inline constexpr const char* kAttachToSelf = "Cant attach memorytable to it self.";
inline constexpr const char* kAttachToAttachment =
    "Cant attach to another table which itself is an attachment.";
inline constexpr const char* kTableAttached = "Table is attached to another table.";
inline constexpr const char* kSelfReferencingMaster =
    "Selfreferencing master/detail relations not allowed.";
inline constexpr const char* kNeedsMultiVersioning = "Transactioning requires multiversion versioning.";
inline constexpr const char* kTransactionOpen =
    "Operation not allowed while a transaction is open. Commit or roll it back first.";
inline constexpr const char* kDeltaHandlerNotAssigned = "Delta handler is not assigned to any memorytables.";
inline constexpr const char* kTooManyFieldDefs =
    "Too many fielddefs. Please raise DVO_MAX_FIELDS value.";

// Stream formats.
inline constexpr const char* kNoFormat = "No format specified.";
inline constexpr const char* kNoFieldCount = "Couldnt determine field count for load.";
inline constexpr const char* kUnknownFieldType = "Unknown field type (%s)";
inline constexpr const char* kInvalidStreamFormat = "Invalid stream format";
inline constexpr const char* kStreamRead = "Stream read error";
inline constexpr const char* kStreamWrite = "Stream write error";
inline constexpr const char* kInvalidPropertyValue = "Invalid property value";
inline constexpr const char* kInvalidStreamPosition = "Invalid stream position";
inline constexpr const char* kCannotOpenFile = "Cannot open file \"%s\". %s";
inline constexpr const char* kCannotCreateFile = "Cannot create file \"%s\". %s";
inline constexpr const char* kCannotWriteFile = "Cannot write file \"%s\". %s";
inline constexpr const char* kCannotLockFile = "Cannot lock file \"%s\" while it is written. %s";

// Tagged values.
inline constexpr const char* kValueTypeCast = "Could not convert variant of type (%s) into type (%s)";
inline constexpr const char* kValueIndexOutOfBounds = "Variant or safe array index out of bounds";

}  // namespace ts::msg

namespace ts {

using TMessageArg = std::variant<std::string_view, int64_t>;

// Replaces each %s and %d of `format`, left to right, by the next argument
// (text or integer, either placeholder takes either kind); "%%" gives "%".
// Missing arguments leave their placeholder as it stands.
std::string FormatMessage(std::string_view format, std::initializer_list<TMessageArg> args);

}  // namespace ts
