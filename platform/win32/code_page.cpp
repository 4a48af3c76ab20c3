// Win32 backend of platform/code_page.h: the system's ANSI and OEM code
// pages (OemToCharBuffA, CharToOemBuffA, MultiByteToWideChar), and UTF-8
// (WTF-8 towards UTF-16, as the rest of the backend carries names).
#include "platform/code_page.h"

#include <vector>

#include "../portable/unicode.h"
#include "windows_fwd.h"

namespace platform {
namespace {

UINT code_page_of(CodePageId id) { return id == CodePageId::oem ? CP_OEMCP : CP_ACP; }

// Copies `text` into out[0..capacity) with a terminating zero, never
// splitting a character; `length(text, i)` is the byte count of the
// character at text[i].
template <class Length>
Error copy_whole_characters(std::string_view text, Length length, char* out, size_t capacity, size_t& written) {
  written = 0;
  if (capacity == 0) return text.empty() ? Error::none : Error::name_too_long;
  Error result = Error::none;
  for (size_t i = 0; i < text.size();) {
    const size_t n = length(text, i);
    if (written + n + 1 > capacity) {
      result = Error::name_too_long;
      break;
    }
    for (size_t k = 0; k < n; ++k) out[written++] = text[i + k];
    i += n;
  }
  out[written] = '\0';
  return result;
}

// Never splitting a two-byte character of `page`.
Error copy_bounded(std::string_view text, UINT page, char* out, size_t capacity, size_t& written) {
  return copy_whole_characters(
      text,
      [page](std::string_view t, size_t i) -> size_t {
        return (IsDBCSLeadByteEx(page, static_cast<BYTE>(t[i])) && i + 1 < t.size()) ? 2 : 1;
      },
      out, capacity, written);
}

// Never splitting a UTF-8 character.
Error copy_bounded_utf8(std::string_view text, char* out, size_t capacity, size_t& written) {
  return copy_whole_characters(
      text,
      [](std::string_view t, size_t i) {
        size_t n = 1;
        while (i + n < t.size() && (static_cast<unsigned char>(t[i + n]) & 0xC0) == 0x80) ++n;
        return n;
      },
      out, capacity, written);
}

std::u16string page_to_utf16(std::string_view in, UINT page) {
  if (in.empty()) return {};
  int n = MultiByteToWideChar(page, 0, in.data(), static_cast<int>(in.size()), nullptr, 0);
  if (n <= 0) return {};
  std::u16string out(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(page, 0, in.data(), static_cast<int>(in.size()), reinterpret_cast<wchar_t*>(out.data()), n);
  return out;
}

// Characters the code page lacks become '?' (no best-fit stand-ins: "ü"
// must not turn into another name's "u"); `lossy` tells whether any did.
std::string utf16_to_page(std::u16string_view in, UINT page, bool* lossy = nullptr) {
  if (lossy) *lossy = false;
  if (in.empty()) return {};
  const wchar_t* w = reinterpret_cast<const wchar_t*>(in.data());
  BOOL used = FALSE;
  int n = WideCharToMultiByte(page, WC_NO_BEST_FIT_CHARS, w, static_cast<int>(in.size()), nullptr, 0, nullptr, &used);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(page, WC_NO_BEST_FIT_CHARS, w, static_cast<int>(in.size()), out.data(), n, nullptr, &used);
  if (lossy) *lossy = used != FALSE;
  return out;
}

class Win32CodePage final : public CodePage {
 public:
  Error oem_to_ansi(std::string_view in, char* out, size_t capacity, size_t& written) override {
    // The conversion keeps the byte count, so a same-sized scratch buffer
    // holds it whole before the bounded copy.
    std::vector<char> text(in.begin(), in.end());
    if (!text.empty() && !OemToCharBuffA(text.data(), text.data(), static_cast<DWORD>(text.size())))
      return Error::io;
    return copy_bounded(std::string_view(text.data(), text.size()), CP_ACP, out, capacity, written);
  }

  Error ansi_to_oem(std::string_view in, char* out, size_t capacity, size_t& written) override {
    std::vector<char> text(in.begin(), in.end());
    if (!text.empty() && !CharToOemBuffA(text.data(), text.data(), static_cast<DWORD>(text.size())))
      return Error::io;
    return copy_bounded(std::string_view(text.data(), text.size()), CP_OEMCP, out, capacity, written);
  }

  Error to_utf16(std::string_view in, CodePageId from, std::u16string& out) override {
    out.clear();
    if (in.empty()) return Error::none;
    UINT page = code_page_of(from);
    int n = MultiByteToWideChar(page, 0, in.data(), static_cast<int>(in.size()), nullptr, 0);
    if (n <= 0) return Error::io;
    out.resize(static_cast<size_t>(n));
    MultiByteToWideChar(page, 0, in.data(), static_cast<int>(in.size()), reinterpret_cast<wchar_t*>(out.data()), n);
    return Error::none;
  }

  Error from_utf16(std::u16string_view in, CodePageId to, std::string& out) override {
    out.clear();
    if (in.empty()) return Error::none;
    UINT page = code_page_of(to);
    const wchar_t* w = reinterpret_cast<const wchar_t*>(in.data());
    int n = WideCharToMultiByte(page, 0, w, static_cast<int>(in.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return Error::io;
    out.resize(static_cast<size_t>(n));
    WideCharToMultiByte(page, 0, w, static_cast<int>(in.size()), out.data(), n, nullptr, nullptr);
    return Error::none;
  }

  Error oem_to_utf8(std::string_view in, char* out, size_t capacity, size_t& written) override {
    return copy_bounded_utf8(unicode::utf16_to_wtf8(page_to_utf16(in, CP_OEMCP)), out, capacity, written);
  }

  Error utf8_to_oem(std::string_view in, char* out, size_t capacity, size_t& written) override {
    std::string oem = utf16_to_page(unicode::wtf8_to_utf16(in), CP_OEMCP);
    return copy_bounded(oem, CP_OEMCP, out, capacity, written);
  }

  std::string ansi_to_utf8(std::string_view in) override { return unicode::utf16_to_wtf8(page_to_utf16(in, CP_ACP)); }

  std::string utf8_to_ansi(std::string_view in) override { return utf16_to_page(unicode::wtf8_to_utf16(in), CP_ACP); }

  bool fits_ansi(std::string_view in) override {
    bool lossy = false;
    utf16_to_page(unicode::wtf8_to_utf16(in), CP_ACP, &lossy);
    return !lossy;
  }

  bool is_lead_byte(unsigned char) override { return false; }
};

}  // namespace

template <> CodePage& native<CodePage>() {
  static Win32CodePage instance;
  return instance;
}

}  // namespace platform
