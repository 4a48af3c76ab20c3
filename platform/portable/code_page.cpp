// Portable. No OS headers.
//
// The unbounded conversions of platform::CodePage, built on the bounded ones.
#include "platform/code_page.h"

#include <vector>

namespace platform {
namespace {

// Every OEM or ANSI character takes at most three bytes in the other code
// page (UTF-8 of a BMP character on POSIX; one or two bytes on Windows).
template <class Convert> std::string convert_all(std::string_view in, Convert convert) {
  std::vector<char> buf(in.size() * 3 + 1);
  size_t written = 0;
  convert(in, buf.data(), buf.size(), written);
  return std::string(buf.data(), written);
}

}  // namespace

std::string CodePage::oem_to_ansi_string(std::string_view in) {
  return convert_all(in, [this](std::string_view s, char* out, size_t cap, size_t& w) {
    return oem_to_ansi(s, out, cap, w);
  });
}

std::string CodePage::ansi_to_oem_string(std::string_view in) {
  return convert_all(in, [this](std::string_view s, char* out, size_t cap, size_t& w) {
    return ansi_to_oem(s, out, cap, w);
  });
}

std::string CodePage::text_file_to_utf8(std::string_view bytes) {
  constexpr std::string_view mark = "\xEF\xBB\xBF";
  if (bytes.substr(0, mark.size()) == mark) return std::string(bytes.substr(mark.size()));
  return ansi_to_utf8(bytes);
}

std::string CodePage::oem_to_utf8_string(std::string_view in) {
  return convert_all(in, [this](std::string_view s, char* out, size_t cap, size_t& w) {
    return oem_to_utf8(s, out, cap, w);
  });
}

}  // namespace platform
