// Holds the last document parsed and, per smoothing choice, one drawing device
// that has started on it, so that showing another page of the same document
// neither parses it again nor loads its fonts again. The key is the bytes
// themselves, not the caller's pointer: a caller may free a block and receive
// the same address for a different document.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class GlobalParamsIniter;
class PDFDoc;
class SplashOutputDev;

namespace pdflib {

class DocumentCache {
public:
  DocumentCache();
  ~DocumentCache();
  DocumentCache(const DocumentCache &) = delete;
  DocumentCache &operator=(const DocumentCache &) = delete;

  // The caller holds Lock() while it uses the document or a device.
  std::mutex &Lock() { return mutex_; }

  // The parsed document for these bytes, or null when they are no readable,
  // unlocked PDF. Valid until the next call.
  PDFDoc *Find(const void *data, std::int32_t size);

  // The device that draws the document last found, with or without smoothing;
  // made on first use and kept with the document. Null without a document.
  SplashOutputDev *Device(bool smooth);

private:
  void Forget();

  std::unique_ptr<GlobalParamsIniter> parser_; // the parser's settings, for as long as anything is parsed
  std::mutex mutex_;
  bool filled_ = false;
  std::vector<char> bytes_; // the parser reads from here, so the copy must live as long as the document
  std::unique_ptr<PDFDoc> document_;
  std::unique_ptr<SplashOutputDev> devices_[2]; // plain, smooth
};

DocumentCache &TheDocumentCache();

} // namespace pdflib
