// TdvoCustomDeltaHandler: the base of a resolver. ResolveChanges walks every
// record of its table's record store in slot order, works out whether the
// record was inserted, modified, deleted or left alone since versioning
// began, and hands it to one of the four Resolve* operations, which a
// derived class overrides to apply the change elsewhere. Each operation may
// set the retry flag to be called again, with the state it leaves choosing
// the operation of the next round; a state outside 0 to 3 calls nothing.
//
// A handler serves the table whose DeltaHandler names it; either may be
// destroyed first and the other forgets it.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "table_store/record.h"
#include "table_store/value.h"

namespace ts {

class TdvoCustomMemTable;
class TField;
struct TDeltaWalk;

class TdvoCustomDeltaHandler {
 public:
  using TGetValueEvent = std::function<void(TdvoCustomDeltaHandler&, TField& field, TValue& value)>;

  TdvoCustomDeltaHandler() = default;
  virtual ~TdvoCustomDeltaHandler();
  TdvoCustomDeltaHandler(const TdvoCustomDeltaHandler&) = delete;
  TdvoCustomDeltaHandler& operator=(const TdvoCustomDeltaHandler&) = delete;

  // Nothing in the store fires it; a derived resolver may.
  TGetValueEvent OnGetValue;

  TdvoCustomMemTable* AttachedTable() const { return table_; }
  // The record being handed out, newest and oldest version; none outside
  // the four operations.
  TRecord* NewestVersion() const { return newest_; }
  TRecord* OldestVersion() const { return oldest_; }

  // EMemTableError "Delta handler is not assigned to any memorytables."
  // unless a table's DeltaHandler names this handler.
  void CheckAttached() const;
  // The walk; an error from an operation ends it and reaches the caller,
  // with the store's lock released and AttachedAutoRefresh restored. It
  // also ends, without a retry, once its table ends or leaves the store.
  virtual void ResolveChanges();

 protected:
  virtual void ResolveInserted(bool& /*retry*/, uint8_t& /*state*/) {}
  virtual void ResolveDeleted(bool& /*retry*/, uint8_t& /*state*/) {}
  virtual void ResolveModified(bool& /*retry*/, uint8_t& /*state*/) {}
  virtual void ResolveUnmodified(bool& /*retry*/, uint8_t& /*state*/) {}

 private:
  friend class TdvoCustomMemTable;
  // The record in `slot` with `serialId` becomes NewestVersion (its oldest
  // version OldestVersion); false, with none, when it is gone.
  bool TakeRecord(const TDeltaWalk& walk, int slot, int32_t serialId);
  // One record, with retries while the walk goes on and the record is there.
  void Resolve(uint8_t state, const TDeltaWalk& walk, int slot, int32_t serialId);

  TdvoCustomMemTable* table_ = nullptr;
  // Every table whose DeltaHandler names this handler (more than one when a
  // second table took it): each is told when the handler goes.
  std::vector<TdvoCustomMemTable*> namedBy_;
  TRecord* newest_ = nullptr;
  TRecord* oldest_ = nullptr;
};

}  // namespace ts
