#include "pdf_render/pdf_library_binding.h"

#include "pdf_render/fpu_guard.h"
#include "pdf_render/my_pdf_render.h"

#include <dlfcn.h>
#include <unistd.h>

#include <utility>

TPdfLibrary::TPdfLibrary(std::string FirstDirectory, std::string FileName)
    : FFirstDirectory(std::move(FirstDirectory)), FFileName(std::move(FileName)) {}

TPdfLibrary::~TPdfLibrary() { UnloadPdfLibrary(); }

bool TPdfLibrary::BindPdfLibrary() {
  if (FHandle != nullptr)
    return true;

  std::string loadError;
  {
    // The library's own start-up code runs inside dlopen.
    TFpuExceptionMask guard;
    std::string path = FFileName;
    if (!FFirstDirectory.empty()) {
      std::string beside = FFirstDirectory + "/" + FFileName;
      if (access(beside.c_str(), F_OK) == 0)
        path = std::move(beside);
    }
    FHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (FHandle == nullptr) {
      const char *text = dlerror();
      loadError = text != nullptr ? text : "unknown error";
    }
  }
  if (FHandle == nullptr)
    RaisePdfLibraryError(loadError);

  GetPDFDocInfo = reinterpret_cast<TGetPDFDocInfo>(LookUp("GetPDFDocInfo"));
  GetPDFPageSizeByIndex = reinterpret_cast<TGetPDFPageSizeByIndex>(LookUp("GetPDFPageSizeByIndex"));
  RenderPDFPageToDC = reinterpret_cast<TRenderPDFPageToDC>(LookUp("RenderPDFPageToDC"));
  return true;
}

void *TPdfLibrary::LookUp(const char *Name) {
  dlerror();
  void *entry = dlsym(FHandle, Name);
  if (entry == nullptr)
    RaisePdfLibraryError(std::string("function \"") + Name + "\" is not found.");
  return entry;
}

void TPdfLibrary::UnloadPdfLibrary() {
  if (FHandle == nullptr)
    return;
  TFpuExceptionMask guard;
  void *handle = std::exchange(FHandle, nullptr);
  dlclose(handle);
}

void TPdfLibrary::RaisePdfLibraryError(const std::string &Detail) {
  UnloadPdfLibrary();
  throw EMyPDFRendererError("Library \"" + FFileName + "\" is not correct loaded.\r\n" + Detail);
}

std::string ProgramDirectory() {
  std::string path(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= path.size())
    return {};
  path.resize(static_cast<std::size_t>(length));
  const auto slash = path.rfind('/');
  if (slash == std::string::npos)
    return {};
  return path.substr(0, slash == 0 ? 1 : slash);
}

TPdfLibrary &PdfLibrary() {
  static TPdfLibrary library(ProgramDirectory(), kPdfLibraryFileName);
  return library;
}
