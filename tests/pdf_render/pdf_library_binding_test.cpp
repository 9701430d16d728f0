#include "pdf_render/my_chrome_pdf_render.h"
#include "pdf_render/pdf_library_binding.h"

#include "fpu_state.h"
#include "test_pdf_maker.h"
#include "test_streams.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

// A folder of its own per test, removed afterwards.
class BindingFolder : public ::testing::Test {
protected:
  void SetUp() override {
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder = fs::temp_directory_path() / (std::string("pdf_binding_") + info->name() + "_" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  void TearDown() override {
    SetDefaultFpuState();
    fs::remove_all(folder);
  }
  // Puts a file in the folder as a new file, so that a library loaded from the
  // old one is never overwritten in place.
  void Place(const char *source, const std::string &name) {
    fs::remove(folder / name);
    fs::copy_file(source, folder / name);
  }
  bool StillMapped(const std::string &name) const {
    void *handle = dlopen((folder / name).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr)
      dlclose(handle);
    return handle != nullptr;
  }
  fs::path folder;
};

std::string MessageOf(TPdfLibrary &library) {
  try {
    library.BindPdfLibrary();
  } catch (const EMyPDFRendererError &error) {
    return error.what();
  }
  return "(bound)";
}

} // namespace

using PdfLibraryBinding = BindingFolder;

TEST_F(PdfLibraryBinding, MissingLibraryNamesTheFileAndIsTriedAgainLater) {
  TPdfLibrary library(folder.string(), "libpdf.so");
  const std::string message = MessageOf(library);
  EXPECT_EQ(message.rfind("Library \"libpdf.so\" is not correct loaded.\r\n", 0), 0u) << message;
  // The system's own reason follows the line break.
  const std::string reason = message.substr(message.find("\r\n") + 2);
  EXPECT_NE(reason.find("libpdf.so"), std::string::npos) << message;
  EXPECT_FALSE(library.IsLoaded());

  Place(PDF_LIBRARY_FILE, "libpdf.so");
  EXPECT_TRUE(library.BindPdfLibrary());
  EXPECT_TRUE(library.IsLoaded());
  EXPECT_NE(library.RenderPDFPageToDC, nullptr);
}

TEST_F(PdfLibraryBinding, IncompleteLibraryIsRefusedFreedAndTriedAgain) {
  Place(PDF_STUB_LACKING_RENDER, "libpdf.so");
  TPdfLibrary library(folder.string(), "libpdf.so");
  EXPECT_EQ(MessageOf(library),
            "Library \"libpdf.so\" is not correct loaded.\r\nfunction \"RenderPDFPageToDC\" is not found.");
  EXPECT_FALSE(library.IsLoaded());
  EXPECT_FALSE(StillMapped("libpdf.so"));
  // The first two look-ups had succeeded before the third failed.
  EXPECT_NE(library.GetPDFDocInfo, nullptr);
  EXPECT_NE(library.GetPDFPageSizeByIndex, nullptr);

  // Still refused on the next use: nothing was kept from the failed attempt.
  EXPECT_EQ(MessageOf(library),
            "Library \"libpdf.so\" is not correct loaded.\r\nfunction \"RenderPDFPageToDC\" is not found.");

  Place(PDF_LIBRARY_FILE, "libpdf.so");
  EXPECT_TRUE(library.BindPdfLibrary());
  EXPECT_TRUE(StillMapped("libpdf.so"));
  library.UnloadPdfLibrary();
  EXPECT_FALSE(StillMapped("libpdf.so"));
}

TEST_F(PdfLibraryBinding, LoadsOnceAndPrefersTheProgramsFolder) {
  Place(PDF_LIBRARY_FILE, "libpdf.so");
  TPdfLibrary library(folder.string(), "libpdf.so");
  ASSERT_TRUE(library.BindPdfLibrary());
  const auto entry = library.GetPDFDocInfo;
  ASSERT_TRUE(library.BindPdfLibrary());
  EXPECT_EQ(library.GetPDFDocInfo, entry);

  // The process-wide binding finds the library built beside the tests.
  EXPECT_EQ(PdfLibrary().FileName(), "libpdf.so");
  EXPECT_TRUE(PdfLibrary().BindPdfLibrary());
  EXPECT_TRUE(PdfLibrary().IsLoaded());
}

TEST_F(PdfLibraryBinding, RendererKeepsItsDocumentWhenTheLibraryCannotBeBound) {
  Place(PDF_LIBRARY_FILE, "libpdf.so");
  TPdfLibrary library(folder.string(), "libpdf.so");
  TMyChromePDFRender renderer(library);
  const std::string first = MakeTestPdf(BlankA4Pages(2));
  ts::TMemoryStream firstStream;
  Fill(firstStream, first);
  ASSERT_TRUE(renderer.LoadFromStream(firstStream, 0));

  library.UnloadPdfLibrary();
  fs::remove(folder / "libpdf.so");
  ts::TMemoryStream second;
  Fill(second, MakeTestPdf(BlankA4Pages(5)));
  SetUnusualFpuState();
  const FpuState before = CurrentFpuState();
  EXPECT_THROW(renderer.LoadFromStream(second, 0), EMyPDFRendererError);
  EXPECT_EQ(CurrentFpuState(), before);
  SetDefaultFpuState();
  EXPECT_EQ(renderer.GetPageCount(), 2);
  EXPECT_EQ(renderer.GetDataSize(), static_cast<std::int64_t>(first.size()));

  std::int32_t width = 0, height = 0;
  EXPECT_THROW(renderer.GetPageSizePixels(1, 100, 100, width, height), EMyPDFRendererError);
  Place(PDF_LIBRARY_FILE, "libpdf.so");
  EXPECT_TRUE(renderer.GetPageSizePixels(1, 100, 100, width, height));
  EXPECT_EQ(width, 827);
}
