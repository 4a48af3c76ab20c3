// Portable. The engine's per-call state: one EngineContext is created by
// zipengine_run, lives exactly as long as that call and is destroyed before
// it returns. Every engine operation takes it as its first argument.
#pragma once

#include <cstdint>
#include <memory>

#include "zipengine/zipengine.h"

#include "decoder_state.h"
#include "output_state.h"
#include "path_state.h"

namespace platform {
class File;
}

// Sizes of the fixed buffers.
inline constexpr int32_t INPUT_BUFFER_SIZE = 8192;   // one aligned block of the archive
inline constexpr int32_t INPUT_HOLD_SIZE = 4;        // for the end-record search
inline constexpr int32_t WINDOW_SIZE = 32768;        // decoder history and staging buffer
inline constexpr int32_t ENTRY_BLOCK_SIZE = 64;      // central entries read per pass
inline constexpr int32_t NAME_BUFFER_SIZE = ZIPENGINE_NAME_SIZE;

// The overwrite mode of a run.
inline constexpr int32_t OVERWRITE_ASK = 0;
inline constexpr int32_t OVERWRITE_ALWAYS = 1;
inline constexpr int32_t OVERWRITE_NEVER = 2;

// Flags word of the message hook (the forwarding hook ignores it).
inline constexpr unsigned MSG_PLAIN = 0;
inline constexpr unsigned MSG_DECODER = 1;

// End-of-central-directory record, decoded. When the archive has a zip64
// end record (zip64 set), the counts, sizes and disk numbers are its wider
// ones; the comment length always comes from the plain record.
struct end_record {
  uint32_t this_disk = 0;
  uint32_t central_start_disk = 0;
  uint64_t entries_this_disk = 0;
  uint64_t total_entries = 0;
  uint64_t central_size = 0;
  uint64_t central_offset = 0;
  uint16_t comment_length = 0;
  bool zip64 = false;
};

// Central-directory entry, decoded (the 42 bytes after the signature). The
// sizes, the offset and the disk are widened by the entry's zip64 extra
// block where the plain field holds its largest value.
struct central_entry {
  uint8_t made_by_version = 0;
  uint8_t made_by_host = 0;
  uint8_t needed_version = 0;
  uint8_t needed_host = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t dos_time = 0;  // time in the low 16 bits, date in the high 16 bits
  uint32_t crc32 = 0;
  uint64_t compressed_size = 0;
  uint64_t uncompressed_size = 0;
  uint16_t name_length = 0;
  uint16_t extra_length = 0;
  uint16_t comment_length = 0;
  uint32_t disk_start = 0;
  uint16_t internal_attributes = 0;
  uint32_t external_attributes = 0;
  uint64_t local_header_offset = 0;
};

// Local header, decoded (the 26 bytes after the signature). With flag bit 3
// the CRC and sizes are replaced by the central directory's; without it the
// sizes are widened by a zip64 extra block as in the central entry.
struct local_header {
  uint8_t needed_version = 0;
  uint8_t needed_host = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t dos_time = 0;
  uint32_t crc32 = 0;
  uint64_t compressed_size = 0;
  uint64_t uncompressed_size = 0;
  uint16_t name_length = 0;
  uint16_t extra_length = 0;
};

// What the engine keeps of one selected central-directory entry until its
// local header is visited.
struct entry_info {
  uint64_t local_header_offset = 0;
  uint32_t crc32 = 0;
  uint64_t compressed_size = 0;
  uint64_t uncompressed_size = 0;
  uint32_t file_attributes = 0;
  uint8_t host_version = 0;
  uint8_t host_number = 0;  // values of 19 and more are kept as 19
  uint8_t encrypted = 0;
  uint8_t data_descriptor = 0;
  uint8_t text = 0;          // internal attribute bit 0
  uint8_t text_mode = 0;     // convert line ends for this entry
  uint8_t lower_case = 0;
  uint8_t volume_label = 0;
  uint8_t high_attributes = 0;  // external attributes use the high 16 bits
  uint8_t utf8 = 0;             // flag bit 11: name and comment are UTF-8, not OEM
  // What the local header must repeat (it is refused otherwise).
  uint16_t method = 0;
  uint16_t stored_name_length = 0;       // the name length field
  char stored_name[NAME_BUFFER_SIZE] = {};  // the name's bytes as stored (at most 259)
};

// State of the wildcard expansion of the archive path (archive_names.h).
struct archive_name_expansion;

// Decoding ahead on a worker thread (decode_ahead.h).
struct decode_ahead;

struct EngineContext;

// The hooks the engine talks back through (installed by zipengine_run).
using message_hook_fn = int (*)(EngineContext& ctx, const char* text, uint32_t length, unsigned flags);
// retry: the entry's attempt counter (0 on the first prompt). Answers as the
// caller's password callback: 0 entered, 5 memory failure, -2 skip all,
// anything else skip this entry.
using password_hook_fn = int (*)(EngineContext& ctx, int* retry, char* buffer, int size,
                                 const char* archive_name, const char* entry_name);
// Returns 1 when the caller asked to stop, else 0.
using progress_hook_fn = int (*)(EngineContext& ctx, int stage, const char* archive_name,
                                 const char* entry_name, const uint32_t* value);

struct EngineContext {
  EngineContext();
  ~EngineContext();
  EngineContext(const EngineContext&) = delete;
  EngineContext& operator=(const EngineContext&) = delete;

