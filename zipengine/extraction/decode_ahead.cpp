// Portable. The worker of decoding ahead and the caller's play-back (see
// decode_ahead.h). The two threads share one lock: the worker hands over
// events (a finished block, or the end of an entry) through a fixed queue
// and the blocks' bytes through a ring; the caller takes them in order and
// frees the ring behind itself. Each side sleeps only when the other has
// to move first, and wakes the other only when it sleeps.
#include "decode_ahead.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "central_directory.h"
#include "crc32.h"
#include "input.h"
#include "output.h"
#include "platform/file.h"
#include "zip64.h"

namespace {

// Four flush blocks: enough to keep both threads busy, small enough for
// the engine's memory budget.
constexpr uint32_t RING_BYTES = 4 * OUTPUT_FLUSH_MAX;
constexpr uint32_t QUEUE_EVENTS = 256;
// A caller that has to wait sleeps until this many blocks are ready (or an
// entry's end is): one wake-up per two blocks instead of one per block.
constexpr uint32_t CALLER_BATCH = 2;
// How long a side looks for the other's progress before it sleeps: waking
// a sleeping thread on another processor costs far more (most of all in a
// virtual machine) than a little looking. About two blocks' decoding.
constexpr std::chrono::microseconds SPIN_TIME{100};
constexpr int LOOKS_PER_CLOCK = 64;
// Below this the thread would cost more than it saves.
constexpr int64_t SMALL_ARCHIVE = 1 << 20;
// What the sink returns to stop a decoder whose output nobody wants.
constexpr int DROPPED = -100;

std::atomic<int> g_mode{static_cast<int>(decode_ahead_mode::automatic)};

enum class event_kind : uint8_t {
  block,    // a flushed block, its kept bytes in the ring
  done,     // the decoder finished with `end`
  gave_up,  // the worker could not decode the entry (or was told to drop it)
};

struct ahead_event {
  event_kind kind = event_kind::done;
  int job = 0;
  uint32_t flushed = 0;   // block: the length the decoder flushed
  uint64_t ring_at = 0;   // block: ring position of its kept bytes
  uint64_t ring_end = 0;  // the ring is free up to here once this event is taken
  bool has_crc = false;   // block: `crc` is the entry's running CRC after it
  uint32_t crc = 0;
  decoded_result end;     // done
};

// One entry handed to the worker, and where the worker found its data.
struct ahead_job {
  int64_t header_at = 0;  // physical offset of the local header
  uint32_t central_crc = 0;
  uint64_t central_compressed = 0, central_uncompressed = 0;
  // Set by the worker before the job's first event.
  bool found = false;
  int64_t data_at = 0;
  local_header local;  // as the walk settles it: the directory's sizes for a data descriptor
};

int quiet_message(EngineContext&, const char*, uint32_t, unsigned) { return 0; }

// Tells the processor that this is a wait loop, so that the looking thread
// leaves the core's shared resources (and the memory bus) to the others.
inline void spin_pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

// Looks for `done` for up to SPIN_TIME; false when it never came. Most
// calls find it at once, so the clock is read only after the first looks.
template <typename Done>
bool spin_until(Done done) {
  auto look = [&] {
    for (int i = 0; i < LOOKS_PER_CLOCK; ++i) {
      if (done()) return true;
      spin_pause();
    }
    return false;
  };
  if (look()) return true;
  const auto end = std::chrono::steady_clock::now() + SPIN_TIME;
  while (std::chrono::steady_clock::now() < end)
    if (look()) return true;
  return false;
}

}  // namespace

struct decode_ahead {
  EngineContext* work = nullptr;  // the worker's decoding context
  platform::File* archive = nullptr;
  int64_t archive_length = 0;
  uint8_t* ring = nullptr;
  uint8_t* block = nullptr;  // the worker's header block: INPUT_BUFFER_SIZE bytes from block_at
  int64_t block_at = -1;
  int32_t block_length = 0;
  ahead_event queue[QUEUE_EVENTS];
  ahead_job jobs[ENTRY_BLOCK_SIZE];
  int job_of_entry[ENTRY_BLOCK_SIZE];  // -1: decoded by the caller
  std::thread thread;

