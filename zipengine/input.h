// Portable. Reading the archive: positioned read, block read, and the byte
// reader that hands out the current entry's compressed data (decrypting an
// encrypted entry as the buffer is refilled and never going past the entry).
//
// The input buffer always holds an 8,192-byte block aligned to an 8,192-byte
// offset of the physical file, so a positioned read inside the current block
// costs no system call.
#pragma once

#include <cstdint>

#include "context.h"

// End of data, as returned by the byte reader.
inline constexpr int INPUT_EOF = -1;

// A read error met by the byte reader. It is thrown (after the message has
// been sent) and caught only by zipengine_run, which then returns 3; every
// engine object on the way is released by its destructor.
struct input_read_error {};

// Makes the byte at (archive_offset + preceding bytes) the next one read.
// 0, 3 (seek before the start of the file, with its message) or 51 (nothing
// readable there).
int seek_archive(EngineContext& ctx, int64_t archive_offset);

// The same for a physical file offset (preceding bytes not added): used to
// come back to a remembered place in the central directory.
int seek_physical(EngineContext& ctx, int64_t file_offset);

// Moves the input forward by n bytes from the current position (0, 3 or 51).
int skip_archive_bytes(EngineContext& ctx, int64_t n);

// The archive offset (preceding bytes not counted) of the next byte read.
int64_t archive_position(const EngineContext& ctx);

// Reads n bytes into dest through the input buffer. Returns n, fewer at the
// end of the file, 0 after a read error (which is reported).
uint32_t read_block(EngineContext& ctx, void* dest, uint32_t n);

// The byte reader's slow path; see read_entry_byte.
int read_entry_byte_slow(EngineContext& ctx);

// Next byte of the current entry's compressed data, or INPUT_EOF. The fast
// path lowers the unread count and takes the byte from the read pointer when
// the count was positive; otherwise the slow path refills (starting with an
// unread count of 0 or less).
inline int read_entry_byte(EngineContext& ctx) {
  if (ctx.unread_count-- > 0) return *ctx.read_ptr++;
  return read_entry_byte_slow(ctx);
}

// Bulk refill for decoders. When the unread count is 0 or less, does what
// the slow path does to get more data (read a block, set aside what lies
// beyond the entry, decrypt) without consuming a byte. Returns true when
// ctx.read_ptr / ctx.unread_count then hold at least one byte of the entry,
// false at the end of the entry's data (the remaining count then drops by
// one, as a slow-path read past the end would make it).
bool refill_entry_input(EngineContext& ctx);

// After a refill: keeps the bytes beyond the entry's remaining compressed
// count aside so that the decoders never see the next header.
void set_aside_leftover_input(EngineContext& ctx);

// After an entry: gives back what the decoders did not use and the bytes set
// aside, so input continues right after the entry's data.
void restore_deferred_input(EngineContext& ctx);
