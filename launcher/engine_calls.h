// The launcher's four kinds of engine call (payload listing and
// extraction, nested-archive listing and extraction) and their callbacks.
#pragma once

#include <cstdint>
#include <string>

#include "zipengine/zipengine.h"

namespace launcher {

using EngineEntry = int (*)(int, const char* const*, int, const char* const*, const EngineOptions*,
                            EngineCallbacks*);
// The engine the launcher calls; tests put a stand-in here. nullptr puts
// the real engine back.
void SetEngineEntry(EngineEntry entry);

// The longest archive path the engine takes.
inline constexpr size_t kEnginePathLimit = 259;

// The listing call on the payload in the launcher's own file: fills
// payload_total and payload_longest_name. Answers the engine's result code.
int QueryArchive();
// The extraction call on the payload into the current directory.
int ExtractArchive();
// The nested calls: listing adds to nested_total; extraction goes into
// nested_target. Neither shows progress or can be cancelled by the user;
// an interruption stops them.
int ListNestedArchive(const std::string& archive);
int ExtractNestedArchive(const std::string& archive);
// True when the launcher's own path is too long for the engine: then the
// payload cannot be read, which is no sign of a corrupt payload.
bool OwnPathTooLong();

// Callbacks.
int DiscardText(const char* text, uint32_t length);
int AnswerReplace(char* name);
int ReportPayloadProgress(const char* entry_name, int stage, uint32_t value);
int NeverCancel(const char* entry_name, int stage, uint32_t value);

}  // namespace launcher
