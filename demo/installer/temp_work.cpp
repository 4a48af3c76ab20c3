// The scratch directory and the deletion list.
#include "temp_work.h"

#include <chrono>
#include <fstream>
#include <random>

#include "platform/code_page.h"
#include "record_writer.h"

namespace fs = std::filesystem;

namespace qelinst {

std::optional<fs::path> make_work_directory(const fs::path& temp_dir, std::string& error) {
  std::error_code ec;
  if (!fs::is_directory(temp_dir, ec)) {
    error = temp_dir.string() + " is not a directory";
    return std::nullopt;
  }
  std::mt19937_64 random(std::random_device{}() ^
                         static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "qelinst-%08llx", static_cast<unsigned long long>(random() & 0xFFFFFFFFu));
    const fs::path candidate = temp_dir / name;
    // create_directory fails on an existing name, so a planted one is never reused.
    if (fs::create_directory(candidate, ec)) return candidate;
    if (ec && ec != std::errc::file_exists) {
      error = "cannot create " + candidate.string() + ": " + ec.message();
      return std::nullopt;
    }
  }
  error = "no free name for a work directory in " + temp_dir.string();
  return std::nullopt;
}

bool add_to_delete_list(const fs::path& temp_dir, const fs::path& path, std::string& error) {
  const fs::path list = temp_dir / DELETE_LIST_NAME;
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(list, ec);
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    error = list.string() + " exists and is not a regular file; leaving it alone";
    return false;
  }
  // The launcher reads the list in the ANSI code page, or in UTF-8 behind
  // the UTF-8 byte-order mark. A new list gets the mark (a scratch folder
  // under a TEMP the ANSI code page cannot name must be listed too); a list
  // others began keeps its form.
  constexpr std::string_view mark = "\xEF\xBB\xBF";
  std::string head(mark.size(), '\0');
  std::ifstream existing(list, std::ios::binary);
  existing.read(head.data(), static_cast<std::streamsize>(head.size()));
  const std::streamsize had = existing ? static_cast<std::streamsize>(head.size()) : existing.gcount();
  existing.close();
  const std::string text = uninstall_record::PathText(path);
  std::string line;
  if (had == 0) {
    line = std::string(mark) + text;
  } else if (had == static_cast<std::streamsize>(mark.size()) && head == mark) {
    line = text;
  } else if (platform::code_page().fits_ansi(text)) {
    line = platform::code_page().utf8_to_ansi(text);
  } else {
    error = list.string() + " is in the ANSI code page, which cannot name " + text;
    return false;
  }
  std::ofstream out(list, std::ios::binary | std::ios::app);
  if (!out) {
    error = "cannot write " + list.string();
    return false;
  }
  // CR LF, which the launcher strips on every platform.
  out << line << "\r\n";
  out.close();
  if (!out) {
    error = "cannot write " + list.string();
    return false;
  }
  return true;
}

}  // namespace qelinst
