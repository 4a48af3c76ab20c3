// Building an installer or a plain archive.
#include "sfx_builder.h"

#include <fstream>
#include <set>
#include <sstream>

#include "autorun_check.h"
#include "engine_verify.h"
#include "pack_error.h"
#include "payload_source.h"
#include "reproducible_pack.h"
#include "zip_reader.h"
#include "zip_writer.h"

namespace fs = std::filesystem;

namespace sfxpack {
namespace {

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw PackError("cannot open " + path.string());
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) throw PackError("cannot read " + path.string());
  return bytes.str();
}

void refuse_autorun(const AutorunFindings& findings) {
  std::string message = "the launcher could not run this payload:";
  for (const std::string& p : findings.problems) message += "\n  - " + p;
  throw PackError(message);
}

// Removes the half-made output unless the build got to the end.
struct TemporaryOutput {
  fs::path path;
  bool keep = false;
  ~TemporaryOutput() {
    std::error_code ec;
    if (!keep) fs::remove(path, ec);
  }
};

bool inside(const fs::path& candidate, const fs::path& directory) {
  std::error_code ec;
  const fs::path c = fs::weakly_canonical(candidate, ec);
  const fs::path d = fs::weakly_canonical(directory, ec);
  auto ci = c.begin();
  for (auto di = d.begin(); di != d.end(); ++di, ++ci) {
    if (di->empty()) continue;  // a trailing separator
    if (ci == c.end() || *ci != *di) return false;
  }
  return true;
}

}  // namespace

PackResult pack(const PackOptions& options) {
  PackResult result;
  std::error_code ec;
  if (options.level < 0 || options.level > 9) throw PackError("the compression level must be 0 to 9");
  if (!fs::exists(options.source, ec)) throw PackError(options.source.string() + " does not exist");
  const bool from_directory = fs::is_directory(options.source, ec);
  if (from_directory && inside(options.output, options.source)) {
    throw PackError("the output " + options.output.string() + " lies inside the directory being packed");
  }
  if (options.stub && !fs::is_regular_file(*options.stub, ec)) {
    throw PackError("the stub " + options.stub->string() + " is not a file");
  }

  // Gather the entries and check the launch configuration before anything
  // is written.
  std::vector<SourceEntry> tree;
  std::optional<ZipArchive> archive;
  std::set<std::string> files;
  std::optional<std::string> autorun;
  if (from_directory) {
    tree = collect_directory(options.source, result.warnings);
    for (const SourceEntry& e : tree) {
      if (e.directory) continue;
      files.insert(e.name);
      if (e.name == AUTORUN_NAME) autorun = read_file(e.path);
    }
  } else {
    archive.emplace(options.source);
    for (const ArchiveEntry& e : archive->entries()) {
      if (e.flags & 0x0001) {
        throw PackError(e.name + " in " + options.source.string() +
                        " is encrypted; the launcher extracts without a password");
      }
      if (e.method != 0 && e.method != 6 && e.method != 8) {
        throw PackError(e.name + " in " + options.source.string() + " uses compression method " +
                        std::to_string(e.method) + ", which the launcher's engine cannot extract");
      }
      if (e.is_directory()) continue;
      files.insert(e.name);
      if (e.name == AUTORUN_NAME) autorun = archive->contents(e);
    }
  }
  if (options.stub) {
    if (!autorun) {
      throw PackError("the payload has no AUTORUN.INF at its root, so the launcher would not know what to start");
    }
    const AutorunFindings findings =
        check_autorun(*autorun, [&](const std::string& name) { return files.count(name) != 0; });
    if (!findings.ok()) refuse_autorun(findings);
    for (const std::string& w : findings.warnings) result.warnings.push_back(w);
  }

  // Write next to the output and move it into place only when it is sound.
  TemporaryOutput temporary{fs::path(options.output.string() + ".sfxpack-tmp")};
  fs::remove(temporary.path, ec);
  if (options.stub) {
    if (!fs::copy_file(*options.stub, temporary.path, fs::copy_options::overwrite_existing, ec)) {
      throw PackError("cannot copy the stub to " + temporary.path.string() + ": " + ec.message());
    }
    result.stub_bytes = fs::file_size(temporary.path, ec);
  } else {
    std::ofstream create(temporary.path, std::ios::binary | std::ios::trunc);
    if (!create) throw PackError("cannot create " + temporary.path.string());
  }

  PackProgress progress;
  auto report = [&](PackProgress::Phase phase, uint64_t bytes) {
    if (!options.progress) return;
    progress.phase = phase;
    progress.done += bytes;
    options.progress(progress);
  };
  if (from_directory) {
    for (const SourceEntry& e : tree) progress.total += e.size;
  } else {
    for (const ArchiveEntry& e : archive->entries()) progress.total += e.compressed_size;
  }

  uint64_t end = 0;
  {
    std::fstream out(temporary.path, std::ios::binary | std::ios::in | std::ios::out);
    if (!out) throw PackError("cannot open " + temporary.path.string() + " for writing");
    const WriterOptions writing{.level = options.level,
                                .unix_host = options.unix_host,
                                .source_date_epoch = options.source_date_epoch,
                                .on_data = [&](uint64_t bytes) { report(PackProgress::packing, bytes); }};
    ZipWriter writer(out, result.stub_bytes, writing);
    const auto& epoch = options.source_date_epoch;
    if (from_directory) {
      for (const SourceEntry& e : tree) {
        const uint32_t permissions = epoch ? release_permissions(e.permissions) : e.permissions;
        if (e.directory) {
          writer.add_directory(e.name, permissions, stored_time(e.modified, epoch));
        } else {
          writer.add_file(e.name, e.path, permissions, stored_time(e.modified, epoch));
        }
      }
      end = writer.finish();
    } else {
      for (const ArchiveEntry& e : archive->entries()) writer.add_copied(*archive, e);
      end = writer.finish(archive->comment());
    }
    result.entries = writer.entry_count();
    result.uncompressed_bytes = writer.uncompressed_total();
    out.close();
    if (out.fail()) throw PackError("cannot write " + temporary.path.string() + " (is the disk full?)");
  }
  // Entries stored after a failed Deflate attempt leave bytes past the end.
  fs::resize_file(temporary.path, end, ec);
  if (ec) throw PackError("cannot finish " + temporary.path.string() + ": " + ec.message());
  result.output_bytes = end;

  if (options.verify) {
    progress = PackProgress{PackProgress::checking, 0, result.uncompressed_bytes};
    const VerifyResult v = verify_with_engine(temporary.path.string(), result.entries, result.uncompressed_bytes,
                                              [&](uint64_t bytes) { report(PackProgress::checking, bytes); });
    if (!v.ok) throw PackError(v.failure);
    result.notes = v.notes;
  }

  fs::rename(temporary.path, options.output, ec);
  if (ec) {
    // Some systems do not replace an existing file by renaming over it.
    std::error_code removed;
    fs::remove(options.output, removed);
    ec.clear();
    fs::rename(temporary.path, options.output, ec);
  }
  if (ec) throw PackError("cannot move the result to " + options.output.string() + ": " + ec.message());
  temporary.keep = true;
  return result;
}

}  // namespace sfxpack
