#include "cli/SignalWatcher.h"

#include <pthread.h>

#include <ctime>

namespace velkor {

TSignalWatcher::TSignalWatcher(std::function<void(int)> onSignal) : FOnSignal(std::move(onSignal)) {
  sigemptyset(&FWatched);
  sigaddset(&FWatched, SIGINT);
  sigaddset(&FWatched, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &FWatched, &FPrevious);
  FThread = std::thread([this] {
    const timespec poll{0, 200 * 1000 * 1000};
    while (!FStopping) {
      const int signal = sigtimedwait(&FWatched, nullptr, &poll);
      if (signal > 0 && !FStopping) FOnSignal(signal);
    }
  });
}

TSignalWatcher::~TSignalWatcher() {
  FStopping = true;
  FThread.join();
  // A signal that came after the last wait is consumed here, not delivered with its default action on unblocking.
  const timespec now{0, 0};
  while (sigtimedwait(&FWatched, nullptr, &now) > 0) {
  }
  pthread_sigmask(SIG_SETMASK, &FPrevious, nullptr);
}

}  // namespace velkor
