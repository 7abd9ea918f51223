#pragma once
// Changes of history.json off the main thread. Each change rewrites the whole file, which for a long history takes
// seconds, so the main thread only queues it: one writer thread (with a TConfigManager of its own on the same
// folder) carries the changes out one after another in the order they were queued, and each one's outcome comes
// back to the main thread through IMainThread, followed by `onWritten` (the history list's refresh).
//
// Reads see the queue. A read on the main thread (with the main thread's TConfigManager) holds the writer's lock
// while it reads the file, and replays the changes still queued on what it read, so it gives what the file will
// hold once they have landed, without waiting for them. The writer changes the file on disk (the rename at the end
// of a write, the removal of the file) and takes the change off the queue in one step under that lock, so a read
// never sees a change twice or not at all. The writer holds the lock for that step only, and a reader holds it
// for one pass over the file; neither waits for the other's long work.
//
// Each file the writer makes comes with its index (THistoryIndex), handed over in that same step: reads of a file
// that is still that version take the list's rows from it and read the one entry they need, instead of a pass
// over the whole file.
//
// Every method is for the main thread. The destructor waits until every queued change has landed (a process killed
// meanwhile keeps the old file: writes are atomic) and reports the failures among them through `onFailed`, but
// runs no `landed` step and no refresh.
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "config/ConfigManager.h"
#include "platform/Clock.h"
#include "platform/MainThread.h"

namespace velkor {

class THistoryWriter {
public:
  // Runs on the main thread once a change has landed on disk.
  using TLanded = std::function<void()>;
  // Runs on the main thread with the store's message when a change failed; the file then stays as it was.
  using TFailed = std::function<void(const std::string& error)>;

  // `folder` holds history.json. `onWritten` runs after each batch of outcomes (none during destruction);
  // `onFailed` reports a failed change that brought no TFailed of its own.
  THistoryWriter(const std::filesystem::path& folder, IClock& clock, IMainThread& mainThread,
                 std::function<void()> onWritten, TFailed onFailed);
  ~THistoryWriter();
  THistoryWriter(const THistoryWriter&) = delete;
  THistoryWriter& operator=(const THistoryWriter&) = delete;

  const std::filesystem::path& Folder() const { return FFolder; }

  // The changes of TConfigManager, queued.
  void AddItem(TBackupHistoryItem item, TFailed failed = {});
  void DeleteItem(int index, TLanded landed = {}, TFailed failed = {});
  void DeleteByOutputPaths(std::vector<std::string> paths, TLanded landed = {}, TFailed failed = {});
  void Clear(TLanded landed = {}, TFailed failed = {});

  // What `reader`'s reads would give once every queued change has landed; its notes describe the file as read.
  std::vector<THistorySummary> LoadHistorySummary(TConfigManager& reader);
  std::optional<TBackupHistoryItem> LoadHistoryItem(TConfigManager& reader, int index);

  // A change is queued or its outcome has not yet been handed back.
  bool Busy() const { return FUnreported > 0; }

private:
  struct TChange {
    enum TKind { chAdd, chDeleteItem, chDeleteByPaths, chClear } Kind = chAdd;
    TBackupHistoryItem Item;    // chAdd: as given, for the file
    TBackupHistoryItem Stored;  // chAdd: as a read of the file will give it back, for the readers
    int Index = -1;
    std::vector<std::string> Paths;
    TLanded Landed;
    TFailed Failed;
  };
  struct TOutcome {
    std::shared_ptr<const TChange> Change;
    std::string Error;  // empty when it landed
  };
  using TQueue = std::deque<std::shared_ptr<const TChange>>;

  void Queue(TChange change);
  void Run();
  void Perform(const TChange& change);
  void Deliver(bool destroying);
  template <typename TEntry, typename TFromQueued, typename TOutputPathOf>
  static void Replay(std::vector<TEntry>& entries, const TQueue& queue, TFromQueued fromQueued,
                     TOutputPathOf outputPathOf);

  const std::filesystem::path FFolder;
  IClock& FClock;
  IMainThread& FMainThread;
  std::function<void()> FOnWritten;
  TFailed FOnFailed;
  int FUnreported = 0;  // main thread

  TConfigManager FStore;  // the writer thread's
  bool FLanded = false;   // the writer thread's: the current change has left the queue with its file change

  std::mutex FLock;
  std::condition_variable FWake;
  TQueue FQueue;                                       // front: the change being carried out
  std::shared_ptr<const THistoryIndex> FWrittenIndex;  // of the file the last change left
  std::deque<TOutcome> FOutcomes;
  bool FStopping = false;

  // Outcomes posted before the writer was destroyed hold a weak reference and then do nothing; the writer thread
  // reads only the weak copy, which the destructor leaves alone.
  std::shared_ptr<int> FAliveToken = std::make_shared<int>(0);
  const std::weak_ptr<int> FAlive = FAliveToken;
  std::thread FThread;
};

}  // namespace velkor
