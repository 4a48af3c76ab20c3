// setupstub: the self-extracting installer launcher's program entry.
#include <string>
#include <vector>

#include "run_sequence.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  return launcher::LauncherMain(args);
}
