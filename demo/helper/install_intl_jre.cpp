// The one export that the "without InstallIntlJRE" variant of the stand-in
// leaves out.
#include <cstdint>

#include "helper_answers.h"
#include "platform/library_abi.h"

extern "C" uint32_t QEL_LIBRARY_CALL InstallIntlJRE() { return Answer("InstallIntlJRE", nullptr); }
