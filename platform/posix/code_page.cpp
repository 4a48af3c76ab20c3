// POSIX backend of platform/code_page.h: ANSI is UTF-8, OEM is code page 437.
#include "platform/code_page.h"

#include "../portable/unicode.h"

namespace platform {
namespace {

// Stores `bytes` (one whole character) if it fits before the terminating
// zero; false when it does not.
bool put(char* out, size_t capacity, size_t& written, const char* bytes, size_t n) {
  if (written + n + 1 > capacity) return false;
  for (size_t k = 0; k < n; ++k) out[written++] = bytes[k];
  return true;
}

class PosixCodePage final : public CodePage {
 public:
  Error oem_to_ansi(std::string_view in, char* out, size_t capacity, size_t& written) override {
    written = 0;
    if (capacity == 0) return in.empty() ? Error::none : Error::name_too_long;
    Error result = Error::none;
    std::string utf8;
    for (unsigned char b : in) {
      utf8.clear();
      unicode::append_utf8(utf8, unicode::cp437_to_unicode(b));
      if (!put(out, capacity, written, utf8.data(), utf8.size())) {
        result = Error::name_too_long;
        break;
      }
    }
    out[written] = '\0';
    return result;
  }

  Error ansi_to_oem(std::string_view in, char* out, size_t capacity, size_t& written) override {
    written = 0;
    if (capacity == 0) return in.empty() ? Error::none : Error::name_too_long;
    Error result = Error::none;
    for (size_t i = 0; i < in.size();) {
      bool valid;
      char32_t c = unicode::decode_utf8(in, i, valid);
      int b = valid ? unicode::unicode_to_cp437(c) : -1;
      char byte = b < 0 ? '?' : static_cast<char>(b);
      if (!put(out, capacity, written, &byte, 1)) {
        result = Error::name_too_long;
        break;
      }
    }
    out[written] = '\0';
    return result;
  }

  Error to_utf16(std::string_view in, CodePageId from, std::u16string& out) override {
    if (from == CodePageId::ansi) {
      out = unicode::utf8_to_utf16(in);
      return Error::none;
    }
    out.clear();
    out.reserve(in.size());
    for (unsigned char b : in) out += static_cast<char16_t>(unicode::cp437_to_unicode(b));
    return Error::none;
  }

  Error from_utf16(std::u16string_view in, CodePageId to, std::string& out) override {
    if (to == CodePageId::ansi) {
      out = unicode::utf16_to_utf8(in);
      return Error::none;
    }
    out.clear();
    out.reserve(in.size());
    for (char16_t c : in) {
      int b = unicode::unicode_to_cp437(c);
      out += b < 0 ? '?' : static_cast<char>(b);
    }
    return Error::none;
  }

  // ANSI is UTF-8 here.
  Error oem_to_utf8(std::string_view in, char* out, size_t capacity, size_t& written) override {
    return oem_to_ansi(in, out, capacity, written);
  }
  Error utf8_to_oem(std::string_view in, char* out, size_t capacity, size_t& written) override {
    return ansi_to_oem(in, out, capacity, written);
  }
  std::string ansi_to_utf8(std::string_view in) override { return std::string(in); }
  std::string utf8_to_ansi(std::string_view in) override { return std::string(in); }
  bool fits_ansi(std::string_view) override { return true; }

  bool is_lead_byte(unsigned char) override { return false; }
};

}  // namespace

template <> CodePage& native<CodePage>() {
  static PosixCodePage instance;
  return instance;
}

}  // namespace platform
