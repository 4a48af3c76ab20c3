// Test support: runs the decoders on memory, handing the input over in
// chunks of a chosen size (as the engine's 8 KiB buffer would, or a byte at
// a time) and collecting every flushed block.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "decoder_io.h"
#include "explode.h"
#include "inflate.h"

struct memory_decoder {
  std::vector<uint8_t> input;
  size_t given = 0;          // bytes handed to the buffer so far
  size_t chunk = 8192;       // bytes per refill
  int64_t overreads = 0;     // refills asked for past the end
  std::unique_ptr<uint8_t[]> chunk_buffer;  // the current chunk, exactly sized: a read past it is caught
  uint8_t* read_ptr = nullptr;
  int32_t unread_count = 0;
  std::vector<uint8_t> output;
  std::vector<uint32_t> flush_sizes;
  int flush_result = 0;          // returned by the flush numbered fail_at_flush
  size_t fail_at_flush = ~size_t(0);
  std::unique_ptr<uint8_t[]> window{new uint8_t[DECODER_WINDOW_SIZE]};
  // Optional: a destination of fixed size, as an in-memory expansion has.
  // Flushed blocks are copied into it unless they are in place already
  // (the decoder decoded straight into it); one that does not fit is
  // refused with 50, as the engine's memory sink does.
  std::unique_ptr<uint8_t[]> destination;  // exactly sized: a write past it is caught
  size_t destination_size = 0;
  size_t placed = 0;    // bytes of the destination flushed so far
  size_t in_place = 0;  // flushes whose block was where it belongs
  decoder_io io{};

  explicit memory_decoder(std::vector<uint8_t> data, size_t chunk_size = 8192)
      : input(std::move(data)), chunk(chunk_size) {
    io.read_ptr = &read_ptr;
    io.unread_count = &unread_count;
    io.refill = [](void* o) { return static_cast<memory_decoder*>(o)->refill(); };
    io.unloaded = [](void* o) {
      auto* m = static_cast<memory_decoder*>(o);
      return static_cast<int64_t>(m->input.size() - m->given) - m->overreads;
    };
    io.flush = [](void* o, const uint8_t* b, uint32_t n) {
      auto* m = static_cast<memory_decoder*>(o);
      m->flush_sizes.push_back(n);
      if (m->flush_sizes.size() - 1 == m->fail_at_flush) return m->flush_result;
      if (m->destination) {
        uint8_t* at = m->destination.get() + m->placed;
        if (b == at) {
          ++m->in_place;
        } else {
          if (n > m->destination_size - m->placed) return 50;
          if (n) std::memcpy(at, b, n);
        }
        m->placed += n;
      }
      m->output.insert(m->output.end(), b, b + n);
      return 0;
    };
    io.opaque = this;
    io.window = window.get();
    std::memset(window.get(), 0xAA, DECODER_WINDOW_SIZE);
  }
  // Output into a destination of `size` bytes; `direct` lets the decoder
  // decode straight into it.
  void use_destination(size_t size, bool direct) {
    destination.reset(new uint8_t[size ? size : 1]);
    destination_size = size;
    std::memset(destination.get(), 0x55, size);
    if (direct) {
      io.direct = destination.get();
      io.direct_size = static_cast<uint32_t>(size);
    }
  }
  bool refill() {
    if (given >= input.size()) {
      ++overreads;
      unread_count = 0;
      return false;
    }
    size_t n = std::min(chunk, input.size() - given);
    chunk_buffer.reset(new uint8_t[n]);
    std::memcpy(chunk_buffer.get(), input.data() + given, n);
    given += n;
    read_ptr = chunk_buffer.get();
    unread_count = static_cast<int32_t>(n);
    return true;
  }
  // Bytes still unread: buffered plus never handed over.
  int64_t input_left() const { return std::max<int32_t>(unread_count, 0) + int64_t(input.size() - given); }

  int inflate(int* tree_message = nullptr) {
    auto tables = std::make_unique<inflate_workspace>();
    int message = 0;
    int r = inflate_stream(io, *tables, &message);
    if (tree_message) *tree_message = message;
    return r;
  }
};

inline std::vector<uint8_t> bytes_of(const std::string& s) { return {s.begin(), s.end()}; }
