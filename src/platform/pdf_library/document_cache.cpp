#include "platform/pdf_library/document_cache.h"

#include <poppler-document.h>
#include <poppler-global.h>

#include <cstring>

namespace pdflib {

namespace {

// The parser reports every damaged object on standard error; a damaged
// document already shows as one without pages, so the noise helps no one.
void IgnoreParserMessage(const std::string &, void *) {}

} // namespace

DocumentCache::DocumentCache() { poppler::set_debug_error_function(IgnoreParserMessage, nullptr); }

DocumentCache::~DocumentCache() = default;

poppler::document *DocumentCache::Find(const void *data, std::int32_t size) {
  if (size < 0 || (size > 0 && data == nullptr))
    return nullptr;
  const auto length = static_cast<std::size_t>(size);
  if (filled_ && bytes_.size() == length && (length == 0 || std::memcmp(bytes_.data(), data, length) == 0))
    return document_.get();

  document_.reset();
  filled_ = false;
  bytes_.assign(static_cast<const char *>(data), static_cast<const char *>(data) + length);
  std::unique_ptr<poppler::document> parsed;
  if (length > 0)
    parsed.reset(poppler::document::load_from_raw_data(bytes_.data(), size));
  if (parsed && parsed->is_locked())
    parsed.reset();
  document_ = std::move(parsed);
  filled_ = true;
  return document_.get();
}

DocumentCache &TheDocumentCache() {
  static DocumentCache cache;
  return cache;
}

} // namespace pdflib
