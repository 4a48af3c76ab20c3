// Portable. The command-line front end over zipengine_run: lists, tests or
// extracts an archive with an option for every engine option, for users and
// for tests. The exit status is the engine's result code.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/program_arguments.h"
#include "platform/standard_streams.h"
#include "platform/terminal_prompt.h"
#include "qel_version.h"
#include "zipengine/zipengine.h"

namespace {

const char* const USAGE =
    "usage: zipengine list    [options] ARCHIVE [PATTERN...] [-x PATTERN...]\n"
    "       zipengine test    [options] ARCHIVE [PATTERN...] [-x PATTERN...]\n"
    "       zipengine extract [options] [-d DIR] ARCHIVE [PATTERN...] [-x PATTERN...]\n"
    "       zipengine comment ARCHIVE\n"
    "       zipengine info    [options] ARCHIVE [PATTERN...] [-x PATTERN...]\n"
    "\n"
    "ARCHIVE may hold the wildcards *, ? and [...]; every matching file is processed.\n"
    "PATTERNs select entries by their whole name (directories included); -x PATTERN...\n"
    "excludes entries (every argument after -x is an exclude pattern).\n"
    "\n"
    "list     one line per entry, tab-separated: uncompressed size, compressed size,\n"
    "         ratio (per cent saved, without sign), three date values in the order of\n"
    "         the locale (month day year by default, the year in two digits), hour,\n"
    "         minute, case mark ('^' or blank), name, method, CRC-32 (8 hex digits),\n"
    "         encryption mark ('E' or blank); then the line\n"
    "         total<TAB>uncompressed<TAB>compressed<TAB>ratio<TAB>count\n"
    "test     decompresses every selected entry and checks its CRC-32\n"
    "extract  writes the selected entries below DIR (default: the current directory)\n"
    "comment  shows the archive comment\n"
    "info     a detailed listing\n"
    "\n"
    "options:\n"
    "  -d, --directory DIR     extract below DIR (extract only)\n"
    "  -o, --overwrite         overwrite existing files without asking\n"
    "  -n, --never-overwrite   never overwrite existing files\n"
    "  -u, --update            replace existing files only by newer entries; also\n"
    "                          extract new ones\n"
    "  -f, --freshen           replace existing files by newer entries; extract\n"
    "                          nothing new\n"
    "  -j, --junk-paths        drop the directory part of entry names\n"
    "  -a, --text              convert line ends of entries marked as text\n"
    "  -aa, --text-all         convert line ends of every entry\n"
    "  -p, --to-stdout         write entry data to standard output, not to files\n"
    "                          (engine messages are mixed in unless -q is given)\n"
    "  -C, --ignore-case       patterns match without regard to letter case\n"
    "  -q, --quiet             fewer messages; repeat (-qq, -qqq) for fewer still\n"
    "      --quiet-level N     set the quiet level to N (0 to 3)\n"
    "  -P, --password PW       the password of encrypted entries (without it, the\n"
    "                          password is asked for on the terminal)\n"
    "  -X, --restore-security  restore stored Windows security descriptors;\n"
    "  -XX                     also using privileges\n"
    "  -s, --spaces-to-underscores  blanks in names become underscores\n"
    "  -h, --help              this text\n"
    "      --version           the version of this program\n"
    "\n"
    "Existing files are asked about on the terminal (yes, no, all, none, rename)\n"
    "unless -o, -n, -u or -f decides; without a terminal the answer is no.\n"
    "Engine messages go to standard error; listings, comments, the info listing\n"
    "and --to-stdout data go to standard output.\n"
    "The exit status is the engine's result code (0 success, 1 warnings, 2 errors,\n"
    "3 severe errors, 9 no archive, 11 nothing found, 50 disk full, 51 early end,\n"
    "80 cancelled, 81 unsupported entries skipped, 82 bad passwords); 64 means a\n"
    "bad command line.\n";

// Exit status of a bad command line, apart from every engine result code.
constexpr int EXIT_USAGE = 64;

// The callbacks carry no user data: the tool's choices live here.
FILE* g_print_stream = stderr;
std::string g_password;
bool g_have_password = false;
bool g_never_overwrite = false;

int print_text(const char* text, uint32_t length) {
  if (length) std::fwrite(text, 1, length, g_print_stream);
  std::fflush(g_print_stream);
  return static_cast<int>(length);
}

int ask_replace(char* name) {
  if (g_never_overwrite) return REPLACE_NONE;
  std::string answer;
  for (;;) {
    std::string prompt = std::string("replace ") + name + "? [y]es, [n]o, [A]ll, [N]one, [r]ename: ";
    if (!platform::terminal_prompt().ask(prompt, true, answer)) return REPLACE_NO;
    if (answer == "y" || answer == "Y" || answer == "yes") return 0;
    if (answer == "n" || answer == "no") return REPLACE_NO;
    if (answer == "A" || answer == "all") return REPLACE_ALL;
    if (answer == "N" || answer == "none") return REPLACE_NONE;
    if (answer == "r" || answer == "rename") {
      std::string new_name;
      if (!platform::terminal_prompt().ask("new name: ", true, new_name) || new_name.empty()) return REPLACE_NO;
      if (new_name.size() >= ZIPENGINE_NAME_SIZE) new_name.resize(ZIPENGINE_NAME_SIZE - 1);
      std::memcpy(name, new_name.c_str(), new_name.size() + 1);
      return REPLACE_RENAME;
    }
  }
}

int ask_password(char* buffer, int size, const char* prompt, const char* entry_name) {
  bool first = std::strcmp(prompt, "Enter password for: ") == 0;
  if (g_have_password) {
    // The given password is offered once per entry; a wrong one is not
    // asked for again.
    if (!first) return -1;
    std::snprintf(buffer, static_cast<size_t>(size), "%s", g_password.c_str());
    return 0;
  }
  std::string answer;
  std::string text = std::string(prompt) + (first ? std::string(entry_name) + " " : "");
  if (!platform::terminal_prompt().ask(text, false, answer)) return -1;
  std::snprintf(buffer, static_cast<size_t>(size), "%s", answer.c_str());
  return 0;
}

// Sizes in full, also beyond 4 GiB.
void list_line(uint64_t uncompressed, uint64_t compressed, int ratio, int d1, int d2, int d3, int hour, int minute,
               char case_mark, const char* name, const char* method, uint32_t crc, char encryption_mark) {
  std::printf("%llu\t%llu\t%d\t%d\t%d\t%d\t%d\t%d\t%c\t%s\t%s\t%08lx\t%c\n",
              static_cast<unsigned long long>(uncompressed), static_cast<unsigned long long>(compressed), ratio, d1, d2, d3, hour, minute, case_mark, name, method,
              static_cast<unsigned long>(crc), encryption_mark);
}

int usage_error(const char* what) {
  std::fprintf(stderr, "zipengine: %s\n\n%s", what, USAGE);
  return EXIT_USAGE;
}

}  // namespace

