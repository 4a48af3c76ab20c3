// Portable. No OS headers. The command-line splitting rules of command_line.h.
#include "platform/command_line.h"

namespace platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> split_command_line(std::string_view text) {
  std::vector<std::string> args;
  size_t i = 0;
  const size_t n = text.size();
  for (;;) {
    while (i < n && IsBlank(text[i])) ++i;
    if (i >= n) break;
    std::string arg;
    bool in_quotes = false;
    while (i < n && (in_quotes || !IsBlank(text[i]))) {
      char c = text[i];
      if (c == '\\') {
        size_t run = 0;
        while (i < n && text[i] == '\\') {
          ++run;
          ++i;
        }
        if (i < n && text[i] == '"') {
          arg.append(run / 2, '\\');
          if (run % 2 == 1) {
            arg.push_back('"');
            ++i;
            continue;
          }
          // An even run leaves the quote to the quote rule below.
        } else {
          arg.append(run, '\\');
          continue;
        }
        c = '"';
      }
      if (c == '"') {
        if (in_quotes && i + 1 < n && text[i + 1] == '"') {
          // A doubled quote inside quotes stands for one literal quote.
          arg.push_back('"');
          i += 2;
        } else {
          in_quotes = !in_quotes;
          ++i;
        }
        continue;
      }
      arg.push_back(c);
      ++i;
    }
    args.push_back(std::move(arg));
  }
  return args;
}

}  // namespace platform
