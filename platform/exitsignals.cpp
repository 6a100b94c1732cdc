#include "platform/exitsignals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

#include <memory>

namespace {

int gSignalPipe[2] = {-1, -1};  // [0] read by the notifier, [1] written by the handler
std::unique_ptr<QSocketNotifier> gNotifier;
std::function<void()> gOnSignal;

// Async-signal-safe: one write, errno kept.
void OnExitSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(gSignalPipe[1], &byte, 1);
  errno = saved;
}

void Install(int signo, void (*handler)(int)) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  ::sigaction(signo, &sa, nullptr);
}

}  // namespace

void WatchExitSignals(std::function<void()> onSignal) {
  gOnSignal = std::move(onSignal);
  if (gNotifier) return;
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalPipe) != 0) return;
  // A full pipe only drops signals that are pending anyway; it never blocks
  // the handler.
  ::fcntl(gSignalPipe[1], F_SETFL, ::fcntl(gSignalPipe[1], F_GETFL) | O_NONBLOCK);
  ::fcntl(gSignalPipe[0], F_SETFL, ::fcntl(gSignalPipe[0], F_GETFL) | O_NONBLOCK);
  gNotifier = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
  QObject::connect(gNotifier.get(), &QSocketNotifier::activated, [] {
    char buf[64];
    bool any = false;
    while (::read(gSignalPipe[0], buf, sizeof buf) > 0) any = true;
    if (any && gOnSignal) gOnSignal();
  });
  Install(SIGTERM, OnExitSignal);
  Install(SIGHUP, OnExitSignal);
}

void StopWatchingExitSignals() {
  Install(SIGTERM, SIG_DFL);
  Install(SIGHUP, SIG_DFL);
  gNotifier.reset();
  for (int& fd : gSignalPipe) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  gOnSignal = nullptr;
}
