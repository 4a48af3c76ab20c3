// Portable. No OS headers.
//
// Text conversion between the ANSI and OEM code pages and UTF-16. On Windows
// these are the system's code pages; on POSIX ANSI is UTF-8 and OEM is code
// page 437. Bounded conversions never write past the caller's buffer.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/service.h"

namespace platform {

enum class CodePageId { ansi, oem };

class CodePage {
 public:
  virtual ~CodePage() = default;

  // Converts `in` (OEM) to ANSI into out[0..capacity): at most capacity - 1
  // bytes and a terminating zero (nothing at all when capacity is 0).
  // `written`: the bytes stored, without the zero. A text that does not fit
  // is cut before the first character that does not fit whole, and the
  // result is name_too_long. Characters with no ANSI form become '?'.
  virtual Error oem_to_ansi(std::string_view in, char* out, size_t capacity, size_t& written) = 0;
  // The same from ANSI to OEM.
  virtual Error ansi_to_oem(std::string_view in, char* out, size_t capacity, size_t& written) = 0;

  // Converts bytes in the given code page to UTF-16 (MultiByteToWideChar).
  // Bytes that are no character become U+FFFD on POSIX.
  virtual Error to_utf16(std::string_view in, CodePageId from, std::u16string& out) = 0;
  // Converts UTF-16 to bytes in the given code page (WideCharToMultiByte);
  // characters with no form there become '?'.
  virtual Error from_utf16(std::u16string_view in, CodePageId to, std::string& out) = 0;

  // True when `byte` starts a two-byte character of the ANSI code page
  // (IsDBCSLeadByte). Always false on POSIX.
  virtual bool is_lead_byte(unsigned char byte) = 0;

  // Unbounded conveniences over the bounded calls.
  std::string oem_to_ansi_string(std::string_view in);
  std::string ansi_to_oem_string(std::string_view in);
};

inline CodePage& code_page() { return current<CodePage>(); }

}  // namespace platform
