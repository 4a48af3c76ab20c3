// POSIX backend only. Parsing and formatting of the registry store text
// (registry_store.h). Sections:
//   1. names and tree lookups
//   2. formatting
//   3. parsing
#include "registry_store.h"

#include <cstdio>

namespace platform::registry_store {

// ---- 1. Names and tree lookups

namespace {

unsigned char upper(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

constexpr const char* HEADER = "Windows Registry Editor Version 5.00";
constexpr const char* OLD_HEADER = "REGEDIT4";

}  // namespace

bool NameLess::operator()(std::string_view a, std::string_view b) const {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = upper(a[i]), y = upper(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (upper(a[i]) != upper(b[i])) return false;
  }
  return true;
}

Value* Key::find_value(std::string_view name) {
  for (Value& v : values) {
    if (same_name(v.name, name)) return &v;
  }
  return nullptr;
}

Key* Key::find_subkey(std::string_view name) {
  auto it = subkeys.find(name);
  return it == subkeys.end() ? nullptr : it->second.get();
}

Key& Key::ensure_subkey(const std::string& name) {
  auto it = subkeys.find(name);
  if (it == subkeys.end()) it = subkeys.emplace(name, std::make_unique<Key>()).first;
  return *it->second;
}

bool name_is_storable(std::string_view name) {
  for (char c : name) {
    if (c == '\0' || c == '\n' || c == '\r') return false;
  }
  return true;
}

// ---- 2. Formatting

namespace {

void append_quoted(std::string& out, std::string_view text) {
  out.push_back('"');
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
}

// A string value goes out in the readable "..." form only when that form
// gives back exactly the same bytes: one terminating zero, no other zero and
// no line break. Anything else is written as hex(1) so no byte is lost.
bool has_plain_string_form(const Value& v) {
  if (v.type != REGISTRY_SZ || v.data.empty() || v.data.back() != '\0') return false;
  std::string_view body(v.data.data(), v.data.size() - 1);
  return name_is_storable(body);
}

void append_hex_bytes(std::string& out, std::string_view data, size_t column) {
  static const char DIGITS[] = "0123456789abcdef";
  for (size_t i = 0; i < data.size(); ++i) {
    size_t width = (i + 1 < data.size()) ? 3 : 2;
    // Wrapped as regedit wraps: lines of at most 80 columns, continued with
    // a backslash and indented by two blanks.
    if (i > 0 && column + width > 77) {
      out += "\\\n  ";
      column = 2;
    }
    unsigned char b = static_cast<unsigned char>(data[i]);
    out.push_back(DIGITS[b >> 4]);
    out.push_back(DIGITS[b & 15]);
    if (i + 1 < data.size()) out.push_back(',');
    column += width;
  }
}

void append_value(std::string& out, const Value& v) {
  size_t line_start = out.size();
  if (v.name.empty()) {
    out.push_back('@');
  } else {
    append_quoted(out, v.name);
  }
  out.push_back('=');
  if (has_plain_string_form(v)) {
    append_quoted(out, std::string_view(v.data.data(), v.data.size() - 1));
  } else if (v.type == REGISTRY_DWORD && v.data.size() == 4) {
    uint32_t n = 0;
    for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(v.data[i]);
    char buf[16];
    std::snprintf(buf, sizeof buf, "dword:%08x", n);
    out += buf;
  } else {
    char buf[24];
    if (v.type == REGISTRY_BINARY) {
      std::snprintf(buf, sizeof buf, "hex:");
    } else {
      std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
    }
    out += buf;
    append_hex_bytes(out, v.data, out.size() - line_start);
  }
  out.push_back('\n');
}

void append_key(std::string& out, const Key& key, std::string& path, bool is_root) {
  // Every key gets its own section, so keys without values survive too.
  if (!is_root || !key.values.empty()) {
    out.push_back('[');
    out += path;
    out += "]\n";
    for (const Value& v : key.values) append_value(out, v);
    out.push_back('\n');
  }
  for (const auto& [name, sub] : key.subkeys) {
    size_t keep = path.size();
    path.push_back('\\');
    path += name;
    append_key(out, *sub, path, false);
    path.resize(keep);
  }
}

}  // namespace

std::string format(const Tree& tree) {
  std::string out = HEADER;
  out += "\n\n";
  for (size_t i = 0; i < ROOT_COUNT; ++i) {
    std::string path = registry_root_name(static_cast<RegistryRoot>(i));
    append_key(out, tree.roots[i], path, true);
  }
  return out;
}

// ---- 3. Parsing

namespace {

class Parser {
 public:
  Parser(std::string_view text, Tree& tree) : text_(text), tree_(tree) {}

  bool run(std::string& error) {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
    bool header_seen = false;
    std::string line;
    while (next_line(line)) {
      std::string_view l = trim(line);
      if (l.empty() || l.front() == ';') continue;
      if (!header_seen) {
        if (l != HEADER && l != OLD_HEADER) return fail(error, "not a registry store (no \"Windows Registry Editor Version 5.00\" line)");
        header_seen = true;
        continue;
      }
      if (l.front() == '[') {
        if (!section(l)) return fail(error, problem_);
      } else if (!value_line(l)) {
        return fail(error, problem_);
      }
    }
    if (!header_seen) return fail(error, "not a registry store (empty)");
    return true;
  }

