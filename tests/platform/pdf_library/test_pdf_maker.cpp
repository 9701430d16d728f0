#include "test_pdf_maker.h"

#include <cstdio>

namespace {

std::string Number(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

std::string Escaped(const std::string &line) {
  std::string out;
  for (char c : line) {
    if (c == '(' || c == ')' || c == '\\')
      out += '\\';
    out += c;
  }
  return out;
}

std::string Content(const TestPage &page) {
  std::string body;
  for (const TestRect &r : page.blackRects)
    body += "0 0 0 rg " + Number(r.x) + " " + Number(r.y) + " " + Number(r.width) + " " + Number(r.height) +
            " re f\n";
  if (!page.lines.empty()) {
    body += "BT /F1 11 Tf 14 TL 0 0 0 rg " + Number(50) + " " + Number(page.height - 60) + " Td\n";
    for (const std::string &line : page.lines)
      body += "(" + Escaped(line) + ") Tj T*\n";
    body += "ET\n";
  }
  return body + page.ink;
}

} // namespace

std::string MakeTestPdf(const std::vector<TestPage> &pages, const std::string &comment) {
  std::string out = "%PDF-1.4\n";
  if (!comment.empty())
    out += "% " + comment + "\n";
  std::vector<std::size_t> offsets;
  auto object = [&](const std::string &text) {
    offsets.push_back(out.size());
    out += std::to_string(offsets.size()) + " 0 obj\n" + text + "\nendobj\n";
  };

  // 1 catalog, 2 page tree, 3 font, then per page its page object and content.
  const int firstPage = 4;
  std::string kids;
  for (std::size_t i = 0; i < pages.size(); ++i)
    kids += std::to_string(firstPage + 2 * static_cast<int>(i)) + " 0 R ";
  object("<< /Type /Catalog /Pages 2 0 R >>");
  object("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " >>");
  object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  for (std::size_t i = 0; i < pages.size(); ++i) {
    const TestPage &page = pages[i];
    const int contents = firstPage + 2 * static_cast<int>(i) + 1;
    object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + Number(page.width) + " " + Number(page.height) +
           "] /Rotate " + std::to_string(page.rotate) + " /Resources << /Font << /F1 3 0 R >> >> /Contents " +
           std::to_string(contents) + " 0 R >>");
    const std::string stream = Content(page);
    object("<< /Length " + std::to_string(stream.size()) + " >>\nstream\n" + stream + "endstream");
  }

  const std::size_t xref = out.size();
  out += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
  for (std::size_t offset : offsets) {
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
    out += entry;
  }
  out += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
  return out;
}

std::vector<TestPage> BlankA4Pages(int count) { return std::vector<TestPage>(static_cast<std::size_t>(count)); }
