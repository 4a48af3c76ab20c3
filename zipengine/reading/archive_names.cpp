// Portable. The wildcard archive-path expansion over the platform's
// directory listing.
#include "archive_names.h"

#include <memory>

#include "context.h"
#include "messages.h"
#include "name_match.h"
#include "platform/file_system.h"

namespace {

void finish(EngineContext& ctx) { ctx.expansion.reset(); }

}  // namespace

const char* next_archive_name(EngineContext& ctx, const char* pattern) {
  if (!ctx.expansion) ctx.expansion = std::make_unique<archive_name_expansion>();
  archive_name_expansion& st = *ctx.expansion;

  if (st.not_first_call && !st.listing_open) {
    // The single name (or the fallback) has been handed out.
    finish(ctx);
    return nullptr;
  }
  if (!st.not_first_call) {
    st.not_first_call = true;
    st.current = pattern;
    if (!has_wildcards(pattern)) return st.current.c_str();

    std::string text(pattern);
    size_t cut = text.rfind('/');
    if (cut == std::string::npos) cut = text.rfind(':');
    if (cut != std::string::npos) {
      st.directory = text.substr(0, cut + 1);
      st.file_part = text.substr(cut + 1);
      st.directory_copied = true;
    } else {
      st.directory = ".";
      st.file_part = text;
    }

    std::string list_dir = st.directory;
    if (!list_dir.empty() && list_dir.back() == ':') list_dir += '.';
    if (!list_dir.empty() && (list_dir.back() == '/' || list_dir.back() == '\\')) list_dir.pop_back();
    if (list_dir.empty()) list_dir = "/";
    if (platform::file_system().list_directory(list_dir, st.names) != platform::Error::none) {
      return st.current.c_str();
    }
    st.listing_open = true;
    st.next = 0;
  }

  while (st.next < st.names.size()) {
    const std::string& name = st.names[st.next++].name;
    // "." and ".." are never archives; skip them wherever the listing has them.
    if (name == "." || name == "..") continue;
    std::string compared = name;
    if (compared.find('.') == std::string::npos) compared += '.';
    if (!name_matches(compared.c_str(), st.file_part.c_str(), true)) continue;
    st.matched_any = true;
    st.current = st.directory_copied ? st.directory + name : name;
    return st.current.c_str();
  }

  // The listing has ended.
  if (!st.matched_any) {
    // Nothing matched: hand out the pattern itself once, so that it is
    // reported as not found under that name.
    st.listing_open = false;
    st.names.clear();
    st.current = pattern;
    return st.current.c_str();
  }
  finish(ctx);
  return nullptr;
}
