// Portable. No OS headers.
//
// Text conversion between the ANSI and OEM code pages, UTF-8 and UTF-16. On
// Windows these are the system's code pages; on POSIX ANSI is UTF-8 and OEM
// is code page 437. Bounded conversions never write past the caller's buffer.
//
// The portable code carries all its text, paths included, in UTF-8 (on
// Windows WTF-8, so that every UTF-16 name the system lists survives). What
// arrives in a code page (entry names stored in OEM, AUTORUN.INF, the
// uninstall record) is converted once where it is read, with the *_utf8
// calls; on POSIX the ANSI forms of these are the bytes unchanged.
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

  // The same as oem_to_ansi, but to UTF-8; a text that does not fit is cut
  // before the first character that does not fit whole.
  virtual Error oem_to_utf8(std::string_view in, char* out, size_t capacity, size_t& written) = 0;
  // UTF-8 to OEM, bounded as above; characters with no OEM form become '?'.
  virtual Error utf8_to_oem(std::string_view in, char* out, size_t capacity, size_t& written) = 0;
  // ANSI to UTF-8 and back; characters with no ANSI form become '?'. POSIX:
  // the bytes unchanged (names there are bytes, never converted).
  virtual std::string ansi_to_utf8(std::string_view in) = 0;
  virtual std::string utf8_to_ansi(std::string_view in) = 0;
  // Whether every character of `in` (UTF-8) has an ANSI form.
  virtual bool fits_ansi(std::string_view in) = 0;

  // True when `byte` starts a two-byte character of the text the portable
  // code carries. That text is UTF-8, where no byte of a longer character
  // is below 0x80 (so none is taken for '\\' or '/'): always false on both
  // backends. Kept for the name rules that move such a character whole.
  virtual bool is_lead_byte(unsigned char byte) = 0;

  // Unbounded conveniences over the bounded calls.
  std::string oem_to_ansi_string(std::string_view in);
  std::string ansi_to_oem_string(std::string_view in);
  std::string oem_to_utf8_string(std::string_view in);
  // A text file's bytes in UTF-8: the file is in the ANSI code page, or in
  // UTF-8 when it starts with the UTF-8 byte-order mark (which is dropped),
  // so that a writer can name what the ANSI code page cannot.
  std::string text_file_to_utf8(std::string_view bytes);
};

inline CodePage& code_page() { return current<CodePage>(); }

}  // namespace platform