  std::mutex lock;
  std::condition_variable to_worker, to_caller;
  // Under the lock.
  uint64_t generation = 0;  // a new block of jobs
  int job_count = 0;
  int dropped_below = 0;    // jobs below this are not wanted any more
  bool stopping = false;
  bool worker_waiting = false, caller_waiting = false;
  uint64_t pushed = 0, taken = 0;      // queue positions
  uint64_t ends_pushed = 0, ends_taken = 0;  // done and gave_up events among them
  uint64_t reserved = 0, freed = 0;    // ring positions
  // Copies of `pushed` and `freed` that the other side may look at without
  // the lock while it spins.
  std::atomic<uint64_t> published{0}, released{0};

  int current_job = 0;  // the worker's
  int caller_job = 0;   // the caller's: jobs below it are over

  ~decode_ahead() {
    delete work;
    std::free(ring);
    std::free(block);
  }
};

namespace {

uint32_t queued(const decode_ahead& a) { return static_cast<uint32_t>(a.pushed - a.taken); }

// With the lock held: enough is queued for a waiting caller to go on with.
bool worth_waking_caller(const decode_ahead& a) {
  return queued(a) >= CALLER_BATCH || (queued(a) > 0 && (a.ends_pushed > a.ends_taken || a.worker_waiting));
}

// With the lock held: the worker sleeps for room; wake it once there is
// plenty, so that it fills the ring in long runs.
void wake_worker_for_room(decode_ahead& a) {
  if (a.worker_waiting && a.reserved - a.freed <= RING_BYTES / 2 && queued(a) <= QUEUE_EVENTS / 2)
    a.to_worker.notify_one();
}

// ---- The worker's side ----

// With the lock held: the worker waits until `ready`. Before it sleeps it
// wakes a sleeping caller, who may have been waiting for more blocks than
// the full ring can give.
template <typename Ready>
void sleep_until(decode_ahead& a, std::unique_lock<std::mutex>& l, Ready ready) {
  if (ready()) return;
  a.worker_waiting = true;
  if (a.caller_waiting && worth_waking_caller(a)) a.to_caller.notify_one();
  a.to_worker.wait(l, ready);
  a.worker_waiting = false;
}

// Queues an event. Blocks wait for room and are given up (false) when the
// job is dropped meanwhile; the end of a job is always queued, so that the
// caller can count jobs. False when the run stops.
bool push_event(decode_ahead& a, const ahead_event& e) {
  std::unique_lock<std::mutex> l(a.lock);
  auto unwanted = [&] { return e.kind == event_kind::block && e.job < a.dropped_below; };
  sleep_until(a, l, [&] { return a.stopping || unwanted() || queued(a) < QUEUE_EVENTS; });
  if (a.stopping || unwanted()) return false;
  a.queue[a.pushed % QUEUE_EVENTS] = e;
  ++a.pushed;
  a.published.store(a.pushed, std::memory_order_release);
  if (e.kind != event_kind::block) ++a.ends_pushed;
  if (a.caller_waiting && worth_waking_caller(a)) a.to_caller.notify_one();
  return true;
}

bool push_end(decode_ahead& a, int job, event_kind kind, const decoded_result& end = {}) {
  ahead_event e;
  e.kind = kind;
  e.job = job;
  e.end = end;
  e.ring_end = a.reserved;  // only the worker changes it
  return push_event(a, e);
}

// Room for n contiguous bytes in the ring; false when the job is dropped
// or the run stops.
bool reserve_ring(decode_ahead& a, uint32_t n, uint64_t* at, uint64_t* end) {
  // `reserved` changes only here, on the worker's thread.
  uint64_t start = a.reserved;
  const uint32_t offset = static_cast<uint32_t>(start % RING_BYTES);
  if (offset + n > RING_BYTES) start += RING_BYTES - offset;  // wrap: a block never straddles the end
  spin_until([&] { return start + n - a.released.load(std::memory_order_acquire) <= RING_BYTES; });
  std::unique_lock<std::mutex> l(a.lock);
  sleep_until(a, l, [&] {
    return a.stopping || a.current_job < a.dropped_below || start + n - a.freed <= RING_BYTES;
  });
  if (a.stopping || a.current_job < a.dropped_below) return false;
  a.reserved = start + n;
  *at = start;
  *end = start + n;
  return true;
}

// flush_output's destination on the worker's context. The CRC goes to
// whichever side has time to spare: the caller while the worker inflates
// or explodes, the worker when it only copies stored data.
int ring_sink(EngineContext& w, const uint8_t* block, uint32_t flushed, uint32_t kept) {
  decode_ahead& a = *w.ahead;
  ahead_event e;
  e.kind = event_kind::block;
  e.job = a.current_job;
  e.flushed = flushed;
  if (w.local.method == 0) {
    if (kept > 0) w.output.crc = crc32_update(w.output.crc, block, kept);
    e.has_crc = true;
    e.crc = w.output.crc;
  }
  if (!reserve_ring(a, kept, &e.ring_at, &e.ring_end)) return DROPPED;
  if (kept > 0) std::memcpy(a.ring + e.ring_at % RING_BYTES, block, kept);
  return push_event(a, e) ? 0 : DROPPED;
}

// The n bytes at `at` from the worker's own header block, which is
// reloaded from `at` when it does not hold them: the headers of small
// entries, and their data, then come from one read per block, as the
// caller's do. Null when the file ends first or cannot be read.
const uint8_t* read_through_block(decode_ahead& a, int64_t at, uint32_t n) {
  if (!(a.block_at >= 0 && at >= a.block_at && at + n <= a.block_at + a.block_length)) {
    a.block_at = -1;
    platform::IoResult got = a.archive->read_at(at, a.block, INPUT_BUFFER_SIZE);
    if (!got.ok()) return nullptr;
    a.block_at = at;
    a.block_length = static_cast<int32_t>(got.value);
    if (a.block_length < static_cast<int32_t>(n)) return nullptr;
  }
  return a.block + (at - a.block_at);
}

// Reads the job's local header the way the walk will: the data's place,
// the method, the flags and the sizes. False when anything is unusual; the
// caller then decodes the entry itself and reports what it finds.
bool find_entry_data(decode_ahead& a, ahead_job& job) {
  constexpr uint32_t header_size = 4 + LOCAL_HEADER_SIZE;
  if (job.header_at < 0) return false;
  const uint8_t* b = read_through_block(a, job.header_at, header_size);
  if (!b || !signature_is(b, SIG_LOCAL)) return false;
  local_header& l = job.local;
  decode_local_header(b + 4, l);
  const int64_t extra_at = job.header_at + header_size + l.name_length;
  if (l.flags & 8) {
    l.crc32 = job.central_crc;
    l.compressed_size = job.central_compressed;
    l.uncompressed_size = job.central_uncompressed;
  } else if (l.compressed_size == PLAIN_MAX32 || l.uncompressed_size == PLAIN_MAX32) {
    // The worker's data buffer is free until the data is read: it holds
    // the extra field (at most 65,535 bytes) meanwhile.
    uint8_t* extra = a.work->data_buffer;
    platform::IoResult got = a.archive->read_at(extra_at, extra, l.extra_length);
    if (!got.ok() || got.value != l.extra_length) return false;
    if (widen_local_header(l, extra, l.extra_length, a.archive_length) != zip64_fault::none) return false;
  }
  job.data_at = extra_at + l.extra_length;
  // Data cut short by the end of the file is left to the caller, who reports it.
  return job.data_at + static_cast<int64_t>(l.compressed_size) <= a.archive_length;
}

// Decodes one job into the ring. False when the run stops.
bool run_job(decode_ahead& a, int j) {
  ahead_job& job = a.jobs[j];
  bool dropped;
  {
    std::lock_guard<std::mutex> l(a.lock);
    a.current_job = j;
    dropped = j < a.dropped_below;
  }
  job.found = !dropped && find_entry_data(a, job);
  if (!job.found) return push_end(a, j, event_kind::gave_up);

  EngineContext& w = *a.work;
  w.local = job.local;
  w.input_encrypted = 0;
  w.memory_input = 0;
  // What the header block holds of the data is used from there (it stays
  // as it is until the next job).
  const int64_t compressed = static_cast<int64_t>(job.local.compressed_size);
  const int64_t in_block = a.block_at >= 0 ? a.block_at + a.block_length - job.data_at : 0;
  const int32_t prefix = static_cast<int32_t>(std::clamp<int64_t>(std::min(in_block, compressed), 0, INPUT_BUFFER_SIZE));
  begin_entry_data_at(w, job.data_at, compressed, prefix > 0 ? a.block + (job.data_at - a.block_at) : nullptr, prefix);
  output_state& out = w.output;
  out.crc = 0;
  out.size_left = job.local.uncompressed_size;
  out.past_size = false;
  out.disk_full = 0;
  decoded_result d;
  try {
    decode_entry(w, d);
  } catch (const input_read_error&) {
    return push_end(a, j, event_kind::gave_up);
  } catch (const std::bad_alloc&) {
    return push_end(a, j, event_kind::gave_up);
  }
  return push_end(a, j, d.result == DROPPED ? event_kind::gave_up : event_kind::done, d);
}

void worker_main(decode_ahead& a) {
  uint64_t seen = 0;
  for (;;) {
    int count;
    {
      std::unique_lock<std::mutex> l(a.lock);
      a.to_worker.wait(l, [&] { return a.stopping || a.generation != seen; });
      if (a.stopping) return;
      seen = a.generation;
      count = a.job_count;
    }
    for (int j = 0; j < count; ++j)
      if (!run_job(a, j)) return;
  }
}

// ---- The caller's side ----

ahead_event take_event(decode_ahead& a) {
  // `taken` changes only on the caller's thread.
  spin_until([&] { return a.published.load(std::memory_order_acquire) != a.taken; });
  std::unique_lock<std::mutex> l(a.lock);
  if (a.pushed == a.taken) {
    a.caller_waiting = true;
    a.to_caller.wait(l, [&] { return worth_waking_caller(a); });
    a.caller_waiting = false;
  }
  ahead_event e = a.queue[a.taken % QUEUE_EVENTS];
  ++a.taken;
  if (e.kind != event_kind::block) ++a.ends_taken;
  wake_worker_for_room(a);
  return e;
}

void free_ring(decode_ahead& a, const ahead_event& e) {
  std::lock_guard<std::mutex> l(a.lock);
  a.freed = e.ring_end;
  a.released.store(a.freed, std::memory_order_release);
  wake_worker_for_room(a);
}

// Jobs below `job` are not wanted: the worker stops or skips them, and
// their events are taken and dropped here. Every job ends with exactly one
// done or gave_up event, so the caller knows when a job is over.
void drop_jobs_below(decode_ahead& a, int job) {
  if (a.caller_job >= job) return;
  {
    std::lock_guard<std::mutex> l(a.lock);
    if (a.dropped_below < job) a.dropped_below = job;
    a.to_worker.notify_one();
  }
  while (a.caller_job < job) {
    ahead_event e = take_event(a);
    free_ring(a, e);
    if (e.kind != event_kind::block) a.caller_job = e.job + 1;
  }
}

bool same_data(const EngineContext& ctx, const ahead_job& job) {
  const local_header& l = ctx.local;
  const local_header& k = job.local;
  return job.found && !ctx.input_encrypted && !ctx.memory_input && !ctx.decoder.memory_output &&
         ctx.data_end - static_cast<int64_t>(l.compressed_size) == job.data_at &&
         l.compressed_size == k.compressed_size && l.uncompressed_size == k.uncompressed_size &&
         l.method == k.method && l.flags == k.flags;
}

}  // namespace

