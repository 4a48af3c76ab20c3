// Output names. mapname walks an entry name character by character, maps
// what Windows names cannot hold, and drives checkdir, which assembles the
// path below the target root and creates its directories once each.
#include "mapname.h"

#include <cctype>
#include <cstring>
#include <new>
#include <string>

#include "context.h"
#include "file_metadata.h"
#include "messages.h"
#include "platform/code_page.h"
#include "platform/file_system.h"
#include "volume.h"

namespace {

// The long form may not pass this length once a directory is added.
constexpr size_t DIRECTORY_LENGTH_LIMIT = 257;
// Nor reach this one while the file name is added.
constexpr size_t NAME_LENGTH_LIMIT = NAME_BUFFER_SIZE;
// The longest target root (without its final '/'): with the '/' and one
// character of a name it still fits the name buffer.
constexpr size_t ROOT_LENGTH_LIMIT = NAME_LENGTH_LIMIT - 3;

bool is_separator(char c) { return c == '/' || c == '\\'; }

bool is_drive_prefix(const std::string& s, size_t at) {
  return at + 1 < s.size() && std::isalpha(static_cast<unsigned char>(s[at])) && s[at + 1] == ':';
}

void release_builders(path_state& ps) {
  ps.building = false;
  ps.long_form.clear();
  ps.short_form.clear();
}

// A component that leads out of its directory once the OS has read it:
// "..", and on Windows also forms like ".. " or "...", whose trailing dots
// and blanks are dropped there. Control characters are dropped by the
// mapping before the name is used, so they are ignored here as well.
bool leads_upward(const std::string& name, size_t begin, size_t end) {
  int dots = 0;
  for (size_t i = begin; i < end; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 32) continue;
    if (c == '.')
      ++dots;
    else if (c != ' ')
      return false;
  }
  return dots >= 2;
}

bool has_upward_component(const std::string& name, size_t from) {
  size_t begin = from;
  for (size_t i = from; i <= name.size(); ++i) {
    if (i == name.size() || is_separator(name[i])) {
      if (leads_upward(name, begin, i)) return true;
      begin = i + 1;
    }
  }
  return false;
}

// The 8.3 form of one component, for volumes that take only short names.
std::string map_8_3(const std::string& component) {
  if (component == ".") return std::string();
  if (component == "..") return component;
  std::string s = component;
  long last_dot = -1;
  for (size_t i = 0; i < s.size(); ++i) {
    char& c = s[i];
    if (c == '[' || c == ']' || c == '+' || c == ',' || c == ';' || c == '=') {
      c = '_';
    } else if (c == '.') {
      c = '_';
      if (i > 0) last_dot = static_cast<long>(i);
    }
  }
  if (last_dot < 0) {
    size_t u = s.rfind('_');
    if (u != std::string::npos) {
      size_t before = u, after = s.size() - u - 1;
      if ((before < 8 ? before : 8) + (after < 3 ? after : 3) > 8) last_dot = static_cast<long>(u);
    }
    if (last_dot < 0) {
      if (s.size() > 8) s.resize(8);
      return s;
    }
  }
  size_t dot = static_cast<size_t>(last_dot);
  s[dot] = '.';
  if (dot > 8) {
    std::string ext = s.substr(dot, 4);
    s = s.substr(0, 8) + ext;
    dot = 8;
  } else if (s.size() - dot - 1 > 3) {
    s.resize(dot + 4);
  }
  if (dot > 0 && s[dot - 1] == ' ') s[dot - 1] = '_';
  return s;
}

void append_component(EngineContext& ctx, const std::string& component) {
  path_state& ps = ctx.path;
  if (query_volume(ctx, ps.long_form).old_fat)
    ps.short_form += map_8_3(component);
  else
    ps.short_form += component;
}

