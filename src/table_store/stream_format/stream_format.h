// TdvoCustomStreamFormat: the base of the components that save a table into
// a stream and load it back. A table runs a format through its
// SaveStreamWithFormat / LoadStreamWithFormat (and the file forms); the
// format runs a fixed sequence of virtual hooks, and a concrete format fills
// the ones that write and read bytes.
//
//   save: BeforeSave, Save (OnBeforeSave, WriteDefinitions, WriteRecords,
//         OnAfterSave), AfterSave
//   load: BeforeLoad, Load (OnBeforeLoad, ReadDefinitions, MapLoadFields,
//         field-count check, ReadRecords, OnAfterLoad), AfterLoad
//
// The base share of BeforeSave / BeforeLoad takes the table's lock, sets its
// operation phase and progress, switches filtering and the range (save) or the persistent
// file, index maintenance and the read-only and autoinc checks (load) off,
// and prepares the work stream (a memory stream when a compression event is
// assigned). AfterSave / AfterLoad undo all of that, also after a failed
// Save or Load; a failed preparation is undone before the error reaches the
// caller. After a failed Save nothing more is written to the target.
//
// The options are sets of flags, one byte each: the save flag of an aspect
// is bit 0, its load flag bit 1 (sfSaveData / sfLoadData, ...).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "table_store/indexes/progress.h"
#include "table_store/streams.h"

namespace ts {

class TDataSet;
class TdvoCustomMemTable;
class TStreamFormatRef;
struct TRecord;

using TdvoStreamOptions = uint8_t;

inline constexpr TdvoStreamOptions sfSaveData = 1, sfLoadData = 2;
inline constexpr TdvoStreamOptions sfSaveCalculated = 1, sfLoadCalculated = 2;
inline constexpr TdvoStreamOptions sfSaveLookup = 1, sfLoadLookup = 2;
inline constexpr TdvoStreamOptions sfSaveNonVisible = 1, sfLoadNonVisible = 2;
inline constexpr TdvoStreamOptions sfSaveBlobs = 1, sfLoadBlobs = 2;
inline constexpr TdvoStreamOptions sfSaveDef = 1, sfLoadDef = 2;
inline constexpr TdvoStreamOptions sfSaveIndexDef = 1, sfLoadIndexDef = 2;
inline constexpr TdvoStreamOptions sfSaveFiltered = 1;
inline constexpr TdvoStreamOptions sfSaveIgnoreRange = 1;
inline constexpr TdvoStreamOptions sfSaveIgnoreMasterDetail = 1;
inline constexpr TdvoStreamOptions sfSaveDeltas = 1, sfLoadDeltas = 2;
inline constexpr TdvoStreamOptions sfSaveDontFilterDeltas = 1;
inline constexpr TdvoStreamOptions sfSaveAppend = 1, sfSaveInsert = 2;
inline constexpr TdvoStreamOptions sfSaveFieldKind = 1, sfLoadFieldKind = 2;
inline constexpr TdvoStreamOptions sfLoadFromStart = 2;

class TdvoCustomStreamFormat {
 public:
  using TNotifyEvent = std::function<void(TdvoCustomStreamFormat&)>;
  // (table, uncompressed, compressed) on save; (table, compressed,
  // decompressed) on load.
  using TCompressEvent = std::function<void(TDataSet&, TStream& from, TStream& to)>;

