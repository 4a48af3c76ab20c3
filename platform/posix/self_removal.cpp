// POSIX backend of platform/self_removal.h: a /bin/sh script with the same
// steps as the Windows command script, started in a new session at nice 19.
#include "platform/self_removal.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "system_call.h"

namespace platform {
namespace {

using posix::retry_on_eintr;

// Single quotes take every byte literally; a quote itself is closed,
// escaped and reopened.
std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

class PosixSelfRemoval final : public SelfRemoval {
 public:
  Error script_path(const std::string& path, std::string& out) const override {
    out = Quote(path);
    return Error::none;
  }
  std::string script_extension() const override { return ".sh"; }
  std::string change_to_root() const override { return "cd /\n"; }
  // sh has no goto: the attempts run inside a loop that break leaves.
  std::string begin_attempts() const override { return "while :; do\n"; }
  std::string end_if_missing(const std::string& path) const override {
    return "if [ ! -e " + path + " ]; then break; fi\n";
  }
  std::string end_attempts() const override { return "break\ndone\n"; }
  std::string delete_file(const std::string& path) const override { return "rm -f -- " + path + "\n"; }
  std::string remove_directory(const std::string& path) const override { return "rmdir -- " + path + "\n"; }
  std::string run(const std::string& program, const std::string& argument) const override {
    return program + " " + Quote(argument) + "\n";
  }

  Error command_interpreter(std::string& out) override {
    if (::access("/bin/sh", X_OK) != 0) return Error::not_found;
    out = "/bin/sh";
    return Error::none;
  }

  bool start_script(const std::string& interpreter, const std::string& script,
                    const std::string& deleted_item) override {
    errno = 0;
    int own = ::getpriority(PRIO_PROCESS, 0);
    // "Real-time" here is the highest priority this process may take; an
    // unprivileged process keeps what it has.
    ::setpriority(PRIO_PROCESS, 0, -20);

    // The child reports a failed exec through a close-on-exec pipe, so that
    // "started" means the interpreter really runs.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
      ::setpriority(PRIO_PROCESS, 0, own);
      return false;
    }
    pid_t pid = ::fork();
    if (pid == 0) {
      ::setsid();
      ::setpriority(PRIO_PROCESS, 0, 19);
      int null = ::open("/dev/null", O_RDWR);
      if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
      }
      const char* argv[] = {interpreter.c_str(), script.c_str(), nullptr};
      ::execv(interpreter.c_str(), const_cast<char* const*>(argv));
      int e = errno;
      (void)!::write(report[1], &e, sizeof e);
      ::_exit(127);
    }
    ::close(report[1]);
    bool started = false;
    if (pid > 0) {
      ::setpriority(PRIO_PROCESS, static_cast<id_t>(pid), 19);
      int e = 0;
      ssize_t n = retry_on_eintr([&] { return ::read(report[0], &e, sizeof e); });
      started = n == 0;
      if (!started) retry_on_eintr([&] { return ::waitpid(pid, nullptr, 0); });
    }
    ::close(report[0]);
    if (!started) ::setpriority(PRIO_PROCESS, 0, own);
    return started;
  }
};

}  // namespace

template <> SelfRemoval& native<SelfRemoval>() {
  static PosixSelfRemoval instance;
  return instance;
}

}  // namespace platform
