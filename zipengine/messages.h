// Portable. Sending text to the caller: every message is formatted here and
// passed, with its length, to the message hook (and so to `print`).
#pragma once

#include <cstdint>
#include <string>

#include "context.h"

// printf-style message through the message hook. Returns the hook's answer.
int message(EngineContext& ctx, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The same with a flags word for the hook.
int message_flags(EngineContext& ctx, unsigned flags, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Sends raw bytes (entry data, a comment block) through the message hook.
int message_bytes(EngineContext& ctx, const void* data, uint32_t length, unsigned flags = MSG_PLAIN);

// The display form of a name: each byte below 32 becomes '^' followed by the
// byte plus 64; double-byte characters are copied whole.
std::string display_form(const char* name);

// Explains how archives get damaged in transfer; follows several errors.
extern const char* const REPORT_TEXT;
