// Win32 backend of platform/code_page.h: the system's ANSI and OEM code
// pages (OemToCharBuffA, CharToOemBuffA, MultiByteToWideChar).
#include "platform/code_page.h"

#include <vector>

#include "windows_fwd.h"

namespace platform {
namespace {

UINT code_page_of(CodePageId id) { return id == CodePageId::oem ? CP_OEMCP : CP_ACP; }

// Copies the converted text into out[0..capacity) with a terminating zero,
// never splitting a two-byte character of `page`.
Error copy_bounded(const std::vector<char>& text, UINT page, char* out, size_t capacity, size_t& written) {
  written = 0;
  if (capacity == 0) return text.empty() ? Error::none : Error::name_too_long;
  Error result = Error::none;
  for (size_t i = 0; i < text.size();) {
    size_t n = (IsDBCSLeadByteEx(page, static_cast<BYTE>(text[i])) && i + 1 < text.size()) ? 2 : 1;
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

class Win32CodePage final : public CodePage {
 public:
  Error oem_to_ansi(std::string_view in, char* out, size_t capacity, size_t& written) override {
    // The conversion keeps the byte count, so a same-sized scratch buffer
    // holds it whole before the bounded copy.
    std::vector<char> text(in.begin(), in.end());
    if (!text.empty() && !OemToCharBuffA(text.data(), text.data(), static_cast<DWORD>(text.size())))
      return Error::io;
    return copy_bounded(text, CP_ACP, out, capacity, written);
  }

  Error ansi_to_oem(std::string_view in, char* out, size_t capacity, size_t& written) override {
    std::vector<char> text(in.begin(), in.end());
    if (!text.empty() && !CharToOemBuffA(text.data(), text.data(), static_cast<DWORD>(text.size())))
      return Error::io;
    return copy_bounded(text, CP_OEMCP, out, capacity, written);
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

  bool is_lead_byte(unsigned char byte) override { return IsDBCSLeadByte(byte) != 0; }
};

}  // namespace

template <> CodePage& native<CodePage>() {
  static Win32CodePage instance;
  return instance;
}

}  // namespace platform
