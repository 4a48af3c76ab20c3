// The output side of extraction: opening an entry's output file, the flush
// that every decoder hands its blocks to, and the raw stream write.
#pragma once

#include <cstdint>

struct EngineContext;

// Opens the entry's output file, named by the output-name buffer. An existing
// file (or symbolic link) of that name is removed first, made writable when
// it is read-only; a link is never written through. 0, or 1 after the
// message "error:  cannot delete old %s" or "error:  cannot create %s".
int open_output_file(EngineContext& ctx);

// Returned by flush_output when a block goes past the entry's declared
// uncompressed size: the decoders pass it on like any flush result and stop
// at once. It never leaves the engine (the entry becomes an error).
inline constexpr int OUTPUT_PAST_SIZE = 60;

// Takes one block of decompressed data (at most 32,768 bytes): updates the
// entry's CRC-32, reports progress stage 2 (80 when the caller cancels),
// converts line ends for text entries and writes the block to the output
// file, or to the print callback when data_to_print is set. Only the part
// of the block within the entry's declared size is taken. 0, 50 after a
// failed write (the disk-full state is then 2), 60 when the block went past
// the declared size, or 80.
int flush_output(EngineContext& ctx, const uint8_t* block, uint32_t length);

// Writes bytes to the output file with one system call (no buffering), or
// hands them to print when the output is the print route. The count written.
uint32_t stream_write(EngineContext& ctx, const uint8_t* data, uint32_t length);