int add_directory(EngineContext& ctx, const char* component) {
  path_state& ps = ctx.path;
  if (!ps.building) return 3;
  ps.long_form += component;
  append_component(ctx, component);
  bool too_long = ps.long_form.size() > DIRECTORY_LENGTH_LIMIT;
  // A directory this run already saw needs no new look at the disk.
  bool known = ps.known_directory.size() > ps.short_form.size() &&
               ps.known_directory.compare(0, ps.short_form.size(), ps.short_form) == 0 &&
               ps.known_directory[ps.short_form.size()] == '/';
  if (!known) {
    auto& fs = platform::file_system();
    platform::FileStatus st;
    if (fs.status(ps.short_form, st) != platform::Error::none) st.kind = platform::FileKind::missing;
    if (st.kind == platform::FileKind::missing) {
      if (!ctx.create_directories) {
        release_builders(ps);
        return 2;
      }
      if (too_long) {
        message(ctx, "checkdir error:  path too long: %s\n", display_form(ps.long_form.c_str()).c_str());
        release_builders(ps);
        return 4;
      }
      platform::Error e = fs.create_directory(ps.short_form);
      if (e != platform::Error::none && e != platform::Error::already_exists) {
        message(ctx, "checkdir error:  cannot create %s\n                 unable to process %s.\n",
                display_form(ps.short_form.c_str()).c_str(), display_form(ctx.output_name).c_str());
        release_builders(ps);
        return 3;
      }
      if (e == platform::Error::none) ps.created_directory = true;
    } else if (st.kind != platform::FileKind::directory) {
      // A symbolic link counts as "not a directory": the path is never
      // continued through it.
      message(ctx, "checkdir error:  %s exists but is not directory\n                 unable to process %s.\n",
              display_form(ps.short_form.c_str()).c_str(), display_form(ctx.output_name).c_str());
      release_builders(ps);
      return 3;
    }
  }
  if (too_long) {
    message(ctx, "checkdir error:  path too long: %s\n", display_form(ps.long_form.c_str()).c_str());
    release_builders(ps);
    return 4;
  }
  ps.long_form += '/';
  ps.short_form += '/';
  if (!known) ps.known_directory = ps.short_form;
  return 0;
}

int add_name(EngineContext& ctx, const char* component) {
  path_state& ps = ctx.path;
  if (!ps.building) return 3;
  int result = 0;
  for (const char* p = component; *p; ++p) {
    ps.long_form += *p;
    if (ps.long_form.size() >= NAME_LENGTH_LIMIT) {
      ps.long_form.pop_back();
      message(ctx, "checkdir warning:  path too long; truncating\n                   %s\n                -> %s\n",
              display_form(ctx.output_name).c_str(), display_form(ps.long_form.c_str()).c_str());
      result = 1;
    }
  }
  append_component(ctx, component);
  return result;
}

int finish(EngineContext& ctx, char* destination) {
  path_state& ps = ctx.path;
  if (!ps.building) return 0;
  // The output-name buffer holds 259 characters: a short form that does not
  // fit (a long name on a volume without 8.3 names) gives way to the long
  // form, which the length rule has cut to fit.
  const std::string& chosen = ps.short_form.size() < NAME_BUFFER_SIZE ? ps.short_form : ps.long_form;
  size_t n = chosen.size() < NAME_BUFFER_SIZE ? chosen.size() : NAME_BUFFER_SIZE - 1;
  std::memcpy(destination, chosen.data(), n);
  destination[n] = '\0';
  release_builders(ps);
  return 0;
}

int begin(EngineContext& ctx, const char* prefix) {
  path_state& ps = ctx.path;
  try {
    ps.long_form.clear();
    ps.short_form.clear();
    size_t need = ps.entry_name_length + ps.root.size() + 1;
    ps.long_form.reserve(need);
    ps.short_form.reserve(need);
  } catch (const std::bad_alloc&) {
    release_builders(ps);
    return RC_NO_DIRECTORY_MEMORY;
  }
  if (ctx.info && ctx.info->volume_label) {
    release_builders(ps);
    return MAPNAME_VOLUME_LABEL;
  }
  if (ps.absolute_new_name) {
    ps.long_form = prefix ? prefix : "";
  } else if (ps.root_set) {
    ps.long_form = ps.root;
  }
  ps.short_form = ps.long_form;
  ps.building = true;
  return 0;
}

bool readonly_directory_warning_needed(uint32_t attributes) { return (attributes & 0x6F) != 0; }

