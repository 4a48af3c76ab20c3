// Portable. Formatting of engine messages and the display form of names.
#include "messages.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "platform/code_page.h"

const char* const REPORT_TEXT =
    "  (please check that you have transferred or created the zipfile in the\n"
    "  appropriate BINARY mode and that you have built the engine properly)\n";

namespace {

int send_formatted(EngineContext& ctx, unsigned flags, const char* format, va_list args) {
  // Most messages fit the stack buffer; names and paths are bounded, but a
  // long message is formatted again on the heap rather than cut.
  char small[1024];
  va_list again;
  va_copy(again, args);
  int n = std::vsnprintf(small, sizeof small, format, args);
  if (n < 0) {
    va_end(again);
    return 0;
  }
  int answer;
  if (static_cast<size_t>(n) < sizeof small) {
    answer = ctx.message_hook(ctx, small, static_cast<uint32_t>(n), flags);
  } else {
    std::vector<char> big(static_cast<size_t>(n) + 1);
    std::vsnprintf(big.data(), big.size(), format, again);
    answer = ctx.message_hook(ctx, big.data(), static_cast<uint32_t>(n), flags);
  }
  va_end(again);
  return answer;
}

}  // namespace

int message(EngineContext& ctx, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int answer = send_formatted(ctx, MSG_PLAIN, format, args);
  va_end(args);
  return answer;
}

int message_flags(EngineContext& ctx, unsigned flags, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int answer = send_formatted(ctx, flags, format, args);
  va_end(args);
  return answer;
}

int message_bytes(EngineContext& ctx, const void* data, uint32_t length, unsigned flags) {
  return ctx.message_hook(ctx, static_cast<const char*>(data), length, flags);
}

std::string display_form(const char* name) {
  std::string out;
  if (!name) return out;
  auto& cp = platform::code_page();
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
    if (cp.is_lead_byte(*p) && p[1]) {
      out.push_back(static_cast<char>(p[0]));
      out.push_back(static_cast<char>(p[1]));
      ++p;
    } else if (*p < 32) {
      out.push_back('^');
      out.push_back(static_cast<char>(*p + 64));
    } else {
      out.push_back(static_cast<char>(*p));
    }
  }
  return out;
}
