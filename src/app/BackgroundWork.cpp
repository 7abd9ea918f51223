#include "app/BackgroundWork.h"

#include <stdexcept>

namespace velkor {

TBackgroundWork::~TBackgroundWork() {
  if (FThread.joinable()) FThread.join();
}

void TBackgroundWork::Start(std::function<void()> work, std::function<void(const std::string& error)> done) {
  if (FBusy) throw std::logic_error("TBackgroundWork::Start while busy");
  if (FThread.joinable()) FThread.join();
  FBusy = true;
  FThread = std::thread([this, work = std::move(work), done = std::move(done)]() mutable {
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
    Post([this, done = std::move(done), error = std::move(error)] {
      FThread.join();
      FBusy = false;
      done(error);
    });
  });
}

void TBackgroundWork::Post(std::function<void()> fn) {
  FMainThread.Post([alive = std::weak_ptr<int>(FAliveToken), fn = std::move(fn)] {
    if (alive.lock()) fn();
  });
}

}  // namespace velkor
