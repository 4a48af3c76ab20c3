// The progress line sfxpack draws on a terminal while it packs a large
// tree: the phase, a bar, the per cent and the bytes done, redrawn in place
// (carriage return) at most ten times a second and erased at the end, so
// that the summary follows on a clean line. A pack that is over within half
// a second shows nothing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "sfx_builder.h"

namespace sfxpack {

// "packing  [#########...............]  37%  17.8 of 48.0 MiB"
std::string progress_text(const PackProgress& progress);

class ProgressLine {
 public:
  explicit ProgressLine(std::FILE* terminal);
  ~ProgressLine() { finish(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void update(const PackProgress& progress);
  // Erases the line, if one was drawn; call before writing anything else.
  void finish();

 private:
  std::FILE* terminal_;
  uint64_t start_ms_;
  uint64_t drawn_ms_ = 0;
  size_t drawn_width_ = 0;  // 0: nothing on the screen
  PackProgress::Phase drawn_phase_ = PackProgress::packing;
};

}  // namespace sfxpack
