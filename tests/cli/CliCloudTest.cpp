// velkor-cli runs of cloud-only, hybrid and "NAS / WebDAV" tasks against the real S3 server: what ends up in the
// bucket, the history, the chain and the staging folder, and what a failed or killed upload leaves.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <thread>

#include "CliHarness.h"
#include "app/RunDestination.h"
#include "cloud/HttpCaptureServer.h"
#include "crypto/SecureStorage.h"
#include "integration/S3Peer.h"
#include "platform/Leftovers.h"
#include "util/StringUtils.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* RemovedLine = "Yarım kalmış bir işlemden kalan geçici öğe silindi: ";

class CliCloud : public test::CliHarness {
protected:
  test::TTempDir FServerDir;
  test::TS3Peer FPeer{FServerDir.Path()};
  test::TScopedEnv FSecretFallback{"QELT_CLOUD_SECRET_KEY", std::nullopt};

  CliCloud() { test::WriteTree(FDir / "src" / "Docs", {{"a.txt", "alfa"}, {"alt/b ç.txt", "beta"}}); }

  // A task over the sources whose cloud copy goes to `destination` (the S3 server's bucket by default).
  std::function<void(TBackupTask&)> CloudTask(const std::string& name, TStorageMode mode, bool compress = true,
                                              const std::string& secret = test::S3PeerKey) {
    return [=, this](TBackupTask& task) {
      Task(name)(task);
      task.StorageMode = mode;
      task.CompressBackup = compress;
      task.CloudProvider = "MinIO";
      task.CloudAccountName = test::S3PeerKey;
      task.CloudPasswordProtected = ProtectString(secret);
      task.CloudDestinationFolder = FPeer.Endpoint() + "/qelt-backup/gunluk";
    };
  }

  TBackupHistoryItem LastHistoryItem() {
    const auto history = Manager().LoadHistory();
    EXPECT_FALSE(history.empty());
    return history.empty() ? TBackupHistoryItem() : history.back();
  }

  fs::path Staging(const std::string& taskName) {
    TBackupTask task;
    task.Name = taskName;
    return GetCloudStagingFolder(task);
  }

  static std::vector<std::string> Entries(const fs::path& folder) {
    std::vector<std::string> names;
    if (fs::exists(folder))
      for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    return names;
  }

  // The names inside a ZIP archive's bytes.
  std::set<std::string> ZipNames(const std::string& bytes) {
    test::WriteFile(FDir / "check.zip", bytes);
    std::string listing;
    EXPECT_EQ(test::RunCommand("/usr/bin/python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
                               "assert z.testzip() is None; print(\"\\n\".join(z.namelist()))' " +
                                   test::ShellQuote((FDir / "check.zip").string()),
                               &listing),
              0)
        << listing;
    std::set<std::string> names;
    for (const std::string& line : SplitString(Trim(listing), '\n')) names.insert(Trim(line));
    return names;
  }
};

const std::set<std::string> SourceEntries{"Docs/a.txt", "Docs/alt/b ç.txt"};

TEST_F(CliCloud, ACloudOnlyRunEndsInTheBucketAndLeavesNoStagingOutput) {
  SaveTasks({[&](TBackupTask& task) {
    CloudTask("Bulut Görevi", smCloud)(task);
    task.MaxBackupsToKeep = 1;
  }});
  const TResult first = RunCli({"run", "Bulut Görevi"});
  ASSERT_EQ(first.Exit, 0) << first.Out << first.Err;

  const TBackupHistoryItem item = LastHistoryItem();
  static const std::regex remote(R"(s3://qelt-backup/gunluk/Bulut Görevi_\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d\.zip)");
  EXPECT_TRUE(item.Success) << item.Details;
  EXPECT_TRUE(std::regex_match(item.OutputPath, remote)) << item.OutputPath;
  EXPECT_EQ(item.CloudOutputPath, item.OutputPath);
  EXPECT_EQ(item.LocalOutputPath, "");
  EXPECT_EQ(item.CloudStatus, "Tamamlandı");
  EXPECT_NE(item.Details.find(" | Cloud upload: " + item.OutputPath), std::string::npos) << item.Details;
  EXPECT_NE(first.Out.find("Cloud çıktı: " + item.OutputPath), std::string::npos) << first.Out;
  EXPECT_EQ(Entries(Staging("Bulut Görevi")), std::vector<std::string>{});
  const auto objects = FPeer.Objects("qelt-backup");
  const std::string key = item.OutputPath.substr(std::string("s3://qelt-backup/").size());
  ASSERT_TRUE(objects.count(key)) << key;
  EXPECT_EQ(ZipNames(objects.at(key)), SourceEntries);
  {
    const auto config = Manager().LoadConfig();
    ASSERT_EQ(config->Tasks.at(0)->BackupChain.size(), 1u);
    EXPECT_EQ(config->Tasks.at(0)->BackupChain[0]->OutputPath, item.OutputPath);
  }

  // A second set beyond the limit of one: the first set's chain item and history entry go, its object stays.
  std::this_thread::sleep_for(1100ms);
  const TResult second = RunCli({"run", "Bulut Görevi"});
  ASSERT_EQ(second.Exit, 0) << second.Out << second.Err;
  const auto history = Manager().LoadHistory();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_NE(history[0].OutputPath, item.OutputPath);
  const auto config = Manager().LoadConfig();
  ASSERT_EQ(config->Tasks.at(0)->BackupChain.size(), 1u);
  EXPECT_EQ(config->Tasks.at(0)->BackupChain[0]->OutputPath, history[0].OutputPath);
  EXPECT_EQ(FPeer.Objects("qelt-backup").size(), 2u);
}

