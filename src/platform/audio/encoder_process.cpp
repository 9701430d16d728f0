#include "platform/audio/encoder_process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace klt::audio {

namespace {

// Every encoder started and not yet reaped, so that tests and file opening can
// wait for them without polling.
struct Registry {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::weak_ptr<EncoderProcess>> processes;
    int running = 0;
};

Registry &TheRegistry() {
    static Registry *registry = new Registry; // outlives the reaper threads at exit
    return *registry;
}

std::string NormalisedPath(const std::string &path) {
    if (path.empty()) {
        return {};
    }
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (ec) {
        return {};
    }
    return absolute.lexically_normal().string();
}

} // namespace

EncoderProcess::EncoderProcess(pid_t pid, int fd, std::string outputPath)
    : pid_(pid), outputPath_(std::move(outputPath)), fd_(fd) {}

EncoderProcess::~EncoderProcess() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

std::shared_ptr<EncoderProcess> EncoderProcess::Spawn(const std::string &program,
                                                      const std::vector<std::string> &argv,
                                                      std::string outputPath, int outputFd) {
    // A socket rather than a pipe carries the input: send() with MSG_NOSIGNAL
    // turns a dead reader into an error instead of a process-killing SIGPIPE,
    // without touching the process-wide signal disposition.
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        return nullptr;
    }
    shutdown(fds[0], SHUT_RD);
    shutdown(fds[1], SHUT_WR);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // Moved above the numbers the child is given first, so that no dup2 of
    // a number onto itself keeps its close-on-exec flag.
    int output = -1;
    if (outputFd >= 0) {
        output = fcntl(outputFd, F_DUPFD_CLOEXEC, 10);
        if (output < 0) {
            posix_spawn_file_actions_destroy(&actions);
            close(fds[0]);
            close(fds[1]);
            return nullptr;
        }
        posix_spawn_file_actions_adddup2(&actions, output, kOutputFd);
    }

    // The host may ignore SIGPIPE or block signals; the encoder must start
    // with the ordinary dispositions, as it would from a shell.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    // A group of its own: Ctrl+C in the terminal interrupts the program, which
    // then ends the encoder's input, instead of killing the encoder with its
    // file unfinished.
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

    std::vector<char *> args;
    args.reserve(argv.size() + 1);
    for (const std::string &a : argv) {
        args.push_back(const_cast<char *>(a.c_str()));
    }
    args.push_back(nullptr);

    pid_t pid = -1;
    int rc = posix_spawn(&pid, program.c_str(), &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(fds[1]);
    if (output >= 0) {
        close(output);
    }
    if (rc != 0) {
        close(fds[0]);
        return nullptr;
    }

    std::shared_ptr<EncoderProcess> process(
        new EncoderProcess(pid, fds[0], NormalisedPath(outputPath)));
    {
        Registry &registry = TheRegistry();
        std::lock_guard lock(registry.mutex);
        std::erase_if(registry.processes, [](const auto &w) { return w.expired(); });
        registry.processes.push_back(process);
        ++registry.running;
    }
    std::thread([process] { process->Reap(); }).detach();
    return process;
}

void EncoderProcess::Reap() {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    {
        std::lock_guard lock(exitMutex_);
        exited_ = true;
    }
    exitCv_.notify_all();
    Registry &registry = TheRegistry();
    {
        std::lock_guard lock(registry.mutex);
        --registry.running;
    }
    registry.changed.notify_all();
}

bool EncoderProcess::Write(const void *data, std::size_t bytes) {
    std::lock_guard lock(ioMutex_);
    if (fd_ < 0 || inputBroken_) {
        return false;
    }
    const char *p = static_cast<const char *>(data);
    while (bytes > 0) {
        ssize_t n = send(fd_, p, bytes, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            inputBroken_ = true;
            return false;
        }
        p += n;
        bytes -= static_cast<std::size_t>(n);
    }
    return true;
}

void EncoderProcess::CloseInput() {
    std::lock_guard lock(ioMutex_);
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    inputOpen_ = false;
    TheRegistry().changed.notify_all();
}

bool EncoderProcess::Active() const {
    return inputOpen_ && !inputBroken_ && !exited_;
}

bool EncoderProcess::WaitExited(std::chrono::milliseconds timeout) {
    std::unique_lock lock(exitMutex_);
    return exitCv_.wait_for(lock, timeout, [this] { return exited_.load(); });
}

bool EncoderProcess::WaitAllExited(std::chrono::milliseconds timeout) {
    Registry &registry = TheRegistry();
    std::unique_lock lock(registry.mutex);
    return registry.changed.wait_for(lock, timeout, [&] { return registry.running == 0; });
}

bool EncoderProcess::WaitFinishing(const std::string &path, std::chrono::milliseconds timeout) {
    std::string wanted = NormalisedPath(path);
    if (wanted.empty()) {
        return true;
    }
    Registry &registry = TheRegistry();
    std::unique_lock lock(registry.mutex);
    auto finishing = [&] {
        for (const auto &weak : registry.processes) {
            auto p = weak.lock();
            if (p && !p->inputOpen_ && !p->exited_ && p->outputPath_ == wanted) {
                return true;
            }
        }
        return false;
    };
    return registry.changed.wait_for(lock, timeout, [&] { return !finishing(); });
}

} // namespace klt::audio
