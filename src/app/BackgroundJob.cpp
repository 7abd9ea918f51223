#include "app/BackgroundJob.h"

#include <exception>
#include <utility>

namespace velkor {

TBackgroundJob::~TBackgroundJob() {
  FAliveToken.reset();
  if (FThread.joinable()) FThread.join();
}

void TBackgroundJob::Start(std::function<std::function<void()>()> work) {
  FBusy = true;
  FThread = std::thread([this, work = std::move(work)] {
    std::function<void()> done = work();
    Post([this, done = std::move(done)] {
      FThread.join();
      FBusy = false;
      if (done) done();
    });
  });
}

void TBackgroundJob::Start(std::function<void()> work, std::function<void(const std::string& error)> done) {
  Start([work = std::move(work), done = std::move(done)]() mutable -> std::function<void()> {
    std::string error;
    try {
      work();
    } catch (const std::exception& e) {
      error = e.what();
      if (error.empty()) error = "Bilinmeyen hata";
    } catch (...) {
      error = "Bilinmeyen hata";
    }
    // The work's own objects go here, on its thread, before the main thread hears that it ended.
    work = nullptr;
    return [done = std::move(done), error = std::move(error)] { done(error); };
  });
}

void TBackgroundJob::Post(std::function<void()> fn) {
  FMainThread.Post([alive = FAlive, fn = std::move(fn)] {
    if (alive.lock()) fn();
  });
}

}  // namespace velkor