TEST_F(CliCloud, TheProgressLineFollowsTheUpload) {
  std::string noise(8 << 20, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 2654435761u) >> 13);
  test::WriteFile(FDir / "src" / "Docs" / "buyuk.bin", noise);
  SaveTasks({CloudTask("Bulut", smCloud)});
  std::string terminal;
  // On a terminal, as a user sees it.
  ASSERT_EQ(test::RunCommand("script -qec " + test::ShellQuote(test::ShellQuote(Program().string()) + " run Bulut") +
                                 " /dev/null 2>&1",
                             &terminal),
            0)
      << terminal;
  const std::string name = fs::path(LastHistoryItem().OutputPath).filename().string();
  static const std::regex line(R"(Cloud upload: ([^\r\n]+) \((\d+)%, \d+[,.]\d MB/s\))");
  std::vector<int> percents;
  for (auto it = std::sregex_iterator(terminal.begin(), terminal.end(), line); it != std::sregex_iterator(); ++it) {
    EXPECT_EQ((*it)[1], name);
    percents.push_back(std::stoi((*it)[2]));
  }
  ASSERT_GE(percents.size(), 2u) << terminal;
  EXPECT_EQ(percents.front(), 0);
  EXPECT_EQ(percents.back(), 100);
}

TEST_F(CliCloud, AHybridRunKeepsItsLocalOutputAndRecordsTheCloudPath) {
  SaveTasks({CloudTask("Karma", smHybrid)});
  const TResult run = RunCli({"run", "Karma"});
  ASSERT_EQ(run.Exit, 0) << run.Out << run.Err;

  const TBackupHistoryItem item = LastHistoryItem();
  EXPECT_TRUE(item.Success) << item.Details;
  EXPECT_EQ(item.OutputPath, item.LocalOutputPath);
  ASSERT_TRUE(fs::exists(item.LocalOutputPath));
  EXPECT_EQ(fs::path(item.LocalOutputPath).parent_path(), FDir / "dest");
  EXPECT_EQ(item.CloudOutputPath, "s3://qelt-backup/gunluk/" + fs::path(item.LocalOutputPath).filename().string());
  EXPECT_EQ(item.CloudStatus, "Tamamlandı");
  const auto objects = FPeer.Objects("qelt-backup");
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_TRUE(objects.begin()->second == test::ReadFile(item.LocalOutputPath));
}

TEST_F(CliCloud, AFailedUploadFailsTheRunKeepsTheOutputAndRecordsNoChainItem) {
  SaveTasks({CloudTask("Karma", smHybrid, true, "yanlış"), CloudTask("Bulut", smCloud, false, "yanlış")});
  for (const char* name : {"Karma", "Bulut"}) {
    const TResult run = RunCli({"run", name});
    EXPECT_EQ(run.Exit, 1) << run.Out << run.Err;
    EXPECT_NE(run.Out.find("✗ Hata: "), std::string::npos) << run.Out;
    const TBackupHistoryItem item = LastHistoryItem();
    EXPECT_FALSE(item.Success);
    EXPECT_EQ(item.CloudStatus, "Başarısız");
    EXPECT_EQ(item.CloudOutputPath, "");
    EXPECT_NE(item.Details.find(" | Cloud upload hatası: Cloud upload hatası (403): "), std::string::npos)
        << item.Details;
    EXPECT_EQ(item.Details.find("yanlış"), std::string::npos) << "no secret in the history";
    ASSERT_TRUE(fs::exists(item.OutputPath)) << name << ": " << item.OutputPath;
    if (std::string(name) == "Bulut") {
      EXPECT_EQ(fs::path(item.OutputPath).parent_path(), Staging("Bulut"));
    } else {
      EXPECT_EQ(item.LocalOutputPath, item.OutputPath);
    }
  }
  const auto config = Manager().LoadConfig();
  for (const auto& task : config->Tasks) EXPECT_TRUE(task->BackupChain.empty()) << task->Name;
  EXPECT_TRUE(FPeer.Objects("qelt-backup").empty());
  EXPECT_NE(RunCli({"history"}).Out.find("\tCloud Hatası\t"), std::string::npos);
}

