// Portable. No OS headers.
//
// platform::ArgumentVector over the backend's program_arguments.
#include "platform/program_arguments.h"

namespace platform {

ArgumentVector::ArgumentVector(int argc, char** argv) : texts_(program_arguments(argc, argv)) {
  for (std::string& text : texts_) pointers_.push_back(text.data());
  pointers_.push_back(nullptr);
}

}  // namespace platform
