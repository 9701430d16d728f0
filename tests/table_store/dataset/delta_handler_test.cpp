// The delta handler's walk: which operation each record reaches, retries
// and their states, a failing operation, and handlers that serve no table.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <thread>

#include "table_store/dataset/delta_handler.h"
#include "tables.h"

namespace ts {
namespace {

// Logs every call as "slot:letter" (I, D, M, U); a script may change the
// retry flag and the state of a call, keyed by its place in the log.
class TRecordingHandler : public TdvoCustomDeltaHandler {
 public:
  using TScript = std::function<void(bool& retry, uint8_t& state)>;
  std::string log;
  std::map<int, TScript> script;

 protected:
  void ResolveInserted(bool& retry, uint8_t& state) override { Note('I', retry, state); }
  void ResolveDeleted(bool& retry, uint8_t& state) override { Note('D', retry, state); }
  void ResolveModified(bool& retry, uint8_t& state) override { Note('M', retry, state); }
  void ResolveUnmodified(bool& retry, uint8_t& state) override { Note('U', retry, state); }

 private:
  void Note(char letter, bool& retry, uint8_t& state) {
    const int call = calls_++;
    log += (log.empty() ? "" : " ") + std::to_string(NewestVersion()->SlotIndex) + ":" + letter;
    if (auto step = script.find(call); step != script.end()) step->second(retry, state);
  }
  int calls_ = 0;
};

// Slots 0..5: untouched, modified, deleted, inserted, inserted then deleted,
// inserted then modified (rows 0-2 exist before versioning starts).
class DeltaHandler : public ::testing::Test {
 protected:
  void SetUp() override {
    table.AddField<TIntegerField>("id");
    table.Open();
    for (int id = 0; id < 3; ++id) Add(id);
    table.SetEnableVersioning(true);
    table.First();
    table.Next();
    SetId(11);
    table.Next();
    table.Delete();
    for (int id = 3; id < 6; ++id) Add(id);
    table.Last();
    SetId(15);
    table.Prior();
    table.Delete();
    table.SetDeltaHandler(&handler);
  }
  void Add(int id) {
    table.Append();
    table.FieldNamed("id").SetAsInteger(id);
    table.Post();
  }
  // Empties the store and opens `other` on it, attached to the table.
  void AttachOpen(TdvoMemTable& other) {
    table.Close();
    other.SetAttachedTo(&table);
    other.Open();
  }
  void SetId(int id) {
    table.Edit();
    table.FieldNamed("id").SetAsInteger(id);
    table.Post();
  }

