// Run-time binding of our PDF library: loaded by name at first use, its three
// calls looked up, freed at exit. A failed load or look-up leaves it unloaded,
// so the next use tries again.
#pragma once

#include "platform/pdf_library/pdf_dc.h"

#include <string>

class TPdfLibrary {
public:
  // Looks for FileName in FirstDirectory (skipped when empty), then on the
  // system's library search path.
  TPdfLibrary(std::string FirstDirectory, std::string FileName);
  ~TPdfLibrary();
  TPdfLibrary(const TPdfLibrary &) = delete;
  TPdfLibrary &operator=(const TPdfLibrary &) = delete;

  // Loads the library and resolves the calls unless that is done already;
  // every failure raises EMyPDFRendererError.
  bool BindPdfLibrary();
  void UnloadPdfLibrary();
  bool IsLoaded() const { return FHandle != nullptr; }
  const std::string &FileName() const { return FFileName; }

  // Valid only while loaded; looked up again on every load.
  TGetPDFDocInfo GetPDFDocInfo = nullptr;
  TGetPDFPageSizeByIndex GetPDFPageSizeByIndex = nullptr;
  TRenderPDFPageToDC RenderPDFPageToDC = nullptr;

private:
  [[noreturn]] void RaisePdfLibraryError(const std::string &Detail);
  void *LookUp(const char *Name);

  std::string FFirstDirectory;
  std::string FFileName;
  void *FHandle = nullptr;
};

// The platform's file name of our PDF library.
inline constexpr const char *kPdfLibraryFileName = "libpdf.so";

// The folder of the running program, without a trailing slash; empty when the
// system does not tell.
std::string ProgramDirectory();

// The process-wide binding every renderer uses by default: the library beside
// the program first, then the system's search path; freed at exit.
TPdfLibrary &PdfLibrary();
