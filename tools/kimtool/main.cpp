// kimtool: looks inside materials files and answers files, and makes them.
//
//   kimtool dump FILE                 the table as JSON on standard output
//   kimtool pack SPEC.json OUT [--bare]
//
// A file that cannot be read or written: the error's message on standard
// error and exit status 1 (for dump, led by the file's name and where in the
// table the damage was met); wrong arguments: usage and exit status 2.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "kim_file.h"
#include "table_store/errors.h"

namespace {

// The message on standard error, a line of its own: a value text in it may
// hold zero bytes or other control characters, shown escaped rather than
// cutting the message short or reaching the terminal.
void PrintError(const std::string& message) {
  std::string shown;
  for (const char c : message) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      shown += escaped;
    } else {
      shown += c;
    }
  }
  shown += '\n';
  std::fwrite(shown.data(), 1, shown.size(), stderr);
}

int Usage() {
  std::fputs(
      "usage: kimtool dump FILE\n"
      "       kimtool pack SPEC.json OUT [--bare]\n"
      "dump prints the table of a materials container or a bare table stream as JSON;\n"
      "pack writes a materials container (or with --bare the table stream) from a JSON description.\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() == 2 && args[0] == "dump") {
      const QByteArray json = kim::DumpFile(args[1]);
      if (std::fwrite(json.constData(), 1, static_cast<size_t>(json.size()), stdout) !=
              static_cast<size_t>(json.size()) ||
          std::fflush(stdout) != 0) {
        std::fprintf(stderr, "kimtool: cannot write the output: %s\n", std::strerror(errno));
        return 1;
      }
      return 0;
    }
    if (!args.empty() && args[0] == "pack") {
      std::vector<std::string> names;
      bool bare = false;
      for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--bare")
          bare = true;
        else
          names.push_back(args[i]);
      }
      if (names.size() != 2) return Usage();
      kim::PackFile(names[0], names[1], bare);
      return 0;
    }
  } catch (const ts::Exception& error) {
    PrintError(error.Message());
    return 1;
  } catch (const kim::KimError& error) {
    PrintError(error.Message());
    return 1;
  } catch (const std::exception& error) {
    PrintError(error.what());
    return 1;
  }
  return Usage();
}
