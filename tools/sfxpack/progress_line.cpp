// Drawing and erasing sfxpack's progress line.
#include "progress_line.h"

#include "platform/clock.h"

namespace sfxpack {
namespace {

constexpr uint64_t FIRST_DRAW_MS = 500;
constexpr uint64_t REDRAW_MS = 100;
constexpr int BAR_WIDTH = 24;

// The two counts in the unit that suits the total.
std::string byte_counts(uint64_t done, uint64_t total) {
  static const char* const units[] = {"KiB", "MiB", "GiB"};
  if (total < 1024) return std::to_string(done) + " of " + std::to_string(total) + " bytes";
  int unit = 0;
  double scale = 1024.0;
  while (unit < 2 && total >= scale * 1024.0) {
    scale *= 1024.0;
    ++unit;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.1f of %.1f %s", static_cast<double>(done) / scale,
                static_cast<double>(total) / scale, units[unit]);
  return text;
}

}  // namespace

std::string progress_text(const PackProgress& p) {
  const uint64_t done = p.done < p.total ? p.done : p.total;
  const int percent = p.total == 0 ? 100 : static_cast<int>(done * 100 / p.total);
  std::string bar(BAR_WIDTH, '.');
  bar.replace(0, static_cast<size_t>(percent * BAR_WIDTH / 100), static_cast<size_t>(percent * BAR_WIDTH / 100), '#');
  char head[64];
  std::snprintf(head, sizeof head, "%-8s [%s] %3d%%  ", p.phase == PackProgress::packing ? "packing" : "checking",
                bar.c_str(), percent);
  return head + byte_counts(done, p.total);
}

ProgressLine::ProgressLine(std::FILE* terminal)
    : terminal_(terminal), start_ms_(platform::monotonic_clock().now_ms()) {}

void ProgressLine::update(const PackProgress& progress) {
  const uint64_t now = platform::monotonic_clock().now_ms();
  if (now - start_ms_ < FIRST_DRAW_MS) return;
  if (drawn_width_ != 0 && progress.phase == drawn_phase_ && now - drawn_ms_ < REDRAW_MS) return;
  const std::string text = "sfxpack: " + progress_text(progress);
  // Blanks cover what a longer earlier line left.
  const size_t pad = drawn_width_ > text.size() ? drawn_width_ - text.size() : 0;
  std::fprintf(terminal_, "\r%s%*s", text.c_str(), static_cast<int>(pad), "");
  std::fflush(terminal_);
  drawn_width_ = text.size() + pad;
  drawn_ms_ = now;
  drawn_phase_ = progress.phase;
}

void ProgressLine::finish() {
  if (drawn_width_ == 0) return;
  std::fprintf(terminal_, "\r%*s\r", static_cast<int>(drawn_width_), "");
  std::fflush(terminal_);
  drawn_width_ = 0;
}

}  // namespace sfxpack
