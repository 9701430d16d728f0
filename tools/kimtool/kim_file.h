// What kimtool does with materials files: dumps a materials container or a
// bare table stream as one JSON object, and packs a JSON description of
// fields and records into either. Failures raise KimError (or the table
// store's own exceptions) with the message the tool prints.
#pragma once

#include <QByteArray>
#include <QString>
#include <stdexcept>
#include <string>

namespace kim {

class KimError : public std::runtime_error {
 public:
  explicit KimError(const std::string& message) : std::runtime_error(message), message_(message) {}
  // The whole message, zero bytes included (what() ends at the first).
  const std::string& Message() const { return message_; }

 private:
  std::string message_;
};

// The table in `file` (a container, or a bare stream when it starts with
// "TPF0") as indented JSON: version, fields, indexes and records. Anything
// but a regular file is refused. A failure's message starts with the file's
// name and, for a table that could not be loaded, where the load stopped
// (entry, field, byte) before the table store's own message.
QByteArray DumpFile(const std::string& file);

// The table stream that `spec` (JSON text) describes; blob files are found
// relative to `baseFolder`.
std::string BuildTableStream(const QByteArray& spec, const QString& baseFolder);

// Packs the description in `specFile` into `outFile`: a materials container,
// or with `bare` the table stream itself. The output file is replaced only
// when it is complete.
void PackFile(const std::string& specFile, const std::string& outFile, bool bare);

}  // namespace kim
