// A short tone as a 16-bit mono PCM WAV file.
#pragma once

#include <QByteArray>
#include <QString>

namespace demo {

// `seconds` of a sine at `hz`, faded in and out, at `rate` samples per second.
QByteArray ToneWav(double seconds, double hz, int rate = 22050);
void WriteToneWav(const QString &path, double seconds, double hz);

}  // namespace demo
