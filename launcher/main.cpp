// setupstub: the self-extracting installer launcher's program entry.
#include <string>
#include <vector>

#include "platform/program_arguments.h"
#include "run_sequence.h"

int main(int argc, char** argv) {
  std::vector<std::string> args = platform::program_arguments(argc, argv);
  return launcher::LauncherMain(args);
}