void set_decode_ahead_mode(decode_ahead_mode mode) { g_mode.store(static_cast<int>(mode)); }

void decode_ahead_stop::operator()(decode_ahead* a) const {
  if (!a) return;
  {
    std::lock_guard<std::mutex> l(a->lock);
    a->stopping = true;
  }
  a->to_worker.notify_all();
  if (a->thread.joinable()) a->thread.join();
  if (a->work) a->work->ahead = nullptr;
  delete a;
}

decode_ahead_ptr start_decode_ahead(EngineContext& ctx) {
  const auto mode = static_cast<decode_ahead_mode>(g_mode.load());
  if (mode == decode_ahead_mode::never || !ctx.archive_file) return nullptr;
  // A test writes nothing: the calling thread would only wait for the
  // worker, and handing the blocks over would cost more than it saves.
  if (mode == decode_ahead_mode::automatic &&
      (std::thread::hardware_concurrency() < 2 || ctx.archive_length < SMALL_ARCHIVE || ctx.test_only))
    return nullptr;
  decode_ahead_ptr a(new (std::nothrow) decode_ahead);
  if (!a) return nullptr;
  // Everything the worker uses is made here, on the caller's thread.
  a->work = new (std::nothrow) EngineContext;
  a->ring = static_cast<uint8_t*>(std::malloc(RING_BYTES));
  a->block = static_cast<uint8_t*>(std::malloc(INPUT_BUFFER_SIZE));
  if (!a->work || !a->ring || !a->block) return nullptr;
  EngineContext& w = *a->work;
  w.data_buffer = static_cast<uint8_t*>(std::malloc(DATA_BUFFER_SIZE));
  if (!w.data_buffer) return nullptr;
  w.data_file = ctx.archive_file.get();
  w.message_hook = quiet_message;
  w.ahead = a.get();
  w.output.sink = ring_sink;
  a->archive = ctx.archive_file.get();
  a->archive_length = ctx.archive_length;
  try {
    a->thread = std::thread(worker_main, std::ref(*a));
  } catch (const std::system_error&) {
    return nullptr;
  }
  return a;
}

