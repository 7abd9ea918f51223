#include "platform/MainThread.h"

#include <exception>

namespace velkor {

TQueuedMainThread::TQueuedMainThread(std::function<void()> wakeup)
    : FMainThreadId(std::this_thread::get_id()), FWakeup(std::move(wakeup)) {}

void TQueuedMainThread::Post(std::function<void()> fn) {
  {
    std::lock_guard<std::mutex> guard(FLock);
    FQueue.push_back(std::move(fn));
  }
  FQueued.notify_all();
  if (FWakeup) FWakeup();
}

void TQueuedMainThread::Invoke(std::function<void()> fn) {
  if (IsMainThread()) {
    fn();
    return;
  }
  std::mutex doneLock;
  std::condition_variable doneSignal;
  bool done = false;
  std::exception_ptr error;
  Post([&] {
    try {
      fn();
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard<std::mutex> guard(doneLock);
    done = true;
    doneSignal.notify_all();
  });
  std::unique_lock<std::mutex> lock(doneLock);
  doneSignal.wait(lock, [&] { return done; });
  if (error) std::rethrow_exception(error);
}

int TQueuedMainThread::ProcessPending() {
  std::deque<std::function<void()>> batch;
  {
    std::lock_guard<std::mutex> guard(FLock);
    batch.swap(FQueue);
  }
  for (auto& fn : batch) fn();
  return static_cast<int>(batch.size());
}

bool TQueuedMainThread::WaitForWork(int timeoutMs) {
  std::unique_lock<std::mutex> lock(FLock);
  return FQueued.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !FQueue.empty(); });
}

}  // namespace velkor
