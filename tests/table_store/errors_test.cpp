#include "table_store/errors.h"

#include <gtest/gtest.h>

#include "table_store/messages.h"

namespace ts {
namespace {

TEST(ErrorsTest, EveryStoreErrorIsCaughtThroughTheCommonRootWithItsText) {
  auto message = [](auto thrower) -> std::string {
    try {
      thrower();
    } catch (const Exception& e) {
      return e.Message() + "|" + e.what() + "|" + e.ClassName();
    }
    return "not raised";
  };
  EXPECT_EQ(message([] { throw EMemTableInvalidRecord(); }),
            "Invalid record |Invalid record |EMemTableInvalidRecord");
  EXPECT_EQ(message([] { throw EMemTableDupKey(); }),
            "Duplicate index value. Operation aborted.|Duplicate index value. Operation aborted.|"
            "EMemTableDupKey");
  EXPECT_EQ(message([] { throw EMemTableInvalidLocale(1033); }),
            "Invalid locale. 1033|Invalid locale. 1033|EMemTableInvalidLocale");
  EXPECT_EQ(message([] { throw ERangeError(); }), "Invalid argument.|Invalid argument.|ERangeError");
  EXPECT_EQ(message([] { throw EReadError(); }), "Stream read error|Stream read error|EReadError");
  EXPECT_EQ(message([] { throw EReadError(msg::kInvalidStreamFormat); }),
            "Invalid stream format|Invalid stream format|EReadError");
  EXPECT_EQ(message([] { throw EInvalidCast(); }),
            "Invalid class typecast|Invalid class typecast|EInvalidCast");
  EXPECT_EQ(message([] { throw EComponentError::NameExists("ix1"); }),
            "A component named ix1 already exists|A component named ix1 already exists|"
            "EComponentError");
}

TEST(ErrorsTest, ClassesSitWhereCallersCatchThem) {
  // A caller that handles dataset errors must see the table's own errors,
  // and a fatal one must still be a table error.
  EXPECT_THROW(throw EMemTableInvalidRecord(), EMemTableFatalError);
  EXPECT_THROW(throw EMemTableFatalError("x"), EMemTableError);
  EXPECT_THROW(throw EMemTableDupKey(), EDatabaseError);
  EXPECT_THROW(throw EMemTableInvalidLocale(5), EMemTableError);
  EXPECT_THROW(throw EReadError(), EFilerError);
  EXPECT_THROW(throw EReadError(), EStreamError);
  EXPECT_THROW(throw EFOpenError("x"), EStreamError);
  EXPECT_THROW(throw EVariantTypeCastError("Null", "Boolean"), EVariantError);
  // A read error is not a table error: the format's caller tells them apart.
  bool caughtAsTableError = false;
  try {
    throw EReadError();
  } catch (const EMemTableError&) {
    caughtAsTableError = true;
  } catch (const Exception&) {
  }
  EXPECT_FALSE(caughtAsTableError);
}

TEST(ErrorsTest, FormatMessageFillsPlacesInOrder) {
  EXPECT_EQ(FormatMessage(msg::kFieldDefNotSupported, {"a", "b", 24}),
            "Fielddef a (b) Datatype 24 not supported.");
  EXPECT_EQ(FormatMessage(msg::kBookmarkNotFound, {-200}), "Bookmark -200 not found.");
  EXPECT_EQ(FormatMessage(msg::kDatasetError, {"answers", msg::kNotEditing}),
            "answers: Dataset is not in edit mode.");
  EXPECT_EQ(FormatMessage("100%% of %s", {"x"}), "100% of x");
  // Too few arguments leave the place visible rather than reading garbage.
  EXPECT_EQ(FormatMessage("%s and %s", {"one"}), "one and %s");
  // An argument that itself holds a place is not expanded again.
  EXPECT_EQ(FormatMessage("[%s]", {"%d"}), "[%d]");
}

}  // namespace
}  // namespace ts