void submit_entry_block(decode_ahead& a, const EngineContext& ctx, int count) {
  int jobs = 0;
  for (int i = 0; i < count; ++i) {
    const entry_info& info = ctx.infos[i];
    const bool plain = !info.encrypted && (info.method == 0 || info.method == 6 || info.method == 8);
    a.job_of_entry[i] = plain ? jobs : -1;
    if (!plain) continue;
    ahead_job& job = a.jobs[jobs++];
    job = ahead_job{};
    job.header_at = static_cast<int64_t>(info.local_header_offset) + ctx.preceding_bytes;
    job.central_crc = info.crc32;
    job.central_compressed = info.compressed_size;
    job.central_uncompressed = info.uncompressed_size;
  }
  for (int i = count; i < ENTRY_BLOCK_SIZE; ++i) a.job_of_entry[i] = -1;
  a.caller_job = 0;
  if (jobs == 0) {
    a.job_count = 0;  // read by the worker only after a new generation
    return;
  }
  std::lock_guard<std::mutex> l(a.lock);
  a.job_count = jobs;
  a.dropped_below = 0;
  ++a.generation;
  a.to_worker.notify_one();
}

void finish_entry_block(decode_ahead& a) {
  // The count stays as it is until the next block: the worker may not even
  // have looked at this one yet.
  drop_jobs_below(a, a.job_count);
}