  explicit TdvoCustomStreamFormat(std::string name = {});
  virtual ~TdvoCustomStreamFormat();
  TdvoCustomStreamFormat(const TdvoCustomStreamFormat&) = delete;
  TdvoCustomStreamFormat& operator=(const TdvoCustomStreamFormat&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(std::string value) { name_ = std::move(value); }

  // "1.00" here; a concrete format reports its own. Assigning does nothing.
  std::string Version() const { return GetVersion(); }
  void SetVersion(const std::string& /*value*/) {}

  // Copies the fifteen option sets, nothing else.
  virtual void Assign(const TdvoCustomStreamFormat& source);

  // ---- Options (defaults as the constructor sets them)
  TdvoStreamOptions sfData = sfSaveData | sfLoadData;
  TdvoStreamOptions sfCalculated = 0;
  TdvoStreamOptions sfLookup = 0;
  TdvoStreamOptions sfNonVisible = sfSaveNonVisible | sfLoadNonVisible;
  TdvoStreamOptions sfBlobs = sfSaveBlobs | sfLoadBlobs;
  TdvoStreamOptions sfDef = sfSaveDef | sfLoadDef;
  TdvoStreamOptions sfIndexDef = sfSaveIndexDef | sfLoadIndexDef;
  TdvoStreamOptions sfFiltered = sfSaveFiltered;
  TdvoStreamOptions sfIgnoreRange = sfSaveIgnoreRange;
  TdvoStreamOptions sfIgnoreMasterDetail = sfSaveIgnoreMasterDetail;
  TdvoStreamOptions sfDeltas = 0;
  TdvoStreamOptions sfDontFilterDeltas = 0;
  TdvoStreamOptions sfAppend = 0;
  TdvoStreamOptions sfFieldKind = sfSaveFieldKind;
  TdvoStreamOptions sfFromStart = sfLoadFromStart;

  // ---- Events
  TNotifyEvent OnBeforeSave, OnAfterSave, OnBeforeLoad, OnAfterLoad;
  TCompressEvent OnCompress, OnDeCompress;

  // ---- The pipelines, run by the table's Save/LoadStreamWithFormat.
  void RunSave(TdvoCustomMemTable& table, TStream& target);
  void RunLoad(TdvoCustomMemTable& table, TStream& source);
  // True while a pipeline of this format runs.
  bool Running() const { return running_; }

 protected:
  virtual std::string GetVersion() const { return "1.00"; }

  // ---- Save hooks
  virtual void MapSaveFields(TdvoCustomMemTable& table);
  virtual void BeforeSave(TdvoCustomMemTable& table);
  virtual void WriteDefinitions(TdvoCustomMemTable& /*table*/) {}
  virtual void WriteRecords(TdvoCustomMemTable& /*table*/) {}
  virtual void Save(TdvoCustomMemTable& table);
  virtual void AfterSave(TdvoCustomMemTable& table);

  // ---- Load hooks
  virtual void CollectLoadFieldIds(TdvoCustomMemTable& table, std::vector<std::string>& ids, int phase);
  virtual void MapLoadFields(TdvoCustomMemTable& table, int phase);
  virtual void ResolveLoadFieldIndex(TdvoCustomMemTable& /*table*/, const std::string& /*id*/, int /*phase*/,
                                     int32_t& /*index*/, int /*position*/, int /*count*/) {}
  virtual void BeforeLoad(TdvoCustomMemTable& table);
  virtual void ReadDefinitions(TdvoCustomMemTable& /*table*/) {}
  virtual void ReadRecords(TdvoCustomMemTable& /*table*/) {}
  virtual void Load(TdvoCustomMemTable& table);
  virtual void AfterLoad(TdvoCustomMemTable& table);

  // ---- Undoing a preparation that failed half-way. A concrete format
  // releases what its own share of BeforeSave / BeforeLoad set up, then
  // calls the base, which undoes the base share as far as it got.
  virtual void AbandonSave(TdvoCustomMemTable& table);
  virtual void AbandonLoad(TdvoCustomMemTable& table);

  // ---- State of the run
  TStream* TargetStream() const { return target_; }
  TStream* SourceStream() const { return source_; }
  TStream* WorkStream() const { return work_; }
  // One entry per table field: its own index when it travels, else -1.
  const std::vector<int32_t>& SaveMap() const { return saveMap_; }
  const std::vector<int32_t>& LoadMap() const { return loadMap_; }
  // Set when Save or Load failed and the completion runs all the same.
  bool RunFailed() const { return runFailed_; }
  // A concrete completion step that failed marks the run failed, so that the
  // base completion hands nothing on to the target.
  void MarkRunFailed() { runFailed_ = true; }
  // A concrete format calls this before its load first changes the table
  // (fields, index definitions or records). A load that fails before it
  // leaves the indexes, the row order and the cursor as they were.
  void NoteLoadTouches() { loadTouched_ = true; }

 private:
  friend class TStreamFormatRef;

  void ReleaseWorkStream();
  void ForgetRun();
  using Stage = void (TdvoCustomStreamFormat::*)(TdvoCustomMemTable&);
  // One run of either pipeline: preparation, body and completion.
  void RunPipeline(TdvoCustomMemTable& table, Stage before, Stage abandon, Stage body, Stage after);
  // Each restores what its preparation step changed, if it got that far.
  void RestoreSaveSwitches(TdvoCustomMemTable& table);
  void RestoreLoadSwitches(TdvoCustomMemTable& table);
  void ReleaseTable(TdvoCustomMemTable& table);
  void Reposition(TdvoCustomMemTable& table);

  std::string name_;
  std::vector<TStreamFormatRef*> refs_;

  // One run.
  bool running_ = false;
  bool runFailed_ = false;
  TStream* target_ = nullptr;
  TStream* source_ = nullptr;
  TStream* work_ = nullptr;
  std::unique_ptr<TMemoryStream> ownedWork_;
  std::vector<int32_t> saveMap_;
  std::vector<int32_t> loadMap_;
  bool locked_ = false;
  bool filterSwitched_ = false;
  bool rangeSwitched_ = false;
  bool masterSwitched_ = false;
  bool loadSwitched_ = false;
  bool wasPersistent_ = false;
  bool hadIndexes_ = true;
  bool hadIgnoreReadOnly_ = false;
  bool hadNoAutoInc_ = false;
  bool loadTouched_ = false;
  // The record to return to: followed only through the table's bookmark
  // check, never read itself (the load may have freed it).
  TRecord* bookmarkRecord_ = nullptr;
  uint32_t bookmarkContents_ = 0;
  int32_t bookmarkSlot_ = -1;
  int32_t bookmarkSerial_ = -1;
  bool hasBookmark_ = false;
  // Where the store stood when the load began (TdvoCommon::AddMark).
  uint32_t addContents_ = 0;
  int64_t addSerial_ = 0;
};

}  // namespace ts
