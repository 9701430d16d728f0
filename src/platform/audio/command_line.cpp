#include "platform/audio/command_line.h"

#include <sys/stat.h>
#include <unistd.h>

namespace klt::audio {

std::optional<std::vector<std::string>> SplitCommandLine(std::string_view line) {
    std::vector<std::string> args;
    std::string current;
    bool inWord = false;
    bool quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true; // "" is an empty argument of its own
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord) {
                args.push_back(std::move(current));
                current.clear();
                inWord = false;
            }
        } else {
            current.push_back(c);
            inWord = true;
        }
    }
    if (quoted) {
        return std::nullopt;
    }
    if (inWord) {
        args.push_back(std::move(current));
    }
    if (args.empty() || args.front().empty()) {
        return std::nullopt;
    }
    return args;
}

std::string LocalProgramName(std::string_view name) {
    constexpr std::string_view kSuffix = ".exe";
    if (name.size() > kSuffix.size()) {
        std::string_view tail = name.substr(name.size() - kSuffix.size());
        bool same = true;
        for (std::size_t i = 0; i < kSuffix.size(); ++i) {
            char c = tail[i];
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
            same = same && c == kSuffix[i];
        }
        if (same) {
            name.remove_suffix(kSuffix.size());
        }
    }
    return std::string(name);
}

namespace {

bool IsExecutableFile(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

} // namespace

std::string FindProgram(const std::string &name, const std::string &searchPath) {
    if (name.empty()) {
        return {};
    }
    if (name.find('/') != std::string::npos) {
        return IsExecutableFile(name) ? name : std::string();
    }
    // The station ships the encoder beside itself, so the working directory
    // wins over whatever the search path holds.
    if (IsExecutableFile("./" + name)) {
        return "./" + name;
    }
    std::size_t start = 0;
    while (start <= searchPath.size()) {
        std::size_t end = searchPath.find(':', start);
        if (end == std::string::npos) {
            end = searchPath.size();
        }
        std::string folder = searchPath.substr(start, end - start);
        if (!folder.empty()) {
            std::string candidate = folder + (folder.back() == '/' ? "" : "/") + name;
            if (IsExecutableFile(candidate)) {
                return candidate;
            }
        }
        start = end + 1;
    }
    return {};
}

} // namespace klt::audio
