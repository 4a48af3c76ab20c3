// Reading the silent-installation answer file.
#include "silent_xml.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "platform/code_page.h"
#include "record_writer.h"

namespace qelinst {
namespace {

std::string trim(const std::string& s) {
  const char* blanks = " \t\r\n";
  const size_t first = s.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

void append_utf8(std::string& out, unsigned long c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// False on an entity we do not know or a malformed reference.
bool decode_entities(const std::string& in, std::string& out) {
  out.clear();
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '&') {
      out += in[i];
      continue;
    }
    const size_t semi = in.find(';', i);
    if (semi == std::string::npos) return false;
    const std::string name = in.substr(i + 1, semi - i - 1);
    if (name == "amp") out += '&';
    else if (name == "lt") out += '<';
    else if (name == "gt") out += '>';
    else if (name == "quot") out += '"';
    else if (name == "apos") out += '\'';
    else if (name.size() > 1 && name[0] == '#') {
      const bool hex = name[1] == 'x' || name[1] == 'X';
      const std::string digits = name.substr(hex ? 2 : 1);
      if (digits.empty() || digits.size() > 8) return false;
      size_t used = 0;
      unsigned long c = 0;
      try {
        c = std::stoul(digits, &used, hex ? 16 : 10);
      } catch (...) {
        return false;
      }
      if (used != digits.size() || c == 0 || c > 0x10FFFF) return false;
      append_utf8(out, c);
    } else {
      return false;
    }
    i = semi;
  }
  return true;
}

// The text of the first <name> element: nothing with `error` empty when it
// is absent, nothing with `error` set when it is unusable.
std::optional<std::string> element_text(const std::string& document, const std::string& name, std::string& error) {
  const std::string open = "<" + name + ">", close = "</" + name + ">";
  const size_t start = document.find(open);
  if (start == std::string::npos) return std::nullopt;
  const size_t value = start + open.size();
  const size_t end = document.find(close, value);
  if (end == std::string::npos) {
    error = "its " + open + " element is not closed";
    return std::nullopt;
  }
  const std::string raw = trim(document.substr(value, end - value));
  std::string text;
  if (raw.find('<') != std::string::npos) {
    error = "its " + open + " element holds markup instead of a path";
  } else if (!decode_entities(raw, text)) {
    error = "its " + open + " element holds an unknown or malformed entity";
  } else if (text.empty()) {
    error = "its " + open + " element is empty";
  } else {
    return text;
  }
  return std::nullopt;
}

// The document in UTF-8: as it is behind a byte-order mark or when its
// declaration says UTF-8; else in the ANSI code page (as an answer file
// written by hand on Windows is), converted.
std::string utf8_document(const std::string& document) {
  if (document.rfind("\xEF\xBB\xBF", 0) == 0) return document.substr(3);
  std::string head = document.substr(0, std::min(document.find("?>"), document.size()));
  if (head.rfind("<?xml", 0) == 0) {
    for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (head.find("encoding=\"utf-8\"") != std::string::npos || head.find("encoding='utf-8'") != std::string::npos)
      return document;
  }
  return platform::code_page().ansi_to_utf8(document);
}

}  // namespace

SilentAnswers parse_silent_xml(const std::string& raw_document) {
  const std::string document = utf8_document(raw_document);
  SilentAnswers a;
  std::string error;
  a.install_dir = element_text(document, "installdir", error);
  if (!a.install_dir && error.empty()) error = "it has no <installdir> element";
  if (error.empty()) a.programs_folder = element_text(document, "programsfolder", error);
  if (!error.empty()) {
    a.install_dir.reset();
    a.programs_folder.reset();
    a.error = error;
  }
  return a;
}

SilentAnswers read_silent_xml(const std::string& path) {
  std::ifstream in(uninstall_record::PathOf(path), std::ios::binary);
  if (!in) {
    SilentAnswers a;
    a.error = "it cannot be opened";
    return a;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return parse_silent_xml(text.str());
}

}  // namespace qelinst