int main(int argc, char** argv) {
  // Names arrive in UTF-8, as the engine carries them.
  platform::ArgumentVector arguments(argc, argv);
  argc = arguments.argc();
  argv = arguments.argv();
  if (argc < 2) return usage_error("no command given");
  std::string command = argv[1];
  if (command == "-h" || command == "--help" || command == "help") {
    std::fputs(USAGE, stdout);
    return 0;
  }
  if (command == "--version") {
    std::printf("zipengine %s\n", QEL_VERSION);
    return 0;
  }
  EngineOptions o{};
  o.keep_paths = 1;
  o.prompt_to_overwrite = 1;
  if (command == "list")
    o.list_contents = 1;
  else if (command == "test")
    o.test_only = 1;
  else if (command == "comment")
    o.show_comment = 1;
  else if (command == "info")
    o.info_listing = 1;
  else if (command != "extract")
    return usage_error(("unknown command " + command).c_str());

  std::string archive, directory;
  bool have_directory = false;
  std::vector<std::string> includes, excludes;
  bool in_excludes = false;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](const char* what) -> const char* {
      if (i + 1 >= argc) return nullptr;
      (void)what;
      return argv[++i];
    };
    if (a == "-x") {
      in_excludes = true;
    } else if (a == "-h" || a == "--help") {
      std::fputs(USAGE, stdout);
      return 0;
    } else if (a == "-d" || a == "--directory") {
      const char* v = value("directory");
      if (!v) return usage_error("-d needs a directory");
      directory = v;
      have_directory = true;
    } else if (a == "-P" || a == "--password") {
      const char* v = value("password");
      if (!v) return usage_error("--password needs a value");
      g_password = v;
      g_have_password = true;
    } else if (a == "--quiet-level") {
      const char* v = value("level");
      if (!v) return usage_error("--quiet-level needs a number");
      o.quiet_level = std::atoi(v);
    } else if (a == "-o" || a == "--overwrite") {
      o.overwrite_always = 1;
    } else if (a == "-n" || a == "--never-overwrite") {
      g_never_overwrite = true;
    } else if (a == "-u" || a == "--update") {
      o.extract_only_newer = 1;
    } else if (a == "-f" || a == "--freshen") {
      o.freshen = 1;
    } else if (a == "-j" || a == "--junk-paths") {
      o.keep_paths = 0;
    } else if (a == "-a" || a == "--text") {
      o.text_conversion = 1;
    } else if (a == "-aa" || a == "--text-all") {
      o.text_conversion = 2;
    } else if (a == "-p" || a == "--to-stdout") {
      o.data_to_print = 1;
    } else if (a == "-C" || a == "--ignore-case") {
      o.ignore_case = 1;
    } else if (a == "-q" || a == "--quiet") {
      ++o.quiet_level;
    } else if (a == "-qq") {
      o.quiet_level += 2;
    } else if (a == "-qqq") {
      o.quiet_level += 3;
    } else if (a == "-X" || a == "--restore-security") {
      o.restore_security = 1;
    } else if (a == "-XX") {
      o.restore_security = 2;
    } else if (a == "-s" || a == "--spaces-to-underscores") {
      o.spaces_to_underscores = 1;
    } else if (a.size() > 1 && a[0] == '-' && archive.empty()) {
      return usage_error(("unknown option " + a).c_str());
    } else if (archive.empty()) {
      archive = a;
    } else if (in_excludes) {
      excludes.push_back(a);
    } else {
      includes.push_back(a);
    }
  }
  if (archive.empty()) return usage_error("no archive given");
  if (have_directory && command != "extract") return usage_error("-d is for extract only");
  o.archive_path = archive.c_str();
  o.target_directory = have_directory ? directory.c_str() : nullptr;
  if (o.data_to_print || o.show_comment || o.info_listing) g_print_stream = stdout;
  // Entry data goes out byte for byte (Windows would turn each LF into CR LF).
  if (o.data_to_print) platform::standard_streams().use_binary(platform::StandardStream::output);

  std::vector<const char*> inc, exc;
  for (auto& s : includes) inc.push_back(s.c_str());
  for (auto& s : excludes) exc.push_back(s.c_str());

  EngineCallbacks cb{};
  cb.print = print_text;
  cb.replace = ask_replace;
  cb.password = ask_password;
  cb.list_entry64 = list_line;
  int rc = zipengine_run(static_cast<int>(inc.size()), inc.empty() ? nullptr : inc.data(), static_cast<int>(exc.size()),
                         exc.empty() ? nullptr : exc.data(), &o, &cb);
  if (o.list_contents) {
    std::printf("total\t%llu\t%llu\t%d\t%lu\n", static_cast<unsigned long long>(cb.total_uncompressed64),
                static_cast<unsigned long long>(cb.total_compressed64), static_cast<int>(cb.total_ratio),
                static_cast<unsigned long>(cb.entry_count));
  }
  std::fflush(stdout);
  return rc;
}
