#include "termination_signals.h"

#include <QSocketNotifier>

#include <csignal>
#include <stdexcept>

#include <sys/socket.h>
#include <unistd.h>

namespace station {
namespace {

int g_fds[2] = {-1, -1};

extern "C" void WriteSignal(int signo) {
  const unsigned char byte = static_cast<unsigned char>(signo);
  // Nothing else is safe here; a full socket only drops a repeated signal.
  [[maybe_unused]] const ssize_t n = write(g_fds[0], &byte, 1);
}

void Catch(int signo, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(signo, &action, nullptr);
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> onSignal) : on_signal_(std::move(onSignal)) {
  if (g_fds[0] >= 0) throw std::logic_error("termination signals are caught already");
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_fds) != 0)
    throw std::runtime_error("cannot create the signal socket");
  notifier_ = std::make_unique<QSocketNotifier>(g_fds[1], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
    unsigned char byte = 0;
    while (read(g_fds[1], &byte, 1) == 1)
      if (on_signal_) on_signal_(byte);
  });
  Catch(SIGINT, WriteSignal);
  Catch(SIGTERM, WriteSignal);
}

TerminationSignals::~TerminationSignals() {
  Catch(SIGINT, SIG_DFL);
  Catch(SIGTERM, SIG_DFL);
  notifier_.reset();
  close(g_fds[0]);
  close(g_fds[1]);
  g_fds[0] = g_fds[1] = -1;
}

}  // namespace station
