#include "platform/pdf_library/document_cache.h"

#include "platform/pdf_library/paper_device.h"

#include <GlobalParams.h>
#include <PDFDoc.h>
#include <SplashOutputDev.h>
#include <Stream.h>

#include <cstring>

namespace pdflib {

namespace {

// The parser reports every damaged object on standard error; a damaged
// document already shows as one without pages, so the noise helps no one.
void IgnoreParserMessage(ErrorCategory, Goffset, const char *) {}

} // namespace

DocumentCache::DocumentCache() : parser_(std::make_unique<GlobalParamsIniter>(IgnoreParserMessage)) {}

DocumentCache::~DocumentCache() { Forget(); }

void DocumentCache::Forget() {
  // The devices have started on the document: they go first.
  for (auto &device : devices_)
    device.reset();
  document_.reset();
  filled_ = false;
}

PDFDoc *DocumentCache::Find(const void *data, std::int32_t size) {
  if (size < 0 || (size > 0 && data == nullptr))
    return nullptr;
  const auto length = static_cast<std::size_t>(size);
  if (filled_ && bytes_.size() == length && (length == 0 || std::memcmp(bytes_.data(), data, length) == 0))
    return document_.get();

  Forget();
  bytes_.assign(static_cast<const char *>(data), static_cast<const char *>(data) + length);
  std::unique_ptr<PDFDoc> parsed;
  if (length > 0) {
    // The document owns the stream, the stream only borrows the bytes.
    parsed = std::make_unique<PDFDoc>(new MemStream(bytes_.data(), 0, static_cast<Goffset>(length), Object(objNull)));
    // A document that needs a password to be opened is not readable here.
    if (!parsed->isOk())
      parsed.reset();
  }
  document_ = std::move(parsed);
  filled_ = true;
  return document_.get();
}

SplashOutputDev *DocumentCache::Device(bool smooth) {
  if (!document_)
    return nullptr;
  std::unique_ptr<SplashOutputDev> &device = devices_[smooth ? 1 : 0];
  if (!device) {
    auto made = std::make_unique<PaperDevice>();
    // Glyphs are made as the device starts on the document, so the font
    // smoothing has to be chosen first.
    made->setFontAntialias(smooth);
    made->setVectorAntialias(smooth);
    made->setFreeTypeHinting(false, false);
    made->startDoc(document_.get());
    device = std::move(made);
  }
  return device.get();
}

DocumentCache &TheDocumentCache() {
  static DocumentCache cache;
  return cache;
}

} // namespace pdflib