  // ---- Options, translated once from EngineOptions ----
  int32_t info_mode = 0;
  const char* target_root = nullptr;  // the caller's text, not a copy
  int32_t text_conversion = 0;
  int32_t data_to_print = 0;
  int32_t ignore_case = 0;
  int32_t freshen = 0;
  int32_t header_line = 0;
  int32_t junk_paths = 0;
  int32_t detail_level = -1;
  int32_t overwrite_always = 0;
  int32_t quiet_level = 0;
  int32_t spaces_to_underscores = 0;
  int32_t test_only = 0;
  int32_t update = 0;
  int32_t list = 0;
  int32_t security_level = 0;
  int32_t show_comment = 0;
  int32_t include_count = 0;
  int32_t exclude_count = 0;
  int32_t process_all = 0;
  const char* const* include_list = nullptr;
  const char* const* exclude_list = nullptr;
  int32_t extract = 0;
  const char* archive_path = nullptr;  // the caller's archive_path

  // ---- Working state ----
  int32_t overwrite_mode = OVERWRITE_ASK;
  int32_t create_directories = 0;
  int64_t real_end_offset = 0;      // where the end record was found in the file
  int64_t expected_end_offset = 0;  // central directory offset + size
  int32_t no_end_record_seen = 0;   // an attempt of this call found a file without an end record

  // ---- Input (input.h) ----
  // Decoders that read in bulk use exactly these fields: after
  // refill_entry_input() returns true, the bytes read_ptr[0 .. unread_count-1]
  // belong to the current entry (already decrypted); consume k of them by
  // read_ptr += k, unread_count -= k.
  uint8_t* input_buffer = nullptr;  // INPUT_BUFFER_SIZE + INPUT_HOLD_SIZE bytes
  uint8_t* hold_area = nullptr;     // input_buffer + INPUT_BUFFER_SIZE
  uint8_t* read_ptr = nullptr;
  int32_t unread_count = 0;         // may go negative on the byte reader's fast path
  int64_t buffer_file_position = 0; // physical file offset of input_buffer[0]
  int64_t preceding_bytes = 0;      // bytes in front of the archive in its file
  int64_t remaining_compressed = 0; // entry bytes not yet loaded into the buffer; below 0 after an over-read
  uint8_t* leftover_ptr = nullptr;  // buffered bytes beyond the entry's data, set aside
  int32_t leftover_count = 0;
  int32_t memory_input = 0;         // byte reader reports end of data at once
  int32_t input_encrypted = 0;      // refills of the current entry are decrypted
  int32_t buffer_length = 0;        // valid bytes in the buffer (0: nothing loaded)
  int32_t buffer_decrypted = 0;     // some buffered bytes were decrypted in place
  // Entry data beyond what the input buffer held comes through data_buffer
  // (input.h), read at explicit offsets from data_file (the archive file;
  // the caller's when this context decodes for another thread).
  uint8_t* data_buffer = nullptr;      // DATA_BUFFER_SIZE bytes, made at the first use
  platform::File* data_file = nullptr;  // null: archive_file
  int64_t data_next = 0;               // physical offset of the entry's next byte not loaded
  int64_t data_end = 0;                // physical offset just after the entry's data
  bool data_in_buffer = false;         // read_ptr points into data_buffer
  int64_t pending_position = -1;       // where block reads go on (>= 0: not loaded yet)

  // ---- Output ----
  uint8_t* output_buffer = nullptr;  // 65,537 bytes: the archive comment is shown through it
  std::unique_ptr<platform::File> archive_file;
  int64_t archive_length = 0;

  // ---- Names ----
  char* archive_name = nullptr;      // NAME_BUFFER_SIZE bytes, the caller's path copied
  const char* current_archive = "";  // name of the archive being processed
  char output_name[NAME_BUFFER_SIZE] = {};  // the current entry's name / output name
  // The last name read, as stored (before any code-page or case change; at
  // most 259 bytes, NULs included), for comparing local and central names.
  char stored_name[NAME_BUFFER_SIZE] = {};
  uint32_t stored_name_length = 0;
  std::unique_ptr<archive_name_expansion> expansion;

  // ---- Headers ----
  end_record end;
  central_entry central;
  local_header local;
  uint8_t* extra_field = nullptr;  // current entry's extra field, heap
  uint16_t extra_field_length = 0;
  entry_info* info = nullptr;       // the information record being filled
  entry_info infos[ENTRY_BLOCK_SIZE];

  // ---- Password ----
  char* password = nullptr;  // ZIPENGINE_PASSWORD_SIZE bytes, allocated on first use
  int32_t no_more_passwords = 0;

  // ---- Messages and decoding ----
  // The decoders' history window. Messages are formatted in a buffer of
  // their own (messages.h) so that a message sent during decompression can
  // never overwrite the history.
  uint8_t window[WINDOW_SIZE] = {};

  // ---- Hooks ----
  message_hook_fn message_hook = nullptr;
  password_hook_fn password_hook = nullptr;
  progress_hook_fn progress_hook = nullptr;
  EngineCallbacks* callbacks = nullptr;

  // The walk's worker while one decodes ahead; on the worker's own context,
  // the worker it belongs to.
  decode_ahead* ahead = nullptr;

  decoder_state decoder;  // decoders: tables, cipher keys, in-memory expansion
  output_state output;    // extraction: output file, CRC, text conversion, disk-full state
  path_state path;        // extraction: target root and the path being built
};