  TdvoMemTable table{"t"};
  TRecordingHandler handler;
};

TEST_F(DeltaHandler, EachRecordReachesTheOperationOfItsVersions) {
  handler.ResolveChanges();
  EXPECT_EQ(handler.log, "0:U 1:M 2:D 3:I 4:U 5:I");
  EXPECT_EQ(handler.NewestVersion(), nullptr);  // nothing to follow afterwards
  EXPECT_TRUE(table.AttachedAutoRefresh());
}

TEST_F(DeltaHandler, ARetryCallsAgainWithTheStateTheOperationLeft) {
  struct Case {
    const char* what;
    std::map<int, TRecordingHandler::TScript> script;
    const char* log;
  };
  const Case cases[] = {
      {"same state", {{1, [](bool& retry, uint8_t&) { retry = true; }}}, "0:U 1:M 1:M 2:D 3:I 4:U 5:I"},
      {"new state",
       {{1,
         [](bool& retry, uint8_t& state) {
           retry = true;
           state = rsInserted;
         }}},
       "0:U 1:M 1:I 2:D 3:I 4:U 5:I"},
      {"state 9",
       {{1,
         [](bool& retry, uint8_t& state) {
           retry = true;
           state = 9;
         }}},
       "0:U 1:M 2:D 3:I 4:U 5:I"},
  };
  for (const Case& c : cases) {
    TRecordingHandler scripted;
    scripted.script = c.script;
    table.SetDeltaHandler(&scripted);
    scripted.ResolveChanges();
    EXPECT_EQ(scripted.log, c.log) << c.what;
  }
}

TEST_F(DeltaHandler, AFailingOperationEndsTheWalkAndReleasesEverything) {
  TdvoMemTable other;
  AttachOpen(other);
  Add(7);
  Add(8);
  handler.script[0] = [](bool&, uint8_t&) { throw EMemTableError("resolver failed"); };
  EXPECT_THROW(handler.ResolveChanges(), EMemTableError);
  EXPECT_EQ(handler.log, "0:I");
  EXPECT_TRUE(table.AttachedAutoRefresh());
  bool free = false;
  std::thread([&] {
    free = table.Store().Lock().TryEnter();
    table.Store().Lock().Leave(free);
  }).join();
  EXPECT_TRUE(free);
  Add(9);
  EXPECT_EQ(other.RecordCount(), 3);
}

// An operation that lets the handler go still leaves the table refreshing
// the other tables of its store.
TEST_F(DeltaHandler, AutoRefreshComesBackWhenAnOperationTakesTheHandlerAway) {
  TdvoMemTable other;
  AttachOpen(other);
  Add(7);
  TRecordingHandler successor;
  for (TdvoCustomDeltaHandler* next : {static_cast<TdvoCustomDeltaHandler*>(nullptr),
                                       static_cast<TdvoCustomDeltaHandler*>(&successor)}) {
    TRecordingHandler leaving;
    leaving.script[0] = [&](bool&, uint8_t&) { table.SetDeltaHandler(next); };
    table.SetDeltaHandler(&leaving);
    leaving.ResolveChanges();
    EXPECT_TRUE(table.AttachedAutoRefresh());
    table.First();
    SetId(next == nullptr ? 41 : 42);
    EXPECT_EQ(other.FieldNamed("id").AsInteger(), next == nullptr ? 41 : 42);
  }
}

// The walk ends with its table, or when its table leaves the store it walks
// (the store going away with its owner among them): nothing is read or
// unlocked afterwards, no retry is made, and every store left is free. A
// store emptied under the walk leaves it no record to retry.
TEST(DeltaWalk, EndsWhenItsTableOrItsStoreEndsOrEmpties) {
  using TTablePtr = std::unique_ptr<TdvoMemTable>;
  struct Case {
    const char* what;
    bool walkOwner;
    std::function<void(TTablePtr& owner, TTablePtr& other)> end;
  };
  const Case cases[] = {
      {"attached table ends", false, [](TTablePtr&, TTablePtr& other) { other.reset(); }},
      {"owner ends", true, [](TTablePtr& owner, TTablePtr&) { owner.reset(); }},
      {"owner of the walked table ends", false, [](TTablePtr& owner, TTablePtr&) { owner.reset(); }},
      {"walked table leaves the store", false, [](TTablePtr&, TTablePtr& other) { other->SetAttachedTo(nullptr); }},
      {"store emptied", true, [](TTablePtr& owner, TTablePtr&) { owner->ClearAllRecords(); }},
      {"store emptied by the other", false, [](TTablePtr&, TTablePtr& other) { other->ClearAllRecords(); }},
      {"owner closes", true, [](TTablePtr& owner, TTablePtr&) { owner->Close(); }},
      {"owner of the walked table closes", false, [](TTablePtr& owner, TTablePtr&) { owner->Close(); }},
  };
  auto lockIsFree = [](TdvoMemTable& table) {
    bool free = false;
    std::thread([&] {
      free = table.Store().Lock().TryEnter();
      table.Store().Lock().Leave(free);
    }).join();
    return free;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto owner = std::make_unique<TdvoMemTable>("owner");
    auto other = std::make_unique<TdvoMemTable>("other");
    owner->AddField<TIntegerField>("id");
    owner->SetEnableVersioning(true);
    other->SetAttachedTo(owner.get());
    other->Open();
    for (int id = 7; id <= 8; ++id) {
      owner->Append();
      owner->FieldNamed("id").SetAsInteger(id);
      owner->Post();
    }
    TRecordingHandler handler;
    (c.walkOwner ? owner : other)->SetDeltaHandler(&handler);
    handler.script[0] = [&](bool& retry, uint8_t&) {
      retry = true;
      c.end(owner, other);
    };
    handler.ResolveChanges();
    EXPECT_EQ(handler.log, "0:I");
    EXPECT_EQ(handler.NewestVersion(), nullptr);
    for (TdvoMemTable* left : {owner.get(), other.get()}) {
      if (left == nullptr) continue;
      EXPECT_TRUE(left->AttachedAutoRefresh());
      EXPECT_TRUE(lockIsFree(*left));
    }
  }
}

TEST_F(DeltaHandler, AHandlerWithoutItsTableRefusesAndTouchesNothing) {
  auto check = [](TdvoCustomDeltaHandler& unattached) {
    try {
      unattached.ResolveChanges();
      ADD_FAILURE() << "walked without a table";
    } catch (const EMemTableError& error) {
      EXPECT_STREQ(error.what(), "Delta handler is not assigned to any memorytables.");
    }
  };
  TRecordingHandler fresh, replaced;
  check(fresh);
  table.SetDeltaHandler(&replaced);
  table.SetDeltaHandler(&fresh);  // the table now names another handler
  table.SetAttachedAutoRefresh(false);
  check(replaced);
  EXPECT_FALSE(table.AttachedAutoRefresh());
  EXPECT_EQ(replaced.log, "");

  auto gone = std::make_unique<TdvoMemTable>();
  TRecordingHandler orphan;
  gone->SetDeltaHandler(&orphan);
  gone.reset();
  EXPECT_EQ(orphan.AttachedTable(), nullptr);
  check(orphan);
  {
    TRecordingHandler shortLived;
    table.SetDeltaHandler(&shortLived);
    // A second table taking the handler leaves the first naming it.
    TdvoMemTable second;
    second.SetDeltaHandler(&shortLived);
    EXPECT_EQ(table.DeltaHandler(), &shortLived);
    EXPECT_EQ(shortLived.AttachedTable(), &second);
    second.SetDeltaHandler(nullptr);
    second.SetDeltaHandler(&shortLived);
  }
  EXPECT_EQ(table.DeltaHandler(), nullptr);
}

}  // namespace
}  // namespace ts
