#include "cli/scan_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace quarn::testing {
namespace {

// Appends what the descriptor has; false at its end.
bool drain(int fd, std::string& into) {
  char buffer[4096];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    into.append(buffer, static_cast<std::size_t>(n));
    return true;
  }
}

// Waits for the descriptor to have something, for long enough that only a
// hung scanner runs out of it; a hang then fails the test instead of
// stalling the suite.
bool readable(int fd) {
  constexpr int kHangGuardMs = 120000;
  pollfd p{fd, POLLIN, 0};
  int n;
  do {
    n = ::poll(&p, 1, kHangGuardMs);
  } while (n < 0 && errno == EINTR);
  return n > 0;
}

}  // namespace

ScanProcess::ScanProcess(const ScanSetup& setup) {
  int out[2], err[2];
  if (setup.own_terminal) {
    // Both streams on one terminal, as a terminal window gives them.
    if (::openpty(&out[0], &out[1], nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
    ::fcntl(out[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(out[1], F_SETFD, FD_CLOEXEC);
    err[0] = -1;
    err[1] = ::dup(out[1]);
  } else if (::pipe2(out, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  if (setup.own_terminal) {
    ::fcntl(err[1], F_SETFD, FD_CLOEXEC);
  } else if (setup.error_terminal_columns > 0) {
    winsize size{};
    size.ws_row = 24;
    size.ws_col = static_cast<unsigned short>(setup.error_terminal_columns);
    if (::openpty(&err[0], &err[1], nullptr, nullptr, &size) != 0) throw std::runtime_error("openpty failed");
    ::fcntl(err[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(err[1], F_SETFD, FD_CLOEXEC);
  } else if (::pipe2(err, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  std::vector<std::string> argv_text = {setup.program.empty() ? std::string(QUARN_SCAN_BINARY) : setup.program};
  argv_text.insert(argv_text.end(), setup.args.begin(), setup.args.end());
  std::vector<char*> argv;
  for (auto& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  if (setup.close_output) ::close(out[0]);

  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    // A session of its own, with the terminal as its controlling one, so
    // that closing the terminal signals this child alone.
    if (setup.own_terminal && (::setsid() < 0 || ::ioctl(out[1], TIOCSCTTY, 0) != 0)) ::_exit(125);
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    for (const auto& [name, value] : setup.env) ::setenv(name.c_str(), value.c_str(), 1);
    // The test runner may ignore these; the scanner must see the defaults.
    ::signal(SIGPIPE, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGHUP, SIG_DFL);
    ::signal(SIGUSR1, SIG_DFL);
    for (int number : setup.ignored_signals) ::signal(number, SIG_IGN);
    if (setup.user && (::setgid(*setup.user) != 0 || ::setuid(*setup.user) != 0)) ::_exit(126);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  out_ = setup.close_output ? -1 : out[0];
  err_ = err[0];
}

ScanProcess::~ScanProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (out_ >= 0) ::close(out_);
  if (err_ >= 0) ::close(err_);
}

std::optional<std::string> ScanProcess::read_line() {
  for (;;) {
    std::size_t end = out_text_.find('\n', consumed_);
    if (end != std::string::npos) {
      std::string line = out_text_.substr(consumed_, end - consumed_);
      consumed_ = end + 1;
      return line;
    }
    if (out_ < 0 || !readable(out_) || !drain(out_, out_text_)) return std::nullopt;
  }
}

bool ScanProcess::wait_for_error_text(const std::string& text) {
  while (err_text_.find(text) == std::string::npos) {
    if (err_ < 0 || !readable(err_) || !drain(err_, err_text_)) return false;
  }
  return true;
}

void ScanProcess::send_signal(int signal_number) { ::kill(pid_, signal_number); }

void ScanProcess::hang_up() {
  ::close(out_);
  out_ = -1;
}

ScanRun ScanProcess::finish() {
  // Both pipes are read together, so a child that fills one never waits on
  // a test that reads the other.
  while (out_ >= 0 || err_ >= 0) {
    pollfd fds[2];
    int n = 0;
    if (out_ >= 0) fds[n++] = {out_, POLLIN, 0};
    if (err_ >= 0) fds[n++] = {err_, POLLIN, 0};
    if (::poll(fds, static_cast<nfds_t>(n), -1) < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("poll failed");
    }
    for (int i = 0; i < n; ++i) {
      if (fds[i].revents == 0) continue;
      int& fd = fds[i].fd == out_ ? out_ : err_;
      if (!drain(fd, fd == out_ ? out_text_ : err_text_)) {
        ::close(fd);
        fd = -1;
      }
    }
  }
  int raw = 0;
  while (::waitpid(pid_, &raw, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  ScanRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
  run.out = out_text_;
  run.err = err_text_;
  return run;
}

ScanRun run_scan(const ScanSetup& setup) { return ScanProcess(setup).finish(); }

ScanRun run_scan(std::vector<std::string> args) {
  ScanSetup setup;
  setup.args = std::move(args);
  return run_scan(setup);
}

}  // namespace quarn::testing