// Finishes a directory entry: attributes and stored security. Returns 77,
// 2 when the directory was there already, or 3 when its stored security
// could not be expanded.
int finish_directory_entry(EngineContext& ctx) {
  checkdir(ctx, ctx.output_name, PATH_FINISH);
  if (!ctx.path.created_directory) return 2;
  if (ctx.quiet_level == 0) message(ctx, "   creating: %-22s\n", display_form(ctx.output_name).c_str());
  uint32_t attributes = ctx.info ? ctx.info->file_attributes : 0;
  if (readonly_directory_warning_needed(attributes)) {
    // A read-only mark on a directory protects nothing on Windows, and where
    // it is honoured it would keep the entry's own files out: it is left off.
    uint32_t applied = attributes & 0x7F & ~platform::FILE_ATTR_READONLY;
    auto& fs = platform::file_system();
    if (fs.set_attributes(ctx.output_name, applied) != platform::Error::none)
      message(ctx, "\nwarning (%d): could not set file attributes for %s\n", fs.last_system_error(),
              display_form(ctx.output_name).c_str());
  }
  if (ctx.extra_field && ctx.extra_field_length > 0) {
    int r = apply_security_blocks(ctx, ctx.output_name, ctx.extra_field, ctx.extra_field_length);
    if (r == RC_BLOCK_TRUNCATED) report_truncated_security(ctx, ctx.output_name);
    // A stored descriptor that was damaged or did not fit in memory has been
    // reported; the entry is an error, though its directory stays.
    else if (r != 0)
      return RC_SEVERE;
  }
  return MAPNAME_DIRECTORY_DONE;
}

}  // namespace

int set_target_root(EngineContext& ctx, const char* text) {
  path_state& ps = ctx.path;
  if (!text) {
    ps.root.clear();
    ps.root_set = false;
    ps.known_directory.clear();
    return 0;
  }
  if (ps.root_set || !*text) return 0;
  std::string root;
  try {
    root.reserve(std::strlen(text) + 3);
    root = text;
  } catch (const std::bad_alloc&) {
    return RC_NO_DIRECTORY_MEMORY;
  }
  bool had_separator = is_separator(root.back());
  if (had_separator) root.pop_back();
  // Every output name is the root, a '/' and at least one character in the
  // name buffer. A root that leaves no room would have its names cut back
  // into the root itself or beside it: it is refused before anything is made.
  if (root.size() > ROOT_LENGTH_LIMIT) {
    message(ctx, "checkdir:  extraction directory name too long (%lu characters; at most %lu): %s\n",
            static_cast<unsigned long>(root.size()), static_cast<unsigned long>(ROOT_LENGTH_LIMIT),
            display_form(root.c_str()).c_str());
    return RC_SEVERE;
  }
  if (root.size() == 2 && is_drive_prefix(root, 0)) {
    if (!had_separator) root += '.';  // the drive's current directory
  } else if (!root.empty()) {
    auto& fs = platform::file_system();
    platform::FileStatus st;
    // The trailing separator lets the caller's own link to a directory count
    // as that directory: the target is the user's choice.
    if (fs.status(root + "/", st) != platform::Error::none) st.kind = platform::FileKind::missing;
    if (st.kind != platform::FileKind::directory) {
      if (!ctx.create_directories) {
        // Freshening makes nothing new, the root included; the entries are
        // not looked for anywhere else.
        message(ctx, "checkdir:  extraction directory not found: %s\n", display_form(root.c_str()).c_str());
        return 2;
      }
      if (fs.create_directory(root) != platform::Error::none) {
        message(ctx, "checkdir:  cannot create extraction directory: %s\n", display_form(root.c_str()).c_str());
        return 3;
      }
    }
  }
  root += '/';
  ps.root = std::move(root);
  ps.root_set = true;
  ps.known_directory.clear();
  return 0;
}

int checkdir(EngineContext& ctx, char* pathcomp, int flag) {
  switch (flag) {
    case PATH_SET_ROOT: return set_target_root(ctx, pathcomp);
    case PATH_BEGIN: return begin(ctx, pathcomp);
    case PATH_ADD_DIRECTORY: return add_directory(ctx, pathcomp ? pathcomp : "");
    case PATH_ADD_NAME: return add_name(ctx, pathcomp ? pathcomp : "");
    case PATH_FINISH: return pathcomp ? finish(ctx, pathcomp) : 0;
    case PATH_CLEAR_ROOT:
      ctx.path.root.clear();
      ctx.path.root_set = false;
      ctx.path.known_directory.clear();
      return 0;
    default: return 99;
  }
}

