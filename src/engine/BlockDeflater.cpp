#include "engine/BlockDeflater.h"

#include <malloc.h>
#include <zlib.h>

#include <algorithm>
#include <mutex>

namespace velkor {

namespace {

constexpr int CompressionLevel = 6;
// A first block that keeps more than this share of its size is not worth compressing further.
constexpr double IncompressibleRatio = 0.95;
// A block this small says little about the rest of the entry.
constexpr size_t SmallestProbe = 4096;

}  // namespace

void TuneHeapForArchives() {
  static std::once_flag once;
  std::call_once(once, [] {
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
    mallopt(M_TRIM_THRESHOLD, 32 << 20);
  });
}

TBlockDeflater::TBlockDeflater() : FStream(std::make_unique<z_stream_s>()) {}

TBlockDeflater::~TBlockDeflater() {
  if (FReady) deflateEnd(FStream.get());
}

bool TBlockDeflater::Compress(TDeflateJob& job) {
  const bool stored = job.Probe && job.Probe->load(std::memory_order_relaxed) == dpIncompressible && !job.First;
  const int level = stored ? 0 : CompressionLevel;
  z_stream& z = *FStream;
  if (!FReady) {
    z = z_stream{};
    if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    FReady = true;
    FLevel = level;
  } else {
    if (deflateReset(&z) != Z_OK) return false;
    // Right after a reset nothing is pending, so changing the level only changes the parameters.
    if (level != FLevel && deflateParams(&z, level, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    FLevel = level;
  }
  if (!stored && !job.Dictionary.empty() &&
      deflateSetDictionary(&z, job.Dictionary.data(), static_cast<uInt>(job.Dictionary.size())) != Z_OK)
    return false;

  const size_t bound = deflateBound(&z, job.InputSize) + 16;
  if (job.Output.size() < bound) job.Output.resize(bound);
  z.next_in = job.Input.data();
  z.avail_in = static_cast<uInt>(job.InputSize);
  z.next_out = job.Output.data();
  z.avail_out = static_cast<uInt>(job.Output.size());
  const int flush = job.Last ? Z_FINISH : Z_SYNC_FLUSH;
  for (;;) {
    const int status = deflate(&z, flush);
    if (status == Z_STREAM_ERROR) return false;
    if (z.avail_in == 0 && z.avail_out > 0 && (status == Z_STREAM_END || flush == Z_SYNC_FLUSH)) break;
    // The bound leaves room for all of it; should zlib ever need more, the buffer grows.
    const size_t used = job.Output.size() - z.avail_out;
    job.Output.resize(job.Output.size() * 2);
    z.next_out = job.Output.data() + used;
    z.avail_out = static_cast<uInt>(job.Output.size() - used);
  }
  job.OutputSize = job.Output.size() - z.avail_out;
  job.Crc = static_cast<uint32_t>(crc32(0, job.Input.data(), static_cast<uInt>(job.InputSize)));
  if (job.First && job.Probe && job.InputSize >= SmallestProbe) {
    const bool poor = static_cast<double>(job.OutputSize) > IncompressibleRatio * static_cast<double>(job.InputSize);
    job.Probe->store(poor ? dpIncompressible : dpCompresses, std::memory_order_relaxed);
  }
  return true;
}

TDeflatePool::TDeflatePool(unsigned workers) {
  workers = std::max(1u, workers);
  FThreads.reserve(workers);
  for (unsigned i = 0; i < workers; ++i) FThreads.emplace_back([this] { Work(); });
}

TDeflatePool::~TDeflatePool() {
  {
    const std::lock_guard lock(FLock);
    FStopping = true;
  }
  FWorkReady.notify_all();
  for (auto& thread : FThreads) thread.join();
}

unsigned TDeflatePool::DefaultWorkers() {
  const unsigned cores = std::thread::hardware_concurrency();
  return std::clamp(cores, 1u, 4u);
}

void TDeflatePool::Submit(std::unique_ptr<TDeflateJob> job) {
  auto slot = std::make_unique<TSlot>();
  slot->Job = std::move(job);
  {
    const std::lock_guard lock(FLock);
    FPending.push_back(slot.get());
    FOrder.push_back(std::move(slot));
  }
  FWorkReady.notify_one();
}

std::unique_ptr<TDeflateJob> TDeflatePool::Next(bool wait) {
  std::unique_lock lock(FLock);
  if (FOrder.empty()) return nullptr;
  TSlot& head = *FOrder.front();
  if (!head.Done) {
    if (!wait) return nullptr;
    FJobDone.wait(lock, [&head] { return head.Done; });
  }
  std::unique_ptr<TDeflateJob> job = std::move(head.Job);
  FOrder.pop_front();
  return job;
}

void TDeflatePool::Work() {
  TBlockDeflater deflater;
  for (;;) {
    TSlot* slot = nullptr;
    {
      std::unique_lock lock(FLock);
      FWorkReady.wait(lock, [this] { return FStopping || !FPending.empty(); });
      if (FStopping) return;
      slot = FPending.front();
      FPending.pop_front();
    }
    slot->Job->Failed = !deflater.Compress(*slot->Job);
    {
      const std::lock_guard lock(FLock);
      slot->Done = true;
    }
    FJobDone.notify_all();
  }
}

}  // namespace velkor
