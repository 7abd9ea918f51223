#include "app/HistoryWriter.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "util/StringUtils.h"

namespace velkor {

namespace {

bool NamesOneOf(const std::string& outputPath, const std::vector<std::string>& paths) {
  return std::any_of(paths.begin(), paths.end(), [&](const std::string& p) { return SameText(outputPath, p); });
}

// An entry of the history as a read replays the queue on it: one the file holds, or one still queued.
struct TEntryRef {
  int FileIndex = -1;
  const TBackupHistoryItem* Queued = nullptr;
  const std::string* OutputPath = nullptr;
};

}  // namespace

THistoryWriter::THistoryWriter(const std::filesystem::path& folder, IClock& clock, IMainThread& mainThread,
                               std::function<void()> onWritten, TFailed onFailed)
    : FFolder(folder),
      FClock(clock),
      FMainThread(mainThread),
      FOnWritten(std::move(onWritten)),
      FOnFailed(std::move(onFailed)),
      FStore(folder, clock) {
  FStore.SetHistoryCommitGuard([this](const std::function<void()>& change) {
    std::lock_guard<std::mutex> lock(FLock);
    change();
    FQueue.pop_front();
    FLanded = true;
    // The new file's index goes with it, so no read sees the file without it.
    FWrittenIndex = FStore.HistoryIndex();
  });
  FThread = std::thread([this] { Run(); });
}

THistoryWriter::~THistoryWriter() {
  FAliveToken.reset();
  {
    std::lock_guard<std::mutex> lock(FLock);
    FStopping = true;
  }
  FWake.notify_one();
  FThread.join();
  Deliver(true);
}

void THistoryWriter::AddItem(TBackupHistoryItem item, TFailed failed) {
  TChange change;
  change.Kind = TChange::chAdd;
  change.Stored = HistoryItemAsStored(item, FClock);
  change.Item = std::move(item);
  change.Failed = std::move(failed);
  Queue(std::move(change));
}

void THistoryWriter::DeleteItem(int index, TLanded landed, TFailed failed) {
  TChange change;
  change.Kind = TChange::chDeleteItem;
  change.Index = index;
  change.Landed = std::move(landed);
  change.Failed = std::move(failed);
  Queue(std::move(change));
}

void THistoryWriter::DeleteByOutputPaths(std::vector<std::string> paths, TLanded landed, TFailed failed) {
  TChange change;
  change.Kind = TChange::chDeleteByPaths;
  change.Paths = std::move(paths);
  change.Landed = std::move(landed);
  change.Failed = std::move(failed);
  Queue(std::move(change));
}

void THistoryWriter::Clear(TLanded landed, TFailed failed) {
  TChange change;
  change.Kind = TChange::chClear;
  change.Landed = std::move(landed);
  change.Failed = std::move(failed);
  Queue(std::move(change));
}

void THistoryWriter::Queue(TChange change) {
  ++FUnreported;
  {
    std::lock_guard<std::mutex> lock(FLock);
    FQueue.push_back(std::make_shared<const TChange>(std::move(change)));
  }
  FWake.notify_one();
}

void THistoryWriter::Run() {
  for (;;) {
    std::shared_ptr<const TChange> change;
    {
      std::unique_lock<std::mutex> lock(FLock);
      // Stopping still carries out everything queued.
      FWake.wait(lock, [this] { return FStopping || !FQueue.empty(); });
      if (FQueue.empty()) return;
      change = FQueue.front();
    }
    FLanded = false;
    std::string error;
    try {
      Perform(*change);
    } catch (const std::exception& e) {
      error = e.what();
      if (error.empty()) error = "Bilinmeyen hata";
    } catch (...) {
      error = "Bilinmeyen hata";
    }
    {
      std::lock_guard<std::mutex> lock(FLock);
      // A change that left the file as it was (nothing to delete, or it failed) leaves the queue here.
      if (!FLanded) FQueue.pop_front();
      FOutcomes.push_back({std::move(change), std::move(error)});
    }
    FMainThread.Post([this, alive = FAlive] {
      if (alive.lock()) Deliver(false);
    });
  }
}

void THistoryWriter::Perform(const TChange& change) {
  switch (change.Kind) {
    case TChange::chAdd: FStore.AddHistoryItem(change.Item); break;
    case TChange::chDeleteItem: FStore.DeleteHistoryItem(change.Index); break;
    case TChange::chDeleteByPaths: FStore.DeleteHistoryByOutputPaths(change.Paths); break;
    case TChange::chClear: FStore.ClearHistory(); break;
  }
}

void THistoryWriter::Deliver(bool destroying) {
  std::deque<TOutcome> outcomes;
  {
    std::lock_guard<std::mutex> lock(FLock);
    outcomes.swap(FOutcomes);
  }
  if (outcomes.empty()) return;
  for (const TOutcome& outcome : outcomes) {
    --FUnreported;
    if (!outcome.Error.empty()) {
      // While the owner goes, only the plain report: a change's own handler may ask for more than a log line.
      const TFailed& failed = outcome.Change->Failed && !destroying ? outcome.Change->Failed : FOnFailed;
      if (failed) failed(outcome.Error);
    } else if (!destroying && outcome.Change->Landed) {
      outcome.Change->Landed();
    }
  }
  if (!destroying && FOnWritten) FOnWritten();
}

// The store's own rules for each change, applied to a list of entries (the store's DeleteHistoryItem and
// DeleteHistoryByOutputPaths semantics: an index outside the list and an empty path list change nothing).
template <typename TEntry, typename TFromQueued, typename TOutputPathOf>
void THistoryWriter::Replay(std::vector<TEntry>& entries, const TQueue& queue, TFromQueued fromQueued,
                            TOutputPathOf outputPathOf) {
  for (const auto& change : queue) {
    switch (change->Kind) {
      case TChange::chAdd: entries.push_back(fromQueued(change->Stored)); break;
      case TChange::chDeleteItem:
        if (change->Index >= 0 && change->Index < static_cast<int>(entries.size()))
          entries.erase(entries.begin() + change->Index);
        break;
      case TChange::chDeleteByPaths:
        std::erase_if(entries, [&](const TEntry& e) { return NamesOneOf(outputPathOf(e), change->Paths); });
        break;
      case TChange::chClear: entries.clear(); break;
    }
  }
}

std::vector<THistorySummary> THistoryWriter::LoadHistorySummary(TConfigManager& reader) {
  std::unique_lock<std::mutex> lock(FLock);
  reader.OfferHistoryIndex(FWrittenIndex);
  std::vector<THistorySummary> entries = reader.LoadHistorySummary();
  const TQueue queue = FQueue;
  lock.unlock();
  Replay(entries, queue, HistorySummaryOf,
         [](const THistorySummary& s) -> const std::string& { return s.Item.OutputPath; });
  return entries;
}

std::optional<TBackupHistoryItem> THistoryWriter::LoadHistoryItem(TConfigManager& reader, int index) {
  if (index < 0) return std::nullopt;
  std::lock_guard<std::mutex> lock(FLock);
  reader.OfferHistoryIndex(FWrittenIndex);
  if (FQueue.empty()) return reader.LoadHistoryItem(index);
  // Which entry the index names depends on what the queued changes do to the list, deletions by output path
  // included: the summary pass tells, and the file stays as it is until the lock is let go.
  const std::vector<THistorySummary> summaries = reader.LoadHistorySummary();
  std::vector<TEntryRef> entries;
  entries.reserve(summaries.size());
  for (size_t i = 0; i < summaries.size(); ++i)
    entries.push_back({static_cast<int>(i), nullptr, &summaries[i].Item.OutputPath});
  Replay(
      entries, FQueue,
      [](const TBackupHistoryItem& queued) {
        return TEntryRef{-1, &queued, &queued.OutputPath};
      },
      [](const TEntryRef& e) -> const std::string& { return *e.OutputPath; });
  if (static_cast<size_t>(index) >= entries.size()) return std::nullopt;
  const TEntryRef& entry = entries[static_cast<size_t>(index)];
  if (entry.Queued != nullptr) return *entry.Queued;
  return reader.LoadHistoryItem(entry.FileIndex);
}

}  // namespace velkor
