/* Portable. The engine's one entry point, usable from C and C++.
 *
 * A caller fills an EngineOptions and an EngineCallbacks record, owns both
 * (and every text they point to) for the whole call, and gets back one
 * integer result code. The engine talks back only through the callbacks,
 * synchronously, on the calling thread. Only one call may run at a time in
 * a process, and a callback must not call zipengine_run again.
 */
#ifndef ZIPENGINE_ZIPENGINE_H
#define ZIPENGINE_ZIPENGINE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. A run keeps the largest code met. */
#define RC_OK 0
#define RC_WARNING 1
#define RC_ERROR 2
#define RC_SEVERE 3
#define RC_NO_MEMORY 4
#define RC_NO_MEMORY_PASSWORD 5
#define RC_NO_MEMORY_INFLATE 6
#define RC_NO_MEMORY_BLOCK 7
#define RC_NO_ARCHIVE 9
#define RC_NO_DIRECTORY_MEMORY 10
#define RC_NOTHING_FOUND 11
#define RC_DISK_FULL 50
#define RC_EARLY_EOF 51
#define RC_IS_DIRECTORY 76
#define RC_CANCELLED 80
#define RC_ALL_UNSUPPORTED 81
#define RC_ALL_BAD_PASSWORD 82

/* Answers of the replace callback; any other value means "overwrite". */
#define REPLACE_NO 100
#define REPLACE_ALL 103
#define REPLACE_NONE 104
#define REPLACE_RENAME 105

/* Stages of the progress callback. */
#define PROGRESS_START 1
#define PROGRESS_DATA 2
#define PROGRESS_END 3

/* Size of the output-name buffer handed to replace (a new name written by the
 * callback holds at most ZIPENGINE_NAME_SIZE - 1 characters). */
#define ZIPENGINE_NAME_SIZE 260

/* Size of the password buffer handed to the password callback. */
#define ZIPENGINE_PASSWORD_SIZE 81

/* Read once at the start of the call, never written by the engine. */
typedef struct EngineOptions {
  int32_t extract_only_newer;
  int32_t spaces_to_underscores;
  int32_t prompt_to_overwrite;
  int32_t quiet_level;
  int32_t data_to_print;
  int32_t test_only;
  int32_t list_contents;
  int32_t freshen;
  int32_t show_comment;
  int32_t keep_paths;
  int32_t overwrite_always;
  int32_t text_conversion;
  int32_t info_listing;
  int32_t ignore_case;
  int32_t restore_security;
  const char* archive_path;     /* must not be null; at most 259 characters */
  const char* target_directory; /* null: the current directory */
} EngineOptions;

typedef int (*engine_print_fn)(const char* text, uint32_t length);
typedef void (*engine_sound_fn)(void);
typedef int (*engine_replace_fn)(char* name /* ZIPENGINE_NAME_SIZE bytes */);
typedef int (*engine_password_fn)(char* buffer, int size, const char* prompt, const char* entry_name);
typedef void (*engine_list_entry_fn)(uint32_t uncompressed_size, uint32_t compressed_size, int ratio,
                                     int date1, int date2, int date3, int hour, int minute,
                                     char case_mark, const char* name, const char* method,
                                     uint32_t crc32, char encryption_mark);
/* The same with the sizes in full, for archives beyond 4 GiB (zip64). */
typedef void (*engine_list_entry64_fn)(uint64_t uncompressed_size, uint64_t compressed_size, int ratio,
                                       int date1, int date2, int date3, int hour, int minute,
                                       char case_mark, const char* name, const char* method,
                                       uint32_t crc32, char encryption_mark);
/* value: the block's length at PROGRESS_DATA; the entry's size at
 * PROGRESS_END, 0xFFFFFFFF for an entry of 4 GiB or more. */
typedef int (*engine_progress_fn)(const char* entry_name, int stage, uint32_t value);

/* Owned by the caller. The engine reads the functions (and may store a
 * do-nothing function into a null `sound`) and writes the counters.
 *
 * The last three fields serve archives beyond the 32-bit limits (zip64); a
 * caller that zero-fills the record and sets only the first eleven gets what
 * it always got. When `list_entry64` is set it is called instead of
 * `list_entry`. `list_entry` receives 0xFFFFFFFF for a size of 4 GiB or
 * more; the 32-bit totals keep the low 32 bits of the sums (they wrap, as
 * they always did), the 64-bit totals hold them in full. */
typedef struct EngineCallbacks {
  engine_print_fn print;           /* required */
  engine_sound_fn sound;           /* optional */
  engine_replace_fn replace;       /* required */
  engine_password_fn password;     /* optional: null acts as a cancel */
  engine_list_entry_fn list_entry; /* used in list_contents mode */
  engine_progress_fn progress;     /* optional: null never cancels */
  uint32_t total_compressed;
  uint32_t total_uncompressed;
  int32_t total_ratio;
  uint32_t entry_count;
  uint16_t comment_length;
  engine_list_entry64_fn list_entry64; /* optional: used instead of list_entry */
  uint64_t total_compressed64;         /* written with total_compressed */
  uint64_t total_uncompressed64;       /* written with total_uncompressed */
} EngineCallbacks;

int zipengine_run(int include_count, const char* const* include_patterns, int exclude_count,
                  const char* const* exclude_patterns, const EngineOptions* options,
                  EngineCallbacks* callbacks);

#ifdef __cplusplus
}
#endif

#endif /* ZIPENGINE_ZIPENGINE_H */
