#include "remove_on_signal.h"

#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace kim {

namespace {

// What the handler may touch: a fixed buffer and a flag.
char pendingPath[PATH_MAX];
volatile sig_atomic_t armed = 0;

void RemoveAndEnd(int signal) {
  if (armed) ::unlink(pendingPath);
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

void InstallHandlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  struct sigaction action {};
  action.sa_handler = RemoveAndEnd;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

TRemoveOnSignal::TRemoveOnSignal(const std::string& path) {
  InstallHandlers();
  armed = 0;
  if (path.size() >= sizeof pendingPath) return;
  std::memcpy(pendingPath, path.c_str(), path.size() + 1);
  armed = 1;
}

TRemoveOnSignal::~TRemoveOnSignal() { armed = 0; }

THeldSignals::THeldSignals() {
  sigset_t held;
  sigemptyset(&held);
  sigaddset(&held, SIGINT);
  sigaddset(&held, SIGTERM);
  ::sigprocmask(SIG_BLOCK, &held, &previous_);
}

THeldSignals::~THeldSignals() { ::sigprocmask(SIG_SETMASK, &previous_, nullptr); }

}  // namespace kim
