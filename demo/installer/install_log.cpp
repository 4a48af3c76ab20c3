// The installer's log.
#include "install_log.h"

#include "record_writer.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace qelinst {

InstallLog::InstallLog(const std::optional<std::string>& path) {
  if (!path) return;
  file_.open(uninstall_record::PathOf(*path), std::ios::out | std::ios::trunc);
  if (!file_) std::fprintf(stderr, "qelinst: cannot write the log file %s; going on without it\n", path->c_str());
}

void InstallLog::to_file(const char* level, const std::string& line) {
  if (!file_.is_open()) return;
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  char stamp[32] = "";
  if (const std::tm* t = std::localtime(&now)) std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", t);
  file_ << stamp << ' ' << level << ' ' << line << '\n';
  file_.flush();
}

void InstallLog::info(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
  to_file("INFO ", line);
}

void InstallLog::error(const std::string& line) {
  std::fprintf(stderr, "qelinst: %s\n", line.c_str());
  to_file("ERROR", line);
}

}  // namespace qelinst
