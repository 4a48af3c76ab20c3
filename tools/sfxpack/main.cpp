// sfxpack: makes a self-extracting installer from setupstub and a payload
// directory (or a ready ZIP), or a plain ZIP archive for nesting inside one.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "pack_error.h"
#include "platform/environment.h"
#include "platform/standard_streams.h"
#include "progress_line.h"
#include "qel_version.h"
#include "reproducible_pack.h"
#include "sfx_builder.h"

namespace {

const char USAGE[] =
    "usage: sfxpack [options] STUB SOURCE OUTPUT   make a self-extracting installer\n"
    "       sfxpack [options] --zip SOURCE OUTPUT  make a plain ZIP archive\n"
    "\n"
    "SOURCE is a directory, whose contents become the archive, or a ZIP file,\n"
    "whose entries are copied as they are. An installer's payload must hold\n"
    "AUTORUN.INF at its root (CR LF line ends, SILENT=, CONSOLE= and OPEN=\n"
    "commands, and every archive named in UNZIP= present).\n"
    "\n"
    "options:\n"
    "  -0 ... -9     Deflate level (default 6; -0 stores every file)\n"
    "  --no-verify   do not list and test the result with the launcher's engine\n"
    "  -q, --quiet   print only warnings and errors (no progress line either;\n"
    "                the line is drawn only when standard error is a terminal)\n"
    "  -h, --help    show this text\n"
    "  --version     show the version\n"
    "\n"
    "With SOURCE_DATE_EPOCH set (seconds since 1970), every stored time is\n"
    "clamped to it and written as UTC, and permission bits are stored without\n"
    "the packing machine's umask: the same tree gives the same bytes.\n"
    "Exit status: 0 done, 1 the installer could not be made, 2 bad usage.\n";

}  // namespace

int main(int argc, char** argv) {
  sfxpack::PackOptions options;
  bool zip_only = false;
  bool quiet = false;
  std::vector<std::string> operands;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-h" || a == "--help") {
      std::fputs(USAGE, stdout);
      return 0;
    } else if (a == "--version") {
      std::printf("sfxpack %s\n", QEL_VERSION);
      return 0;
    } else if (a == "--zip") {
      zip_only = true;
    } else if (a == "--no-verify") {
      options.verify = false;
    } else if (a == "-q" || a == "--quiet") {
      quiet = true;
    } else if (a.size() == 2 && a[0] == '-' && a[1] >= '0' && a[1] <= '9') {
      options.level = a[1] - '0';
    } else if (a == "--") {
      for (++i; i < argc; ++i) operands.push_back(argv[i]);
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "sfxpack: unknown option %s\n\n%s", a.c_str(), USAGE);
      return 2;
    } else {
      operands.push_back(a);
    }
  }
  const size_t wanted = zip_only ? 2 : 3;
  if (operands.size() != wanted) {
    std::fprintf(stderr, "sfxpack: expected %zu file names, got %zu\n\n%s", wanted, operands.size(), USAGE);
    return 2;
  }
  size_t next = 0;
  if (!zip_only) options.stub = operands[next++];
  options.source = operands[next++];
  options.output = operands[next++];

  try {
    options.source_date_epoch = sfxpack::parse_source_date_epoch(platform::environment().get("SOURCE_DATE_EPOCH"));
  } catch (const sfxpack::PackError& e) {
    std::fprintf(stderr, "sfxpack: %s\n", e.what());
    return 2;
  }
  std::optional<sfxpack::ProgressLine> progress;
  if (!quiet && platform::standard_streams().is_terminal(platform::StandardStream::error)) {
    progress.emplace(stderr);
    options.progress = [&](const sfxpack::PackProgress& p) { progress->update(p); };
  }

  try {
    const sfxpack::PackResult r = sfxpack::pack(options);
    if (progress) progress->finish();
    for (const std::string& w : r.warnings) std::fprintf(stderr, "sfxpack: warning: %s\n", w.c_str());
    if (!quiet) {
      for (const std::string& n : r.notes) std::printf("sfxpack: note: %s\n", n.c_str());
      std::printf("sfxpack: wrote %s: %zu entries, %llu bytes of data in %llu bytes",
                  options.output.string().c_str(), r.entries, static_cast<unsigned long long>(r.uncompressed_bytes),
                  static_cast<unsigned long long>(r.output_bytes - r.stub_bytes));
      if (options.stub) std::printf(" after a %llu-byte stub", static_cast<unsigned long long>(r.stub_bytes));
      std::printf("%s\n", options.verify && r.notes.empty() ? ", checked with the engine" : "");
    }
    return 0;
  } catch (const std::exception& e) {
    if (progress) progress->finish();
    std::fprintf(stderr, "sfxpack: %s\n", e.what());
  }
  return 1;
}
