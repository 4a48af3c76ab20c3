// The answers and the call log of the helper library stand-in: what every
// exported function of ridovavu.cpp does.
#pragma once

#include <cstdint>

// The answer to this call of `name` as the configuration file gives it,
// logged with `argument` (nullptr for functions without one).
uint32_t Answer(const char* name, const char* argument);
