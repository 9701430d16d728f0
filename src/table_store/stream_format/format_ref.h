// TStreamFormatRef: a table's reference to a stream format component that
// lets go of the format when the format is destroyed first, so a table never
// runs a format that no longer exists (the removal notification of the
// component world). Destroying the reference unregisters it from its format.
#pragma once

namespace ts {

class TdvoCustomStreamFormat;

class TStreamFormatRef {
 public:
  TStreamFormatRef() = default;
  ~TStreamFormatRef() { Reset(nullptr); }
  TStreamFormatRef(const TStreamFormatRef&) = delete;
  TStreamFormatRef& operator=(const TStreamFormatRef&) = delete;

  TdvoCustomStreamFormat* Get() const { return format_; }
  // Points at `format` (nullptr: none).
  void Reset(TdvoCustomStreamFormat* format);

 private:
  friend class TdvoCustomStreamFormat;
  TdvoCustomStreamFormat* format_ = nullptr;
};

}  // namespace ts
