#pragma once
// Deflate of archive entries in independent blocks, so one entry can be compressed on several cores.
//
// Each block of an entry is compressed on its own, primed with the 32 KiB of data before it; every block but the
// last ends on a byte boundary (a sync flush), so the blocks joined in order are one raw Deflate stream that
// compresses about as well as one made in a single pass. The CRC-32 of each block is taken with it; the CRCs of
// an entry's blocks join with crc32_combine.
//
// TDeflatePool runs the blocks on a few worker threads and hands them back in the order they were given. Jobs
// are owned by the pool between Submit and Next and by the caller otherwise; the pool is used by one thread.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct z_stream_s;

namespace velkor {

// Fixes the heap's thresholds for the whole process, once: archives reuse their blocks, and small entries one after
// another would otherwise make the heap hand memory back and fault it in again for every file.
void TuneHeapForArchives();

// What the first block of an entry showed about the rest of it.
enum TDeflateProbe : int { dpUnknown, dpCompresses, dpIncompressible };

// One block of one entry, with room for its result. Kept and filled again by its owner, so blocks cost no
// allocation once the run is going.
struct TDeflateJob {
  std::vector<unsigned char> Input;  // the block's data: InputSize bytes of it
  size_t InputSize = 0;
  std::vector<unsigned char> Dictionary;  // the entry's data just before this block (up to 32 KiB)
  bool First = false;                     // the entry's first block: it decides the probe
  bool Last = false;                      // ends the entry's Deflate stream
  // Shared by the blocks of one entry: once its first block compressed poorly, later blocks go in as stored
  // blocks (still Deflate) instead of costing a compression that gains nothing.
  std::shared_ptr<std::atomic<int>> Probe;
  uint64_t Tag = 0;  // the owner's: which entry the block belongs to

  std::vector<unsigned char> Output;  // the block's Deflate data: OutputSize bytes of it
  size_t OutputSize = 0;
  uint32_t Crc = 0;  // of the block's data
  bool Failed = false;
};

// Compresses blocks on the calling thread with one zlib stream, kept for every block (a new stream per entry would
// allocate and free its window every time).
class TBlockDeflater {
public:
  TBlockDeflater();
  ~TBlockDeflater();
  TBlockDeflater(const TBlockDeflater&) = delete;
  TBlockDeflater& operator=(const TBlockDeflater&) = delete;

  // Fills the job's Output, OutputSize and Crc from its input; false when zlib fails (out of memory).
  bool Compress(TDeflateJob& job);

private:
  std::unique_ptr<z_stream_s> FStream;
  bool FReady = false;
  int FLevel = -1;
};

class TDeflatePool {
public:
  // `workers` threads, at least one.
  explicit TDeflatePool(unsigned workers);
  // Stops the workers once their current blocks are done; jobs not yet returned are freed.
  ~TDeflatePool();
  TDeflatePool(const TDeflatePool&) = delete;
  TDeflatePool& operator=(const TDeflatePool&) = delete;

  // One worker per core, at most four.
  static unsigned DefaultWorkers();
  unsigned Workers() const { return static_cast<unsigned>(FThreads.size()); }

  void Submit(std::unique_ptr<TDeflateJob> job);
  // Jobs submitted and not yet taken back.
  size_t InFlight() const { return FOrder.size(); }
  // The oldest job once it is compressed; with `wait` false, null when it is not done yet. Null when none is in
  // flight.
  std::unique_ptr<TDeflateJob> Next(bool wait);

private:
  struct TSlot {
    std::unique_ptr<TDeflateJob> Job;
    bool Done = false;
  };
  void Work();

  std::mutex FLock;
  std::condition_variable FWorkReady;
  std::condition_variable FJobDone;
  std::deque<TSlot*> FPending;  // submitted, not yet taken by a worker
  std::deque<std::unique_ptr<TSlot>> FOrder;
  bool FStopping = false;
  std::vector<std::thread> FThreads;
};

}  // namespace velkor