 private:
  // One logical line: a value line whose physical line ends with a
  // backslash continues on the next one.
  bool next_line(std::string& out) {
    out.clear();
    if (pos_ >= text_.size()) return false;
    line_number_ = next_line_number_;
    for (;;) {
      size_t end = text_.find('\n', pos_);
      std::string_view piece = text_.substr(pos_, end == std::string_view::npos ? std::string_view::npos : end - pos_);
      pos_ = end == std::string_view::npos ? text_.size() : end + 1;
      ++next_line_number_;
      if (!out.empty()) piece = trim_left(piece);
      std::string_view body = trim_right(piece);
      bool continues = !body.empty() && body.back() == '\\' && body.front() != '[' &&
                       body.front() != ';' && pos_ < text_.size();
      if (!continues) {
        out.append(piece);
        return true;
      }
      body.remove_suffix(1);
      out.append(body);
    }
  }

  static std::string_view trim_left(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
  }
  static std::string_view trim_right(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
  }
  static std::string_view trim(std::string_view s) { return trim_left(trim_right(s)); }

  bool problem(const char* what) {
    problem_ = what;
    return false;
  }

  bool fail(std::string& error, const std::string& what) {
    error = "line " + std::to_string(line_number_) + ": " + what;
    return false;
  }

  bool section(std::string_view l) {
    if (l.size() < 2 || l.back() != ']') return problem("section line without a closing ']'");
    std::string_view path = l.substr(1, l.size() - 2);
    if (!path.empty() && path.front() == '-') return problem("key deletion lines have no place in the store");
    size_t slash = path.find('\\');
    RegistryRoot root;
    if (!parse_registry_root(path.substr(0, slash), root)) return problem("section names no registry root");
    Key* key = &tree_.root(root);
    while (slash != std::string_view::npos) {
      size_t start = slash + 1;
      slash = path.find('\\', start);
      std::string_view name = path.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
      if (name.empty()) return problem("empty key name in section");
      if (name.size() > REGISTRY_MAX_KEY_NAME) return problem("key name longer than 255 bytes");
      key = &key->ensure_subkey(std::string(name));
    }
    current_ = key;
    return true;
  }

  // Reads a "..." text at the start of `s`; `s` is left after it.
  bool quoted(std::string_view& s, std::string& out) {
    if (s.empty() || s.front() != '"') return problem("expected '\"'");
    out.clear();
    size_t i = 1;
    for (; i < s.size(); ++i) {
      char c = s[i];
      if (c == '"') break;
      if (c == '\\') {
        if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) return problem("bad escape in quoted text");
        c = s[++i];
      }
      out.push_back(c);
    }
    if (i >= s.size()) return problem("quoted text without its closing '\"'");
    s.remove_prefix(i + 1);
    return true;
  }

  static int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  bool hex_bytes(std::string_view s, std::string& out) {
    out.clear();
    s = trim(s);
    if (s.empty()) return true;
    for (;;) {
      s = trim_left(s);
      if (s.size() < 2 || hex_digit(s[0]) < 0 || hex_digit(s[1]) < 0) return problem("bad hex byte");
      out.push_back(static_cast<char>(hex_digit(s[0]) * 16 + hex_digit(s[1])));
      s.remove_prefix(2);
      s = trim_left(s);
      if (s.empty()) return true;
      if (s.front() != ',') return problem("bad hex byte");
      s.remove_prefix(1);
    }
  }

  bool value_line(std::string_view l) {
    if (!current_) return problem("value line before the first section");
    Value v;
    if (l.front() == '@') {
      l.remove_prefix(1);
    } else if (!quoted(l, v.name)) {
      return false;
    }
    l = trim_left(l);
    if (l.empty() || l.front() != '=') return problem("expected '=' after the value name");
    l = trim(l.substr(1));
    if (l == "-") return problem("value deletion lines have no place in the store");
    if (!l.empty() && l.front() == '"') {
      v.type = REGISTRY_SZ;
      if (!quoted(l, v.data)) return false;
      if (!trim(l).empty()) return problem("text after the closing '\"'");
      v.data.push_back('\0');
    } else if (l.substr(0, 6) == "dword:") {
      std::string_view digits = l.substr(6);
      if (digits.empty() || digits.size() > 8) return problem("a dword needs 1 to 8 hex digits");
      uint32_t n = 0;
      for (char c : digits) {
        int d = hex_digit(c);
        if (d < 0) return problem("bad hex digit in dword");
        n = n * 16 + static_cast<uint32_t>(d);
      }
      v.type = REGISTRY_DWORD;
      v.data = RegistryValue::dword(n).data;
    } else if (l.substr(0, 4) == "hex:") {
      v.type = REGISTRY_BINARY;
      if (!hex_bytes(l.substr(4), v.data)) return false;
    } else if (l.substr(0, 4) == "hex(") {
      size_t close = l.find("):");
      if (close == std::string_view::npos || close == 4 || close > 12) return problem("bad hex(type) form");
      uint32_t type = 0;
      for (char c : l.substr(4, close - 4)) {
        int d = hex_digit(c);
        if (d < 0) return problem("bad hex(type) form");
        type = type * 16 + static_cast<uint32_t>(d);
      }
      v.type = type;
      if (!hex_bytes(l.substr(close + 2), v.data)) return false;
    } else {
      return problem("unknown value form");
    }
    // The same name twice in a section: the later line wins, as on import.
    if (Value* old = current_->find_value(v.name)) {
      old->type = v.type;
      old->data = std::move(v.data);
    } else {
      current_->values.push_back(std::move(v));
    }
    return true;
  }

  std::string_view text_;
  Tree& tree_;
  size_t pos_ = 0;
  int line_number_ = 0;
  int next_line_number_ = 1;
  Key* current_ = nullptr;
  std::string problem_;
};

}  // namespace

bool parse(std::string_view text, Tree& out, std::string& error) {
  Parser p(text, out);
  return p.run(error);
}

}  // namespace platform::registry_store
