// Makes the demo materials' files from our own sources.
//
//   make_demo pages CONTENT.json OUTDIR   grade-11 pages, box lists and option
//                                         lists
//   make_demo pages7 CONTENT.json OUTDIR  the same for grade 7
//   make_demo tone SECONDS HZ OUT.wav     a tone, for sounds when no speech
//                                         synthesiser is at hand
#include "demo_pages.h"
#include "wav_tone.h"

#include <QFile>
#include <QGuiApplication>
#include <QHashFunctions>
#include <QJsonDocument>
#include <QJsonParseError>

#include <cstdio>
#include <exception>

namespace {

int Usage() {
  std::fputs("usage: make_demo pages CONTENT.json OUTDIR\n       make_demo pages7 CONTENT.json OUTDIR\n"
             "       make_demo tone SECONDS HZ OUT.wav\n",
             stderr);
  return 2;
}

QJsonObject ReadContent(const QString &path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read " + path.toStdString());
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &error);
  if (doc.isNull()) throw std::runtime_error(path.toStdString() + ": " + error.errorString().toStdString());
  return doc.object();
}

}  // namespace

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The PDF writer embeds fonts in the order of a hash table; a fixed seed
  // makes two runs write the same bytes.
  QHashSeed::setDeterministicGlobalSeed();
  QGuiApplication app(argc, argv);
  const QStringList args = app.arguments();
  try {
    if (args.size() == 4 && args[1] == "pages") {
      demo::WriteGrade11Pages(ReadContent(args[2]), args[3]);
      return 0;
    }
    if (args.size() == 4 && args[1] == "pages7") {
      demo::WriteGrade7Pages(ReadContent(args[2]), args[3]);
      return 0;
    }
    if (args.size() == 5 && args[1] == "tone") {
      bool ok1 = false, ok2 = false;
      const double seconds = args[2].toDouble(&ok1), hz = args[3].toDouble(&ok2);
      if (!ok1 || !ok2 || seconds <= 0 || seconds > 600 || hz <= 0) return Usage();
      demo::WriteToneWav(args[4], seconds, hz);
      return 0;
    }
  } catch (const std::exception &e) {
    std::fprintf(stderr, "make_demo: %s\n", e.what());
    return 1;
  }
  return Usage();
}
