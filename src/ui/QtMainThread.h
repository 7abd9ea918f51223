#pragma once
// The main-thread hand-over for the window: calls from worker threads run on the GUI thread from Qt's event loop.
// Post queues a call; Invoke queues it and blocks the worker until the GUI thread has run it (from the GUI thread
// itself it runs at once instead of deadlocking).
//
// The calls travel through the shared queue (std::mutex, std::condition_variable) and the GUI thread is woken
// through an eventfd watched by a QSocketNotifier, so every hand-over is synchronised by primitives that
// ThreadSanitizer sees; workers never touch a Qt object. Construct and destroy on the GUI thread, after the
// QCoreApplication and before the workers that use it end.
#include <QObject>

#include "platform/MainThread.h"

class QSocketNotifier;

namespace velkor {

class TQtMainThread final : public QObject, public IMainThread {
public:
  explicit TQtMainThread(QObject* parent = nullptr);
  ~TQtMainThread() override;
  TQtMainThread(const TQtMainThread&) = delete;
  TQtMainThread& operator=(const TQtMainThread&) = delete;

  void Post(std::function<void()> fn) override;
  void Invoke(std::function<void()> fn) override;
  int ProcessPending() override;

private:
  void Wake();  // any thread
  void Drain();

  int FWakeFd;
  TQueuedMainThread FQueue;
  QSocketNotifier* FNotifier;
};

}  // namespace velkor
