#include "ui/QtMainThread.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cstdint>
#include <stdexcept>

namespace velkor {

TQtMainThread::TQtMainThread(QObject* parent)
    : QObject(parent), FWakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), FQueue([this] { Wake(); }) {
  if (FWakeFd < 0) throw std::runtime_error("Ana iş parçacığı uyandırıcısı oluşturulamadı.");
  FNotifier = new QSocketNotifier(FWakeFd, QSocketNotifier::Read, this);
  connect(FNotifier, &QSocketNotifier::activated, this, [this] { Drain(); });
}

TQtMainThread::~TQtMainThread() {
  delete FNotifier;
  ::close(FWakeFd);
}

void TQtMainThread::Post(std::function<void()> fn) { FQueue.Post(std::move(fn)); }

void TQtMainThread::Invoke(std::function<void()> fn) { FQueue.Invoke(std::move(fn)); }

int TQtMainThread::ProcessPending() { return FQueue.ProcessPending(); }

void TQtMainThread::Wake() {
  const uint64_t one = 1;
  // A full counter (never in practice) still leaves the descriptor readable, so no wake-up is lost.
  [[maybe_unused]] const ssize_t written = ::write(FWakeFd, &one, sizeof one);
}

void TQtMainThread::Drain() {
  // Reset the counter before taking the queue: a call queued after this read wakes the loop again.
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t read = ::read(FWakeFd, &count, sizeof count);
  FQueue.ProcessPending();
}

}  // namespace velkor
