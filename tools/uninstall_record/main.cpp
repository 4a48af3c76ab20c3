// uninstall_record: appends the uninstall record to a copy of `uninstall`
// (what the product's installer does), or shows the record a file carries.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/program_arguments.h"
#include "qel_version.h"
#include "record_writer.h"

namespace {

using uninstall_record::Record;

const char kUsage[] =
    "usage: uninstall_record append PROGRAM [--output COPY] [--replace] FIELDS...\n"
    "       uninstall_record show PROGRAM\n"
    "       uninstall_record --version\n"
    "\n"
    "append writes the record to COPY (a copy of PROGRAM), or to PROGRAM itself.\n"
    "FIELDS, each followed by its text (also accepted as --ProductName and so on):\n"
    "  --product-name      display name, e.g. \"Qel Lumenar Tarvik 1.4.2_02\"\n"
    "  --install-dir       installation directory, no trailing separator\n"
    "  --public-jre-dir    directory of the public runtime\n"
    "  --full-version      e.g. 1.4.2_02; gives the four parts below unless given\n"
    "  --version-major  --version-minor  --version-micro  --version-update\n"
    "  --is-jre            1 for a runtime, 0 for a development kit\n"
    "  --integrated        1 when integrated through the helper library, else 0\n"
    "  --start-menu-folder folder below the all-users programs folder\n"
    "  --uninstall-key     HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\NAME\n"
    "A field may hold no comma and may not be empty.\n";

// "--Product-Name", "--product_name" and "--ProductName" all name ProductName.
std::string Folded(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '-' || c == '_') continue;
    out.push_back((c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c);
  }
  return out;
}

int FieldOf(std::string_view option) {
  for (size_t i = 0; i < uninstall_record::kFieldCount; ++i) {
    if (Folded(option) == Folded(uninstall_record::FieldName(i))) return static_cast<int>(i);
  }
  return -1;
}

int Usage(const char* problem) {
  std::fprintf(stderr, "uninstall_record: %s\n\n%s", problem, kUsage);
  return 2;
}

// 1.4.2_02 -> 1, 4, 2, 02 for the parts the caller did not give.
void DeriveVersionParts(Record& r, const std::vector<bool>& given) {
  const std::string& full = r[uninstall_record::FullVersion];
  std::string parts[4];
  size_t part = 0;
  for (char c : full) {
    if ((c == '.' && part < 2) || (c == '_' && part == 2)) {
      ++part;
    } else {
      parts[part].push_back(c);
    }
  }
  const size_t fields[4] = {uninstall_record::VersionMajor, uninstall_record::VersionMinor,
                            uninstall_record::VersionMicro, uninstall_record::VersionUpdate};
  for (size_t i = 0; i < 4; ++i) {
    if (!given[fields[i]]) r[fields[i]] = parts[i];
  }
}

int Append(int argc, char** argv) {
  if (argc < 3) return Usage("append needs the program file");
  const std::string program = argv[2];
  std::string output = program;
  bool replace = false;
  Record record;
  std::vector<bool> given(uninstall_record::kFieldCount, false);
  for (int i = 3; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--replace") {
      replace = true;
      continue;
    }
    if (arg.substr(0, 2) != "--") return Usage(("unexpected argument \"" + std::string(arg) + "\"").c_str());
    if (i + 1 >= argc) return Usage(("no text after " + std::string(arg)).c_str());
    if (arg == "--output") {
      output = argv[++i];
      continue;
    }
    int field = FieldOf(arg.substr(2));
    if (field < 0) return Usage(("unknown option " + std::string(arg)).c_str());
    record[static_cast<size_t>(field)] = argv[++i];
    given[static_cast<size_t>(field)] = true;
  }
  if (given[uninstall_record::FullVersion]) DeriveVersionParts(record, given);
  for (size_t i = 0; i < uninstall_record::kFieldCount; ++i) {
    if (!given[i] && record[i].empty()) {
      std::fprintf(stderr, "uninstall_record: the record needs %s (--%s)\n", uninstall_record::FieldName(i),
                   uninstall_record::FieldName(i));
      return 1;
    }
  }
  std::string error;
  if (!uninstall_record::AppendRecordToFile(program, output, record, replace, error)) {
    std::fprintf(stderr, "uninstall_record: %s: %s\n", output.c_str(), error.c_str());
    return 1;
  }
  return 0;
}

int Show(int argc, char** argv) {
  if (argc != 3) return Usage("show needs exactly one program file");
  std::ifstream in(uninstall_record::PathOf(argv[2]), std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "uninstall_record: cannot open %s\n", argv[2]);
    return 1;
  }
  std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  int64_t offset = uninstall_record::RecordOffset(image);
  if (offset < 0) {
    std::fprintf(stderr, "uninstall_record: %s carries no uninstall record\n", argv[2]);
    return 1;
  }
  std::string_view text(image.data() + offset, image.size() - uninstall_record::kTrailerSize - offset);
  // The reader's splitting: runs of commas separate, empty fields vanish.
  size_t field = 0, pos = 0;
  while (field < uninstall_record::kFieldCount) {
    pos = text.find_first_not_of(',', pos);
    if (pos == std::string_view::npos) break;
    size_t end = text.find(',', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string value(text.substr(pos, end - pos));
    std::printf("%s=%s\n", uninstall_record::FieldName(field++), value.c_str());
    pos = end;
  }
  if (field < uninstall_record::kFieldCount) {
    std::fprintf(stderr, "uninstall_record: the record has only %zu fields\n", field);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Texts arrive in UTF-8 (Windows: from the UTF-16 command line).
  platform::ArgumentVector arguments(argc, argv);
  argc = arguments.argc();
  argv = arguments.argv();
  if (argc >= 2 && std::strcmp(argv[1], "append") == 0) return Append(argc, argv);
  if (argc >= 2 && std::strcmp(argv[1], "show") == 0) return Show(argc, argv);
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("uninstall_record %s\n", QEL_VERSION);
    return 0;
  }
  return Usage("name a command: append or show");
}
