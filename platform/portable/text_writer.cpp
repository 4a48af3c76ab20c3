// Portable. No OS headers. Text-mode writing over platform::File.
#include "platform/text_file.h"

namespace platform {

void TextWriter::write(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 16);
  for (char c : text) {
    if (c == '\n')
      out.append(line_end_);
    else
      out.push_back(c);
  }
  size_t done = 0;
  while (ok_ && done < out.size()) {
    IoResult r = file_.write(out.data() + done, out.size() - done);
    if (!r.ok() || r.value <= 0) ok_ = false;
    done += static_cast<size_t>(r.value > 0 ? r.value : 0);
  }
}

}  // namespace platform
