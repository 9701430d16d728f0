// Draws pages of the PDF documents held in the materials' blob fields.
#pragma once

#include <QImage>

#include <string>

namespace station {

class PageRenderer {
 public:
  virtual ~PageRenderer() = default;
  // Loads the document held in the named blob field of the current materials
  // record; raises the table's error for a missing or non-blob field.
  virtual void LoadFromField(const std::string &fieldName) = 0;
  // Renders a page (from 1) at `dpi` in both directions, white background;
  // raises the renderer's error for a page out of range.
  virtual QImage RenderPage(int page, int dpi) = 0;
};

}  // namespace station
