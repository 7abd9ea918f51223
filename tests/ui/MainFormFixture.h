#pragma once
// The main window over the real core and real files in a scratch folder: the login, the splash, the tray's presence
// and the browser are scripted, prompts answer from a script, and runs go through the real engine thread and the
// window's main-thread hand-over.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QThread>
#include <chrono>
#include <deque>
#include <memory>

#include "UiTestSupport.h"
#include "app/AppCoreHarness.h"
#include "ui/MainForm.h"
#include "ui/QtMainThread.h"
#include "ui/UiStyle.h"

namespace velkor::test {

class MainFormFixture : public ::testing::Test {
protected:
  TTempDir FDir;
  TScopedEnv FAppData{"APPDATA", (FDir / "appdata").string()};
  TScopedEnv FXdgConfig{"XDG_CONFIG_HOME", (FDir / "xdg").string()};
  TScopedEnv FTmp{"TMPDIR", (FDir / "tmp").string()};
  TFakeClock FClock;
  TQtMainThread FMain;
  TScriptedPrompts FPrompts;
  std::deque<bool> FLoginAnswers;  // missing answers log in
  std::vector<bool> FLogins;       // ForcePrompt of each login asked for
  int FSplashes = 0;
  bool FTray = true;
  std::vector<std::string> FOpenedUrls;
  std::unique_ptr<TfrmMain> FForm;

  MainFormFixture() { std::filesystem::create_directories(FDir / "tmp"); }
  ~MainFormFixture() override {
    FForm.reset();
    QApplication::processEvents();
  }

  std::filesystem::path ConfigDir() const { return FDir / "config"; }

  // Writes config.json as `change` leaves the defaults.
  void WriteConfig(const std::function<void(TBackupConfig&)>& change) {
    TConfigManager manager(ConfigDir(), FClock);
    TBackupConfig config;
    change(config);
    manager.SaveConfig(config);
  }
  // A task over a source folder "<scratch>/src/<name>" holding two files, writing into "<scratch>/dest/<name>".
  std::unique_ptr<TBackupTask> NewTask(const std::string& name) {
    auto task = std::make_unique<TBackupTask>(FClock);
    task->Name = name;
    const std::filesystem::path source = FDir / "src" / name;
    WriteTree(source, {{"a.txt", "alfa"}, {"alt/b.txt", "beta"}});
    task->SourceFolders = {source.string()};
    task->DestinationFolder = (FDir / "dest" / name).string();
    task->CompressBackup = false;
    return task;
  }

  void Open(std::vector<std::string> arguments = {}) {
    FForm.reset();
    TMainFormServices services(FPrompts, FClock, FMain);
    services.Arguments = std::move(arguments);
    services.ShowLogin = [this](bool forcePrompt) {
      FLogins.push_back(forcePrompt);
      if (FLoginAnswers.empty()) return true;
      const bool answer = FLoginAnswers.front();
      FLoginAnswers.pop_front();
      return answer;
    };
    services.ShowSplash = [this] { ++FSplashes; };
    services.TrayAvailable = [this] { return FTray; };
    services.OpenUrl = [this](const std::string& url) {
      FOpenedUrls.push_back(url);
      return true;
    };
    services.ConfigDirectory = ConfigDir();
    services.RegistryFile = FDir / "registry.json";
    FForm = std::make_unique<TfrmMain>(services);
  }

  TfrmMain& Form() { return *FForm; }

  // The activity log as shown, without the times.
  std::vector<std::string> Log() {
    std::vector<std::string> lines;
    auto* memo = Find<QPlainTextEdit>(Form(), "memoLog");
    for (const QString& line : memo->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
      const qsizetype end = line.indexOf(QStringLiteral("] "));
      lines.push_back(Std(end < 0 ? line : line.mid(end + 2)));
    }
    return lines;
  }
  bool Logged(const std::string& line) {
    const std::vector<std::string> lines = Log();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  // Runs the event loop until the core has finished every run and written every history change.
  void RunUntilIdle() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!Form().Core().IsIdle() || Form().Core().HistoryWriteBusy()) {
      QApplication::processEvents();
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the run did not end";
      QThread::msleep(2);
    }
    QApplication::processEvents();
  }
};

}  // namespace velkor::test
