// The window's main-thread hand-over: a real engine run whose worker posts progress and its completion to the GUI
// thread through Qt's event loop, a blocking hand-over from the GUI thread itself, errors carried back to the
// worker, and a GUI thread that waits for a worker without its event loop.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <stdexcept>
#include <thread>

#include "engine/BackupEngine.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"
#include "ui/QtMainThread.h"

namespace velkor {
namespace {

using test::TFakeClock;
using test::TScopedEnv;
using test::TTempDir;

// Runs the event loop until `done` or a minute has passed.
void RunEventLoopUntil(const std::function<bool()>& done) {
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (done()) loop.quit();
  });
  poll.start(2);
  QTimer::singleShot(60000, &loop, [&] {
    ADD_FAILURE() << "timed out";
    loop.quit();
  });
  loop.exec();
}

TEST(QtMainThread, EngineRunReportsOnTheGuiThread) {
  TTempDir dir;
  std::filesystem::create_directories(dir / "tmp");
  TScopedEnv temp("TMPDIR", (dir / "tmp").string());
  test::TFileTree tree;
  for (int i = 0; i < 40; ++i) tree["Belgeler/alt/dosya" + std::to_string(i) + ".txt"] = std::string(20000, 'x');
  test::WriteTree(dir.Path(), tree);

  TQtMainThread mainThread;
  TFakeClock clock;
  const std::thread::id gui = std::this_thread::get_id();
  std::vector<int> progress;
  bool offThread = false;
  std::optional<std::pair<bool, std::string>> completion;
  {
    TBackupEngine engine(mainThread, clock);
    engine.SourceFolders().push_back((dir / "Belgeler").string());
    engine.SetDestinationFolder((dir / "hedef").string());
    engine.SetBackupNamePrefix("Belgeler");
    engine.SetOnProgress([&](const std::string&, int percent) {
      offThread |= std::this_thread::get_id() != gui;
      progress.push_back(percent);
    });
    engine.SetOnComplete([&](bool success, const std::string& message) {
      offThread |= std::this_thread::get_id() != gui;
      completion.emplace(success, message);
    });
    engine.StartBackup();
    RunEventLoopUntil([&] { return completion.has_value() && !engine.IsRunning(); });
    EXPECT_EQ(engine.LastBackupFileCount(), 40);
  }
  ASSERT_TRUE(completion.has_value());
  EXPECT_TRUE(completion->first) << completion->second;
  EXPECT_FALSE(offThread);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), 100);
}

TEST(QtMainThread, InvokeRunsAtOnceOnTheGuiThreadAndCarriesErrorsBack) {
  TQtMainThread mainThread;
  bool ran = false;
  mainThread.Invoke([&] { ran = true; });  // no event loop needed, no deadlock
  EXPECT_TRUE(ran);

  std::atomic<bool> finished{false};
  std::string error;
  std::thread worker([&] {
    try {
      mainThread.Invoke([] { throw std::runtime_error("Hedef klasöre yazılamadı."); });
    } catch (const std::exception& e) {
      error = e.what();
    }
    finished = true;
  });
  RunEventLoopUntil([&] { return finished.load(); });
  worker.join();
  EXPECT_EQ(error, "Hedef klasöre yazılamadı.");
}

TEST(QtMainThread, AWaitingGuiThreadRunsTheWorkersCallsInOrder) {
  TQtMainThread mainThread;
  std::vector<int> order;
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    mainThread.Post([&] { order.push_back(1); });
    mainThread.Invoke([&] { order.push_back(2); });  // blocks until the GUI thread ran it
    mainThread.Post([&] { order.push_back(3); });
    finished = true;
  });
  // As a window that waits for its worker on shutdown: no event loop, only ProcessPending.
  int ran = 0;
  while (!finished) ran += mainThread.ProcessPending();
  worker.join();
  ran += mainThread.ProcessPending();
  EXPECT_EQ(ran, 3);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  // The wake-ups of the calls already run find nothing left to do.
  QCoreApplication::processEvents();
  EXPECT_EQ(order.size(), 3u);
}

}  // namespace
}  // namespace velkor