TEST_F(CliCloud, AFolderCopyTaskCopiesZipAndFolderOutputs) {
  auto nas = [&](const std::string& name, bool compress) {
    return [=, this](TBackupTask& task) {
      CloudTask(name, smCloud, compress)(task);
      task.CloudProvider = "NAS / WebDAV";
      task.CloudDestinationFolder = (FDir / "nas" / "yedekler").string();
    };
  };
  SaveTasks({nas("Arsiv", true), nas("Klasor", false)});
  // What a copy killed half-way leaves in the share; the next run of a task copying there removes it.
  const fs::path abandoned = FDir / "nas" / "yedekler" / ".velkor-tmp-Ab12Cd";
  test::WriteTree(abandoned, {{"Arsiv_2024-05-01_10-00-00.zip", "yarım"}});
  for (const char* name : {"Arsiv", "Klasor"}) {
    const TResult run = RunCli({"run", name});
    ASSERT_EQ(run.Exit, 0) << run.Out << run.Err;
    if (std::string(name) == "Arsiv") {
      EXPECT_NE(run.Out.find(RemovedLine + abandoned.string()), std::string::npos) << run.Out;
    }
    const TBackupHistoryItem item = LastHistoryItem();
    EXPECT_EQ(item.CloudStatus, "Tamamlandı");
    EXPECT_EQ(fs::path(item.CloudOutputPath).parent_path(), FDir / "nas" / "yedekler");
    EXPECT_EQ(fs::path(item.CloudOutputPath).filename(), fs::path(item.OutputPath).filename());
    if (std::string(name) == "Arsiv") {
      EXPECT_EQ(ZipNames(test::ReadFile(item.CloudOutputPath)), SourceEntries);
    } else {
      EXPECT_EQ(test::ReadTree(item.CloudOutputPath),
                (test::TFileTree{{"Docs/a.txt", "alfa"}, {"Docs/alt/b ç.txt", "beta"}}));
    }
  }
  EXPECT_FALSE(fs::exists(abandoned));
  EXPECT_EQ(Entries(FDir / "nas" / "yedekler").size(), 2u) << "two copies and nothing else";
  EXPECT_TRUE(FPeer.Objects("qelt-backup").empty());
}

TEST_F(CliCloud, ATaskWithoutACloudDestinationIsRefusedBeforeItRuns) {
  SaveTasks({[&](TBackupTask& task) {
    CloudTask("Hedefsiz", smHybrid)(task);
    task.CloudDestinationFolder = "  ";
  }});
  const TResult run = RunCli({"run", "Hedefsiz"});
  EXPECT_EQ(run.Exit, 1);
  const TBackupHistoryItem item = LastHistoryItem();
  EXPECT_FALSE(item.Success);
  EXPECT_EQ(item.Details, "Görev yapılandırması eksik. Cloud endpoint/bucket/yol bilgisi kontrol edilmeli.");
  EXPECT_FALSE(fs::exists(FDir / "dest") && !Entries(FDir / "dest").empty());
}

TEST_F(CliCloud, AnUploadKilledHalfWayLeavesOnlyAWorkEntryThatTheNextRunRemoves) {
  test::THttpCaptureServer silent(test::THttpCaptureServer::hmSilent);
  SaveTasks({[&](TBackupTask& task) {
    CloudTask("Bulut", smCloud)(task);
    task.CloudDestinationFolder = silent.Endpoint() + "/qelt-backup/gunluk";
  }});
  {
    test::TCliProcess killed(Program(), {"run", "Bulut"}, FDir.Path());
    ASSERT_TRUE(silent.WaitForRequests(1, 60s)) << killed.Out() << killed.Err();
    killed.Signal(SIGKILL);
    ASSERT_EQ(killed.Wait(), 128 + SIGKILL);
  }
  const std::vector<std::string> left = Entries(Staging("Bulut"));
  ASSERT_EQ(left.size(), 1u);
  EXPECT_TRUE(IsWorkEntryName(left[0])) << "an output under its own name would be one no history entry knows: "
                                        << left[0];
  for (const auto& item : Manager().LoadHistory()) EXPECT_FALSE(item.Success) << item.Details;

  // Any start clears every task's staging folder, not only a run of the same task.
  SaveTasks({CloudTask("Bulut", smCloud), Task("Yerel")});
  const TResult next = RunCli({"run", "Yerel"});
  ASSERT_EQ(next.Exit, 0) << next.Out << next.Err;
  EXPECT_NE(next.Out.find(RemovedLine + (Staging("Bulut") / left[0]).string()), std::string::npos) << next.Out;
  EXPECT_EQ(Entries(Staging("Bulut")), std::vector<std::string>{});
  const TResult upload = RunCli({"run", "Bulut"});
  ASSERT_EQ(upload.Exit, 0) << upload.Out << upload.Err;
  EXPECT_EQ(Entries(Staging("Bulut")), std::vector<std::string>{});
  EXPECT_TRUE(LastHistoryItem().Success);
}

}  // namespace
}  // namespace velkor
