// POSIX backend of platform/process.h: posix_spawn, waitpid, setpriority.
#include "platform/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <vector>

#include "platform/command_line.h"

extern char** environ;

namespace platform {
namespace {

Error ErrorFromErrno(int e) {
  switch (e) {
    case 0: return Error::none;
    case ENOENT: return Error::not_found;
    case EACCES:
    case EPERM: return Error::access_denied;
    case ENOTDIR: return Error::not_directory;
    case ENAMETOOLONG: return Error::name_too_long;
    case ENOMEM: return Error::no_memory;
    case EINTR: return Error::interrupted;
    default: return Error::io;
  }
}

// The nice value of each priority class; realtime is searched downwards
// from -20 to the best the process may take.
int NiceOf(PriorityClass p) {
  switch (p) {
    case PriorityClass::idle: return 19;
    case PriorityClass::below_normal: return 10;
    case PriorityClass::normal: return 0;
    case PriorityClass::above_normal: return -5;
    case PriorityClass::high: return -10;
    case PriorityClass::realtime: return -20;
  }
  return 0;
}

int NiceOf(ThreadPriority p) {
  switch (p) {
    case ThreadPriority::idle: return 19;
    case ThreadPriority::lowest: return 10;
    case ThreadPriority::below_normal: return 5;
    case ThreadPriority::normal: return 0;
    case ThreadPriority::above_normal: return -5;
    case ThreadPriority::highest: return -10;
    case ThreadPriority::time_critical: return -20;
  }
  return 0;
}

// Tries `wanted`, and when that is not allowed each weaker value up to the
// current one, so that "as high as allowed" still raises what it can.
Error SetNice(int which_id, int wanted) {
  errno = 0;
  int now = getpriority(PRIO_PROCESS, static_cast<id_t>(which_id));
  if (now == -1 && errno != 0) return ErrorFromErrno(errno);
  for (int value = wanted;; ++value) {
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(which_id), value) == 0) return Error::none;
    if (errno != EACCES && errno != EPERM) return ErrorFromErrno(errno);
    if (value >= now) return Error::access_denied;
  }
}

bool IsRegularFile(const std::string& path, const std::string& directory) {
  std::string full = path;
  if (!directory.empty() && !path.empty() && path[0] != '/') full = directory + "/" + path;
  struct stat st;
  return ::stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// CreateProcess takes an unquoted program path with blanks by trying each
// blank in turn as the end of the program name, the shortest first, until
// one names a file; the rest of the line is split as usual. The launcher
// relies on that for a program found in a PATH directory with a blank.
std::vector<std::string> SplitAsCreateProcess(const std::string& line, const std::string& directory) {
  size_t start = line.find_first_not_of(" \t");
  if (start != std::string::npos && line[start] != '"') {
    size_t blank = line.find_first_of(" \t", start);
    while (blank != std::string::npos) {
      std::string program = line.substr(start, blank - start);
      if (program.find('"') == std::string::npos && IsRegularFile(program, directory)) {
        std::vector<std::string> args{program};
        for (std::string& a : split_command_line(std::string_view(line).substr(blank))) args.push_back(std::move(a));
        return args;
      }
      blank = line.find_first_of(" \t", blank + 1);
    }
    // The whole line as one program name, when it names a file.
    std::string whole = line.substr(start);
    while (!whole.empty() && (whole.back() == ' ' || whole.back() == '\t')) whole.pop_back();
    if (whole.find_first_of(" \t") != std::string::npos && whole.find('"') == std::string::npos &&
        IsRegularFile(whole, directory)) {
      return {whole};
    }
  }
  return split_command_line(line);
}

class PosixProcess final : public Process {
 public:
  Error start(const std::string& command_line, const std::string& directory,
              ChildProcess& out) override {
    return start_with_streams(command_line, directory, ChildStreams{}, out);
  }

  Error start_with_streams(const std::string& command_line, const std::string& directory,
                           const ChildStreams& streams, ChildProcess& out) override {
    out = ChildProcess{};
    std::vector<std::string> args = SplitAsCreateProcess(command_line, directory);
    if (args.empty()) {
      errno = ENOENT;
      return Error::not_found;
    }
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Only the standard streams reach the child, as without handle
    // inheritance on Windows.
    if (!streams.input.empty()) posix_spawn_file_actions_addopen(&actions, 0, streams.input.c_str(), O_RDONLY, 0);
    if (!streams.output.empty()) {
      posix_spawn_file_actions_addopen(&actions, 1, streams.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    if (!streams.error.empty()) {
      if (streams.error == streams.output) {
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
      } else {
        posix_spawn_file_actions_addopen(&actions, 2, streams.error.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      }
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    if (!directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t empty;
    sigemptyset(&empty);
    posix_spawnattr_setsigmask(&attr, &empty);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);

    pid_t pid = -1;
    // A bare name is looked for in the directory first, as CreateProcess
    // does, and only then along PATH.
    const bool has_directory = args[0].find('/') != std::string::npos || IsRegularFile(args[0], directory);
    int rc = has_directory ? posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ)
                           : posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      errno = rc;
      return ErrorFromErrno(rc);
    }
    out.handle = pid;
    return Error::none;
  }

  Error wait(ChildProcess& child, int& exit_code) override {
    if (!child.running()) return Error::not_found;
    int status = 0;
    pid_t r;
    do {
      r = waitpid(static_cast<pid_t>(child.handle), &status, 0);
    } while (r == -1 && errno == EINTR);
    child.handle = -1;
    if (r == -1) return ErrorFromErrno(errno);
    if (WIFEXITED(status)) {
      exit_code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
      exit_code = 128 + WTERMSIG(status);
    } else {
      exit_code = -1;
    }
    return Error::none;
  }

  Error set_process_priority(PriorityClass priority) override {
    return SetNice(0, NiceOf(priority));
  }

  Error set_thread_priority(ThreadPriority priority) override {
    // On Linux a thread id names the thread alone for setpriority.
    return SetNice(static_cast<int>(syscall(SYS_gettid)), NiceOf(priority));
  }
};

}  // namespace

template <> Process& native<Process>() {
  static PosixProcess instance;
  return instance;
}

}  // namespace platform