bool play_back_entry(EngineContext& ctx, decoded_result& d) {
  decode_ahead* a = ctx.ahead;
  if (!a || !ctx.info) return false;
  const long index = ctx.info - ctx.infos;
  if (index < 0 || index >= ENTRY_BLOCK_SIZE) return false;
  const int j = a->job_of_entry[index];
  if (j < 0) return false;
  a->job_of_entry[index] = -1;  // an entry is decoded once
  drop_jobs_below(*a, j);       // entries visited without decoding

  ahead_event e = take_event(*a);
  if (!same_data(ctx, a->jobs[j])) {
    free_ring(*a, e);
    if (e.kind != event_kind::block) a->caller_job = j + 1;
    drop_jobs_below(*a, j + 1);
    return false;
  }
  uint32_t played = 0;
  for (;;) {
    if (e.kind == event_kind::block) {
      ctx.output.given_crc = e.has_crc ? &e.crc : nullptr;
      const int r = flush_output(ctx, a->ring + e.ring_at % RING_BYTES, e.flushed);
      ctx.output.given_crc = nullptr;
      free_ring(*a, e);
      ++played;
      if (r != 0) {
        // The decoder would have stopped here with the flush's result.
        drop_jobs_below(*a, j + 1);
        d = decoded_result{};
        d.result = r;
        return true;
      }
      e = take_event(*a);
      continue;
    }
    free_ring(*a, e);
    a->caller_job = j + 1;
    if (e.kind == event_kind::done) {
      d = e.end;
      return true;
    }
    // The worker gave up midway (a read error, no memory): decode here,
    // taking the blocks it delivered as done.
    ctx.output.blocks_to_skip = played;
    decode_entry(ctx, d);
    ctx.output.blocks_to_skip = 0;
    return true;
  }
}
