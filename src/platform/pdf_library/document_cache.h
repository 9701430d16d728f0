// Holds the last document parsed, so that showing another page of the same
// document does not parse it again. The key is the bytes themselves, not the
// caller's pointer: a caller may free a block and receive the same address for
// a different document.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace poppler {
class document;
}

namespace pdflib {

class DocumentCache {
public:
  DocumentCache();
  ~DocumentCache();
  DocumentCache(const DocumentCache &) = delete;
  DocumentCache &operator=(const DocumentCache &) = delete;

  // The caller holds Lock() while it uses the document.
  std::mutex &Lock() { return mutex_; }

  // The parsed document for these bytes, or null when they are no readable,
  // unlocked PDF. Valid until the next call.
  poppler::document *Find(const void *data, std::int32_t size);

private:
  std::mutex mutex_;
  bool filled_ = false;
  std::vector<char> bytes_; // the parser reads from here, so the copy must live as long as the document
  std::unique_ptr<poppler::document> document_;
};

DocumentCache &TheDocumentCache();

} // namespace pdflib
