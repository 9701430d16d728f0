// Writes small PDF documents for the tests and benchmarks: pages of exact
// sizes in points, black rectangles, lines of text in a standard font and
// whatever else a test draws itself.
#pragma once

#include <string>
#include <vector>

struct TestRect {
  // Points, from the page's bottom-left corner as PDF counts them.
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
};

struct TestPage {
  double width = 595.28;
  double height = 841.89;
  std::vector<TestRect> blackRects;
  std::vector<std::string> lines; // written top-down in 11-point type
  int rotate = 0;                 // degrees the viewer turns the page
  std::string ink;                // further content operators, drawn last
};

std::string MakeTestPdf(const std::vector<TestPage> &pages, const std::string &comment = {});

// A4 pages (595.28 x 841.89 points), each blank.
std::vector<TestPage> BlankA4Pages(int count);
