// POSIX backend of platform/program_arguments.h: argv as it came.
#include "platform/program_arguments.h"

namespace platform {

std::vector<std::string> program_arguments(int argc, char** argv) { return {argv, argv + argc}; }

}  // namespace platform
