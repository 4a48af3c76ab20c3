// uninstall_bench [TREE] [ROUNDS]: copies TREE (default: the JDK on this
// machine) twice per round, removes one copy with rm -rf and the other with
// a silent run of `uninstall` whose record names it, and prints both times
// and their ratio; then removes a third copy in process through the
// interactive path and counts the progress-bar messages it sends.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "file_tree.h"
#include "progress.h"
#include "uninstaller_ui.h"

extern char** environ;
namespace fs = std::filesystem;

namespace {

int Spawn(std::vector<std::string> argv_text) {
  std::vector<char*> argv;
  for (auto& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double Timed(const std::vector<std::string>& argv) {
  auto start = std::chrono::steady_clock::now();
  if (Spawn(argv) != 0) std::fprintf(stderr, "failed: %s\n", argv[0].c_str());
  return Seconds(start);
}

void Copy(const std::string& from, const std::string& to) {
  if (Spawn({"cp", "-a", from, to}) != 0) std::fprintf(stderr, "copy failed: %s\n", to.c_str());
  Spawn({"sync"});
}

// The program with a record naming `install_dir` (a JRE, not integrated).
void WriteProgram(const std::string& path, const std::string& install_dir) {
  std::ifstream in(QEL_UNINSTALL_PROGRAM, std::ios::binary);
  std::ostringstream image;
  image << in.rdbuf();
  std::string program = image.str();
  std::string text = "Bench JRE," + install_dir +
                     ",/none,1,4,2,02,1.4.2_02,1,0,Bench,HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench";
  std::string out = program + text;
  uint32_t o = static_cast<uint32_t>(program.size());
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((o >> shift) & 0xFF);
  out += "qel-installer";
  std::ofstream(path, std::ios::binary) << out;
  fs::permissions(path, fs::perms::owner_all);
}

class CountingUi final : public UninstallerUi {
 public:
  int messages = 0;
  int last = 0;
  bool Confirm(const std::string&) override { return true; }
  void OpenProgress() override {}
  void SetProgress(int position) override {
    ++messages;
    last = position;
  }
  void CloseProgress() override {}
  void ShowResult(const std::string&) override {}
};

}  // namespace

int main(int argc, char** argv) {
  std::string tree = argc > 1 ? argv[1] : "/usr/lib/jvm/java-17-openjdk-amd64";
  int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  std::string work = fs::temp_directory_path() / ("uninstall-bench-" + std::to_string(getpid()));
  fs::create_directories(work + "/tmp");
  setenv("QEL_REGISTRY", (work + "/registry.reg").c_str(), 1);
  setenv("TMPDIR", (work + "/tmp").c_str(), 1);
  std::string program = work + "/uninstall";

  std::printf("tree: %s\n", tree.c_str());
  std::vector<double> ratios;
  for (int round = 1; round <= rounds; ++round) {
    std::string a = work + "/a", b = work + "/b";
    Copy(tree, a);
    Copy(tree, b);
    WriteProgram(program, b);
    double rm = 0, ours = 0;
    // Alternate the order so neither side always meets the warmer cache.
    if (round % 2) {
      rm = Timed({"rm", "-rf", a});
      ours = Timed({program, "-silent"});
    } else {
      ours = Timed({program, "-silent"});
      rm = Timed({"rm", "-rf", a});
    }
    if (fs::exists(b)) std::fprintf(stderr, "round %d: the tree was not removed\n", round);
    std::printf("round %d: rm -rf %.3f s, uninstall %.3f s, ratio %.2f\n", round, rm, ours, ours / rm);
    ratios.push_back(ours / rm);
    for (int i = 0; i < 200 && !fs::is_empty(work + "/tmp"); ++i) usleep(50000);
  }
  std::sort(ratios.begin(), ratios.end());
  std::printf("median ratio: %.2f\n", ratios[ratios.size() / 2]);

  std::string c = work + "/c";
  Copy(tree, c);
  CountingUi ui;
  Progress progress;
  progress.ui = &ui;
  progress.total = CountFiles(WidePath(c));
  RemovalContext context{&progress, {}};
  auto start = std::chrono::steady_clock::now();
  DeleteTree(WidePath(c), context);
  std::printf("interactive path: %d files, %d removals, %d progress messages (last %d), %.3f s\n",
              progress.total, progress.done, ui.messages, ui.last, Seconds(start));
  std::error_code ec;
  fs::remove_all(work, ec);
  return 0;
}
