#pragma once
// Runs the velkor-cli program built beside the tests as a child process with its own configuration root, standard
// input from a file and its two outputs captured, so exit codes, signals and outputs are what a user would see.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "config/ConfigManager.h"
#include "platform/AppPaths.h"
#include "support/TempDir.h"

namespace velkor::test {

class TCliProcess {
public:
  TCliProcess(const std::filesystem::path& program, const std::vector<std::string>& args,
              const std::filesystem::path& workDir, const std::string& input = "")
      : FOut(workDir / ("out-" + std::to_string(++Counter()))), FErr(FOut.string() + ".err") {
    const std::filesystem::path in = FOut.string() + ".in";
    WriteFile(in, input);
    std::vector<std::string> argvText{program.string()};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argvText) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const std::string inPath = in.string(), outPath = FOut.string(), errPath = FErr.string();
    FPid = ::fork();
    if (FPid == 0) {
      const int inFd = ::open(inPath.c_str(), O_RDONLY);
      const int outFd = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int errFd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(inFd, 0);
      ::dup2(outFd, 1);
      ::dup2(errFd, 2);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
  }
  ~TCliProcess() {
    if (FPid > 0 && !FExited) {
      ::kill(FPid, SIGKILL);
      ::waitpid(FPid, nullptr, 0);
    }
  }

  // The exit status, or -1 when the process did not end within `timeout` (it is then killed).
  int Wait(std::chrono::seconds timeout = std::chrono::seconds(120)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (::waitpid(FPid, &status, WNOHANG) == FPid) {
        FExited = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }
  void Signal(int signal) { ::kill(FPid, signal); }
  // Waits until standard output holds `text`; false when the process ended or `timeout` passed first.
  bool WaitForOutput(const std::string& text, std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      if (Out().find(text) != std::string::npos) return true;
      siginfo_t info{};
      if (::waitid(P_PID, static_cast<id_t>(FPid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0)
        return Out().find(text) != std::string::npos;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  // What the process has written so far ("" before it has opened its outputs).
  std::string Out() const { return std::filesystem::exists(FOut) ? ReadFile(FOut) : std::string(); }
  std::string Err() const { return std::filesystem::exists(FErr) ? ReadFile(FErr) : std::string(); }

private:
  static int& Counter() {
    static int counter = 0;
    return counter;
  }

  std::filesystem::path FOut;
  std::filesystem::path FErr;
  pid_t FPid = -1;
  bool FExited = false;
};

// The program's own configuration root (APPDATA) and scratch folders per test.
class CliHarness : public ::testing::Test {
protected:
  TTempDir FDir;
  TScopedEnv FAppData{"APPDATA", (FDir / "appdata").string()};
  TScopedEnv FXdg{"XDG_CONFIG_HOME", (FDir / "xdg").string()};
  TScopedEnv FTmp{"TMPDIR", (FDir / "tmp").string()};

  CliHarness() { std::filesystem::create_directories(FDir / "tmp"); }

  static std::filesystem::path Program() {
    // The test programs live in <build>/tests, the tool in <build>/src/cli.
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "src" / "cli" / "velkor-cli";
  }

  struct TResult {
    int Exit;
    std::string Out;
    std::string Err;
  };
  TResult RunCli(const std::vector<std::string>& args, const std::string& input = "") {
    TCliProcess process(Program(), args, FDir.Path(), input);
    const int exit = process.Wait();
    return {exit, process.Out(), process.Err()};
  }

#ifdef VELKOR_KILL_POINT_LIBRARY
  // The same, with the preloaded library preload/kill_point.c set to kill the process with SIGKILL at the `at`-th
  // `call` on a path containing `path`.
  TResult RunCliKilledAt(const std::vector<std::string>& args, const std::string& call, const std::string& path,
                         int at) {
    const char* asan = std::getenv("ASAN_OPTIONS");
    // The library is not built with the sanitizer runtime, which would otherwise insist on coming first.
    TScopedEnv asanOptions("ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0");
    TScopedEnv preload("LD_PRELOAD", VELKOR_KILL_POINT_LIBRARY);
    TScopedEnv watchedCall("VELKOR_KILL_CALL", call);
    TScopedEnv watchedPath("VELKOR_KILL_PATH", path);
    TScopedEnv watchedAt("VELKOR_KILL_AT", std::to_string(at));
    return RunCli(args);
  }
#endif

  TConfigManager Manager() { return TConfigManager(GetConfigDirectory()); }

  // Writes config.json with one task per call of `fill` made on a fresh task, and the general settings `settings`
  // makes.
  void SaveTasks(const std::vector<std::function<void(TBackupTask&)>>& fills,
                 const std::function<void(TBackupConfig&)>& settings = {}) {
    TBackupConfig config;
    if (settings) settings(config);
    for (const auto& fill : fills) {
      config.Tasks.push_back(std::make_unique<TBackupTask>());
      fill(*config.Tasks.back());
    }
    Manager().SaveConfig(config);
  }

  // A task named `name` over "<scratch>/src/Docs" into "<scratch>/dest", ZIP output, no schedule.
  std::function<void(TBackupTask&)> Task(const std::string& name, TBackupType type = btFull) {
    return [this, name, type](TBackupTask& task) {
      task.Name = name;
      task.SourceFolders = {(FDir / "src" / "Docs").string()};
      task.DestinationFolder = (FDir / "dest").string();
      task.BackupType = type;
    };
  }
};

}  // namespace velkor::test
