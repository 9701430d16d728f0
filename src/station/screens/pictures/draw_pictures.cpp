// Draws the station's two pictures, a microphone and a loudspeaker, and
// writes them as PNG files and as a C++ source that holds their bytes, so the
// program carries them without reading anything at run time.
//
// Usage: draw_station_pictures <png folder> <source file>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

// The shapes are laid out on a 128-pixel grid and drawn at twice that, so
// they stay sharp when the screen scales them up.
constexpr int kSize = 256;
constexpr double kScale = kSize / 128.0;
// Samples per pixel side: edges are smoothed by coverage.
constexpr int kGrid = 4;

struct Rgba {
  unsigned char r, g, b, a;
};

using Shape = std::function<bool(double x, double y)>;

class Canvas {
 public:
  Canvas() : pixels_(std::size_t(kSize) * kSize * 4, 0) {}

  // Paints `color` over the pixels the shape covers, in proportion to how
  // much of each pixel it covers.
  void Fill(const Shape &inside, Rgba color) {
    for (int y = 0; y < kSize; ++y)
      for (int x = 0; x < kSize; ++x) {
        int hits = 0;
        for (int sy = 0; sy < kGrid; ++sy)
          for (int sx = 0; sx < kGrid; ++sx)
            if (inside((x + (sx + 0.5) / kGrid) / kScale, (y + (sy + 0.5) / kGrid) / kScale)) ++hits;
        if (hits == 0) continue;
        const double cover = double(hits) / (kGrid * kGrid) * color.a / 255.0;
        unsigned char *p = &pixels_[(std::size_t(y) * kSize + x) * 4];
        const double below = p[3] / 255.0;
        const double out = cover + below * (1 - cover);
        auto mix = [&](unsigned char top, unsigned char under) {
          return (unsigned char)std::lround((top * cover + under * below * (1 - cover)) / out);
        };
        p[0] = mix(color.r, p[0]);
        p[1] = mix(color.g, p[1]);
        p[2] = mix(color.b, p[2]);
        p[3] = (unsigned char)std::lround(out * 255);
      }
  }

  std::vector<unsigned char> EncodePng() const {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = kSize;
    image.height = kSize;
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, pixels_.data(), 0, nullptr)) return {};
    std::vector<unsigned char> bytes(size);
    if (!png_image_write_to_memory(&image, bytes.data(), &size, 0, pixels_.data(), 0, nullptr)) return {};
    bytes.resize(size);
    return bytes;
  }

 private:
  std::vector<unsigned char> pixels_;
};

Shape Rect(double l, double t, double r, double b) {
  return [=](double x, double y) { return x >= l && x < r && y >= t && y < b; };
}
Shape RoundRect(double l, double t, double r, double b, double radius) {
  return [=](double x, double y) {
    if (x < l || x >= r || y < t || y >= b) return false;
    const double cx = std::clamp(x, l + radius, r - radius);
    const double cy = std::clamp(y, t + radius, b - radius);
    return std::hypot(x - cx, y - cy) <= radius;
  };
}
// A ring between two radii, limited to the directions for which `keep` holds.
Shape Ring(double cx, double cy, double inner, double outer, std::function<bool(double dx, double dy)> keep) {
  return [=](double x, double y) {
    const double d = std::hypot(x - cx, y - cy);
    return d >= inner && d <= outer && keep(x - cx, y - cy);
  };
}
Shape Polygon(std::vector<std::pair<double, double>> pts) {
  return [pts](double x, double y) {
    bool in = false;
    for (std::size_t i = 0, j = pts.size() - 1; i < pts.size(); j = i++) {
      const auto [xi, yi] = pts[i];
      const auto [xj, yj] = pts[j];
      if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) in = !in;
    }
    return in;
  };
}

constexpr Rgba kBody{60, 64, 72, 255};
constexpr Rgba kGrille{150, 156, 166, 255};
constexpr Rgba kWave{40, 120, 200, 255};

Canvas Microphone() {
  Canvas c;
  c.Fill(RoundRect(46, 8, 82, 78, 18), kBody);
  for (double y = 22; y < 66; y += 9) c.Fill(Rect(52, y, 76, y + 3), kGrille);
  c.Fill(Ring(64, 52, 29, 35, [](double, double dy) { return dy >= 0; }), kBody);
  c.Fill(Rect(61, 86, 67, 108), kBody);
  c.Fill(RoundRect(38, 106, 90, 116, 4), kBody);
  return c;
}

Canvas Speaker() {
  Canvas c;
  c.Fill(RoundRect(12, 46, 40, 82, 3), kBody);
  c.Fill(Polygon({{38, 46}, {66, 20}, {66, 108}, {38, 82}}), kBody);
  for (double r : {22.0, 36.0, 50.0})
    c.Fill(Ring(70, 64, r, r + 6, [](double dx, double dy) { return dx > 0 && std::abs(dy) < dx * 1.1; }), kWave);
  return c;
}

bool WriteBytes(const std::filesystem::path &path, const std::vector<unsigned char> &bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
  return bool(out);
}

void WriteArray(std::ostream &out, const char *name, const std::vector<unsigned char> &bytes) {
  out << "extern const unsigned char " << name << "[] = {";
  for (std::size_t i = 0; i < bytes.size(); ++i) out << (i % 16 ? " " : "\n  ") << int(bytes[i]) << ',';
  out << "\n};\nextern const unsigned long " << name << "Size = " << bytes.size() << "ul;\n";
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <png folder> <source file>\n", argv[0]);
    return 2;
  }
  const std::vector<unsigned char> mic = Microphone().EncodePng();
  const std::vector<unsigned char> speaker = Speaker().EncodePng();
  if (mic.empty() || speaker.empty()) {
    std::fprintf(stderr, "cannot encode the pictures\n");
    return 1;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (!WriteBytes(folder / "microphone.png", mic) || !WriteBytes(folder / "speaker.png", speaker)) {
    std::fprintf(stderr, "cannot write the pictures into %s\n", argv[1]);
    return 1;
  }
  std::ofstream source(argv[2]);
  source << "// Written by draw_station_pictures.\n";
  WriteArray(source, "kMicrophonePng", mic);
  WriteArray(source, "kSpeakerPng", speaker);
  if (!source) {
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
