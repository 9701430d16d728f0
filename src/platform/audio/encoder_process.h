// An encoder child process: started without a shell, fed on its standard
// input, and reaped by a thread of its own so that no caller ever waits for it
// and no zombie is left behind.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <sys/types.h>

namespace klt::audio {

class EncoderProcess {
public:
    // The number under which the encoder finds its output file already open.
    static constexpr int kOutputFd = 3;

    // Starts `program` with `argv` (argv[0] included). Its output and error
    // streams are discarded. `outputFd`, when not -1, is the file the encoder
    // writes, handed to it open as kOutputFd; `outputPath` names that file.
    // Null on failure, with errno-style detail dropped: the caller reports
    // its own error code.
    static std::shared_ptr<EncoderProcess> Spawn(const std::string &program,
                                                 const std::vector<std::string> &argv,
                                                 std::string outputPath, int outputFd = -1);
    ~EncoderProcess();
    EncoderProcess(const EncoderProcess &) = delete;
    EncoderProcess &operator=(const EncoderProcess &) = delete;

    // Writes all bytes; false once the process no longer takes input. Never
    // raises SIGPIPE, whatever the process does with that signal.
    bool Write(const void *data, std::size_t bytes);
    // End of input: the encoder finishes its file and ends.
    void CloseInput();

    // True while the process runs and its input has neither broken nor been
    // closed.
    bool Active() const;
    bool Exited() const { return exited_.load(); }
    bool WaitExited(std::chrono::milliseconds timeout);
    pid_t Pid() const { return pid_; }
    const std::string &OutputPath() const { return outputPath_; }

    // Waits until every encoder process started so far has ended.
    static bool WaitAllExited(std::chrono::milliseconds timeout);
    // Waits for the encoders that are finishing (input closed, process still
    // running) a file at `path`; true when none is left finishing it.
    static bool WaitFinishing(const std::string &path, std::chrono::milliseconds timeout);

private:
    EncoderProcess(pid_t pid, int fd, std::string outputPath);
    void Reap();

    pid_t pid_;
    std::string outputPath_; // absolute and normalised, empty when unknown
    std::mutex ioMutex_;
    int fd_;
    std::atomic<bool> inputOpen_{true};
    std::atomic<bool> inputBroken_{false};
    std::atomic<bool> exited_{false};
    std::mutex exitMutex_;
    std::condition_variable exitCv_;
};

} // namespace klt::audio
