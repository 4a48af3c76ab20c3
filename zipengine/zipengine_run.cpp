// Portable. The engine's single entry: creates the per-call context, binds
// the caller's callbacks, translates the options, runs the archive
// processing and releases everything before returning.
#include <cstdlib>
#include <cstring>
#include <new>

#include "archive_run.h"
#include "context.h"
#include "inflate.h"
#include "input.h"
#include "messages.h"
#include "platform/file.h"
#include "zipengine/zipengine.h"

namespace {

void no_sound() {}

int forward_message(EngineContext& ctx, const char* text, uint32_t length, unsigned /*flags*/) {
  return ctx.callbacks->print(text, length);
}

int ask_password(EngineContext& ctx, int* retry, char* buffer, int size, const char* /*archive_name*/,
                 const char* entry_name) {
  const char* prompt;
  if (*retry == 0) {
    *retry = 2;
    prompt = "Enter password for: ";
  } else {
    --*retry;
    prompt = "Password incorrect--reenter: ";
  }
  // Without a password callback every entry is skipped as if cancelled.
  if (!ctx.callbacks->password) return 1;
  return ctx.callbacks->password(buffer, size, prompt, entry_name);
}

int report_progress(EngineContext& ctx, int stage, const char* /*archive_name*/, const char* entry_name,
                    const uint32_t* value) {
  EngineCallbacks& cb = *ctx.callbacks;
  int answer = 0;
  if (stage == PROGRESS_START) {
    cb.sound();
    if (cb.progress) answer = cb.progress(entry_name, PROGRESS_START, 0);
  } else if (stage == PROGRESS_DATA || stage == PROGRESS_END) {
    if (cb.progress) answer = cb.progress(entry_name, stage, value ? *value : 0);
  }
  return answer != 0 ? 1 : 0;
}

// The count of a pattern list: 0 without a vector, cut at the first null.
int list_count(int count, const char* const* list) {
  if (!list || count <= 0) return 0;
  for (int i = 0; i < count; ++i)
    if (!list[i]) return i;
  return count;
}

const char* const DEFAULT_INCLUDE[] = {"*"};

void translate_options(EngineContext& ctx, const EngineOptions& o) {
  ctx.quiet_level = o.quiet_level;
  ctx.test_only = o.test_only;
  ctx.list = o.list_contents;
  ctx.show_comment = o.show_comment;
  ctx.data_to_print = o.data_to_print;
  ctx.text_conversion = o.text_conversion;
  ctx.ignore_case = o.ignore_case;
  ctx.freshen = o.freshen;
  ctx.spaces_to_underscores = o.spaces_to_underscores;
  ctx.security_level = o.restore_security;
  ctx.junk_paths = o.keep_paths == 0 ? 1 : 0;
  ctx.overwrite_always = (o.overwrite_always != 0 || o.prompt_to_overwrite == 0) ? 1 : 0;
  ctx.update = (o.extract_only_newer != 0 || o.freshen != 0) ? 1 : 0;
  if (o.info_listing) {
    ctx.info_mode = 1;
    ctx.header_line = 1;
    ctx.detail_level = 10;
    ctx.quiet_level = 2;
  } else {
    ctx.info_mode = 0;
  }
  ctx.extract = (!ctx.info_mode && !ctx.data_to_print && !ctx.test_only && !ctx.list && !ctx.show_comment) ? 1 : 0;
  ctx.target_root = (o.target_directory && ctx.extract) ? o.target_directory : nullptr;
  ctx.archive_path = o.archive_path;
}

}  // namespace

extern "C" int zipengine_run(int include_count, const char* const* include_patterns, int exclude_count,
                             const char* const* exclude_patterns, const EngineOptions* options,
                             EngineCallbacks* callbacks) {
  // The context is released on every path out of this function, the
  // recovery from a read error included.
  std::unique_ptr<EngineContext> owner(new (std::nothrow) EngineContext());
  if (!owner) return RC_NO_MEMORY;
  EngineContext& ctx = *owner;
  ctx.detail_level = -1;
  ctx.include_list = DEFAULT_INCLUDE;
  ctx.exclude_list = nullptr;
  ctx.password_hook = ask_password;

  if (!callbacks) return RC_SEVERE;
  ctx.message_hook = forward_message;
  ctx.progress_hook = report_progress;
  if (!callbacks->sound) callbacks->sound = no_sound;
  ctx.callbacks = callbacks;
  if (!callbacks->print || !callbacks->replace) return RC_SEVERE;

  if (!options || !options->archive_path) return RC_NO_ARCHIVE;
  translate_options(ctx, *options);

  int result;
  try {
    size_t path_length = std::strlen(options->archive_path);
    if (path_length >= static_cast<size_t>(NAME_BUFFER_SIZE)) {
      // The name buffers hold at most 259 characters: a longer path is
      // refused rather than cut to a different name.
      message(ctx, "error:  zipfile name too long (%lu characters; at most %d)\n",
              static_cast<unsigned long>(path_length), NAME_BUFFER_SIZE - 1);
      return RC_NO_ARCHIVE;
    }
    ctx.archive_name = static_cast<char*>(std::calloc(NAME_BUFFER_SIZE, 1));
    if (ctx.archive_name) std::memcpy(ctx.archive_name, options->archive_path, path_length + 1);

    ctx.include_count = list_count(include_count, include_patterns);
    ctx.exclude_count = list_count(exclude_count, exclude_patterns);
    ctx.process_all = (ctx.include_count == 0 && ctx.exclude_count == 0) ? 1 : 0;
    if (ctx.include_count > 0) ctx.include_list = include_patterns;
    if (ctx.exclude_count > 0) ctx.exclude_list = exclude_patterns;

    ctx.archive_file = std::make_unique<platform::File>();
    result = archive_run(ctx);
  } catch (const input_read_error&) {
    result = RC_SEVERE;
  } catch (const std::bad_alloc&) {
    result = RC_NO_MEMORY;
  } catch (...) {
    result = RC_SEVERE;
  }
  ctx.info_mode = 0;
  release_fixed_tables(ctx);
  return result;
}
