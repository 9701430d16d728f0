#include "wav_tone.h"

#include <QFile>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <stdexcept>

namespace demo {
namespace {
void Put16(QByteArray &b, std::uint16_t v) {
  b.append(char(v & 0xFF));
  b.append(char(v >> 8));
}
void Put32(QByteArray &b, std::uint32_t v) {
  Put16(b, std::uint16_t(v & 0xFFFF));
  Put16(b, std::uint16_t(v >> 16));
}
}  // namespace

QByteArray ToneWav(double seconds, double hz, int rate) {
  const auto frames = std::uint32_t(std::lround(seconds * rate));
  const std::uint32_t data_bytes = frames * 2;
  QByteArray b;
  b.append("RIFF");
  Put32(b, 36 + data_bytes);
  b.append("WAVEfmt ");
  Put32(b, 16);
  Put16(b, 1);  // PCM
  Put16(b, 1);  // mono
  Put32(b, std::uint32_t(rate));
  Put32(b, std::uint32_t(rate) * 2);
  Put16(b, 2);
  Put16(b, 16);
  b.append("data");
  Put32(b, data_bytes);
  const double fade = 0.05 * rate;
  for (std::uint32_t i = 0; i < frames; ++i) {
    double gain = 0.4;
    if (i < fade) gain *= i / fade;
    if (frames - i < fade) gain *= (frames - i) / fade;
    const double s = gain * std::sin(2 * std::numbers::pi * hz * i / rate);
    Put16(b, std::uint16_t(std::int16_t(std::lround(s * 32767))));
  }
  return b;
}

void WriteToneWav(const QString &path, double seconds, double hz) {
  QFile file(path);
  const QByteArray bytes = ToneWav(seconds, hz);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
    throw std::runtime_error("cannot write " + path.toStdString());
}

}  // namespace demo
