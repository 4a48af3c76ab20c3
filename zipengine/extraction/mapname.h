// Output names: mapname turns an entry name into a path below the target
// root; checkdir builds that path component by component, creating the
// directories on the way.
#pragma once

struct EngineContext;

// checkdir modes.
inline constexpr int PATH_SET_ROOT = 0;       // text: target directory, or null to forget it
inline constexpr int PATH_BEGIN = 1;          // text: prefix of an absolute new name
inline constexpr int PATH_ADD_DIRECTORY = 2;  // text: one directory component
inline constexpr int PATH_ADD_NAME = 3;       // text: the last (file) component
inline constexpr int PATH_FINISH = 4;         // text: destination (the output-name buffer)
inline constexpr int PATH_CLEAR_ROOT = 5;     // text ignored

// mapname results besides the engine's RC_ codes (0 ready, 1 ready with the
// long form cut, 2 nothing to extract, 3 error, 4 directory path too long,
// 10 out of memory).
inline constexpr int MAPNAME_DIRECTORY_DONE = 77;  // a directory entry, created and finished
inline constexpr int MAPNAME_VOLUME_LABEL = 78;    // the entry is a volume label

// Builds the output path of the current entry from its name into the
// output-name buffer. `renamed` is non-zero when the buffer holds a name the
// caller's replace callback supplied (answer 105): that name is used as
// given, absolute or not. Entry names from the archive never leave the
// target: leading separators and a drive prefix are dropped, and a name with
// a ".." component is skipped with a message (result 3).
int mapname(EngineContext& ctx, int renamed);

// The path builder; see the modes above. Any other mode returns 99.
int checkdir(EngineContext& ctx, char* pathcomp, int flag);

// PATH_SET_ROOT for a caller's text that may not be written to.
int set_target_root(EngineContext& ctx, const char* root);