int mapname(EngineContext& ctx, int renamed) {
  path_state& ps = ctx.path;
  ctx.create_directories = (!ctx.freshen || renamed) ? 1 : 0;
  ps.created_directory = false;
  ps.absolute_new_name = false;
  const std::string name(ctx.output_name);
  ps.entry_name_length = name.size();

  std::string work = name;
  std::string prefix;
  size_t start = 0;
  if (renamed) {
    for (char& c : work)
      if (c == '\\') c = '/';
    if (!work.empty() && work[0] == '/') {
      prefix.push_back('/');
      start = 1;
      ps.absolute_new_name = true;
    } else if (is_drive_prefix(work, 0)) {
      prefix = work.substr(0, 2);
      start = 2;
      if (work.size() > 2 && work[2] == '/') {
        prefix += '/';
        start = 3;
      }
      ps.absolute_new_name = true;
    }
  } else {
    // A name from the archive stays below the target: leading separators
    // and a drive prefix in front of one are dropped. ("x:y" without a
    // separator stays a name; its ':' becomes '_' below.)
    for (;;) {
      if (start < work.size() && is_separator(work[start]))
        ++start;
      else if (is_drive_prefix(work, start) && start + 2 < work.size() && is_separator(work[start + 2]))
        start += 3;
      else
        break;
    }
  }

  size_t scan = start;
  if (ctx.junk_paths && !renamed) {
    size_t slash = work.rfind('/');
    if (slash != std::string::npos && slash + 1 > scan) scan = slash + 1;
  }
  if (!renamed && has_upward_component(work, scan)) {
    message(ctx, "   skipping: %-22s  path leads outside the extraction directory\n",
            display_form(name.c_str()).c_str());
    return RC_SEVERE;
  }

  int r = checkdir(ctx, prefix.data(), PATH_BEGIN);
  if (r != 0) return r;

  auto& cp = platform::code_page();
  std::string component;
  long semicolon = -1;
  int space_to_underscore = ctx.spaces_to_underscores ? 1 : -1;  // -1: volume not asked yet
  for (size_t i = scan; i < work.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(work[i]);
    if (c >= 0x80 && i + 1 < work.size() && cp.is_lead_byte(c)) {
      component += work[i];
      component += work[++i];
      continue;
    }
    switch (c) {
      case '/':
        if (!component.empty()) {
          r = checkdir(ctx, component.data(), PATH_ADD_DIRECTORY);
          if (r > 1) return r;
        }
        component.clear();
        semicolon = -1;
        break;
      case ':': case '"': case '*': case '<': case '>': case '?': case '|':
        component += '_';
        break;
      case ';':
        semicolon = static_cast<long>(component.size());
        component += ';';
        break;
      case ' ':
        if (space_to_underscore < 0) space_to_underscore = query_volume(ctx, name).old_fat ? 1 : 0;
        component += space_to_underscore ? '_' : ' ';
        break;
      default:
        if (c >= 32) component += static_cast<char>(c);
        break;
    }
  }

  if (!work.empty() && work.back() == '/') return finish_directory_entry(ctx);

  // "name;3": a version number from another system is not part of the name.
  if (semicolon >= 0) {
    bool digits = true;
    for (size_t k = static_cast<size_t>(semicolon) + 1; k < component.size(); ++k)
      if (!std::isdigit(static_cast<unsigned char>(component[k]))) digits = false;
    if (digits) component.resize(static_cast<size_t>(semicolon));
  }
  if (component.empty()) {
    message(ctx, "mapname:  conversion of %s failed\n", display_form(name.c_str()).c_str());
    release_builders(ps);
    return RC_SEVERE;
  }
  int kept = checkdir(ctx, component.data(), PATH_ADD_NAME);
  checkdir(ctx, ctx.output_name, PATH_FINISH);
  // Windows drops trailing dots and blanks from a name and reads a
  // backslash as a separator: a last part that holds nothing else ("."
  // above all, nothing after a backslash, or a name the length rule cut
  // down to blanks) names a directory, not a file.
  const char* last = ctx.output_name;
  for (const char* p = ctx.output_name; *p; ++p) {
    if (cp.is_lead_byte(static_cast<unsigned char>(*p)) && p[1])
      ++p;  // a trail byte is never a separator
    else if (is_separator(*p))
      last = p + 1;
  }
  if (last[std::strspn(last, ". ")] == '\0') {
    message(ctx, "mapname:  conversion of %s failed\n", display_form(name.c_str()).c_str());
    return RC_SEVERE;
  }
  return kept;
}
