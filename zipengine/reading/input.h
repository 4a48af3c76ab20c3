// Portable. Reading the archive: positioned read, block read, and the byte
// reader that hands out the current entry's compressed data (decrypting an
// encrypted entry as the buffer is refilled and never going past the entry).
//
// The input buffer always holds an 8,192-byte block aligned to an 8,192-byte
// offset of the physical file, so a positioned read inside the current block
// costs no system call. An entry's data starts with what that block holds of
// it; the rest is read in large pieces into a buffer of its own, so that the
// next header's block is kept and a read is never shorter than it need be.
// Every read names its file offset: no reader depends on the file position,
// and contexts decoding on other threads can share the archive's handle.
#pragma once

#include <cstdint>

#include "context.h"

// End of data, as returned by the byte reader.
inline constexpr int INPUT_EOF = -1;

// The pieces in which entry data is read beyond the first block: a multiple
// of the 32 KiB flush block, so stored data can be flushed without a copy.
inline constexpr int32_t DATA_BUFFER_SIZE = 65536;

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

// Starts an entry's data at the current input position, `compressed` bytes
// long: from here the byte reader stops at its end, and the bytes of the
// buffer beyond it are set aside so that the decoders never see the next
// header.
void begin_entry_data(EngineContext& ctx, int64_t compressed);

// Starts an entry's data given by place: `compressed` bytes at physical
// offset `start`, of which the first `prefix_length` are at `prefix` (bytes
// another context already read; they must stay valid while they are used).
void begin_entry_data_at(EngineContext& ctx, int64_t start, int64_t compressed, const uint8_t* prefix,
                         int32_t prefix_length);

// Before any byte of a plain (not encrypted) entry is consumed: drops what
// the first block held of it, so that every later read starts at a multiple
// of DATA_BUFFER_SIZE from the data's start. Stored data is then flushed in
// whole blocks straight from the input. False when that is not possible.
bool align_entry_data(EngineContext& ctx);

// After an entry: gives back what the decoders did not use and the bytes set
// aside, so input continues right after the entry's data.
void restore_deferred_input(EngineContext& ctx);
