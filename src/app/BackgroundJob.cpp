#include "app/BackgroundJob.h"

#include <utility>

namespace velkor {

TBackgroundJob::~TBackgroundJob() {
  FAliveToken.reset();
  if (FThread.joinable()) FThread.join();
}

void TBackgroundJob::Start(std::function<std::function<void()>()> work) {
  FBusy = true;
  FThread = std::thread([this, work = std::move(work), alive = std::weak_ptr<int>(FAliveToken)] {
    std::function<void()> done = work();
    FMainThread.Post([this, done = std::move(done), alive] {
      if (!alive.lock()) return;
      FThread.join();
      FBusy = false;
      if (done) done();
    });
  });
}

}  // namespace velkor
