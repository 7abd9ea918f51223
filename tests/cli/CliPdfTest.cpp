// velkor-cli history --pdf: the report of a stored entry, drawn without a display.
#include <gtest/gtest.h>

#include "CliHarness.h"
#include "util/DateTime.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

class CliPdf : public test::CliHarness {
protected:
  // No display of any kind, and a platform named that would need one: the program picks its own.
  test::TScopedEnv FDisplay{"DISPLAY", std::nullopt};
  test::TScopedEnv FWayland{"WAYLAND_DISPLAY", std::nullopt};
  test::TScopedEnv FPlatform{"QT_QPA_PLATFORM", "xcb"};

  void AddEntry(int files) {
    TBackupHistoryItem item;
    item.BackupTime = EncodeDateTime(2026, 4, 6, 18, 0, 0);
    item.Success = true;
    item.TaskName = "Belgeler";
    item.Details = "Yedekleme tamamlandı";
    for (int i = 0; i < files; ++i) item.Files.push_back({"/home/ayse/dosya-" + std::to_string(i), 100, true});
    Manager().AddHistoryItem(item);
  }
};

TEST_F(CliPdf, SavesTheEntryAsAPdfReport) {
#ifndef VELKOR_WITH_PDF_REPORT
  GTEST_SKIP() << "built without Qt 6";
#endif
  AddEntry(0);
  AddEntry(20);  // 8 rows on the first page, the rest on a second
  const fs::path pdf = FDir / "rapor.pdf";
  test::WriteFile(pdf, "old");
  const TResult saved = RunCli({"history", "--pdf", "2", pdf.string()});
  EXPECT_EQ(saved.Exit, 0) << saved.Err;
  EXPECT_EQ(saved.Err, "");
  EXPECT_NE(saved.Out.find("] Seçili history kaydı PDF olarak kaydedildi: " + pdf.string() + "\n"), std::string::npos)
      << saved.Out;
  std::string info;
  EXPECT_EQ(test::RunCommand("qpdf --check " + test::ShellQuote(pdf.string()), &info), 0) << info;
  ASSERT_EQ(test::RunCommand("pdfinfo " + test::ShellQuote(pdf.string()), &info), 0) << info;
  EXPECT_NE(info.find("Pages:           2\n"), std::string::npos) << info;

  const TResult failed = RunCli({"history", "--pdf", "1", (FDir / "yok" / "r.pdf").string()});
  EXPECT_EQ(failed.Exit, 1);
  EXPECT_EQ(failed.Err.rfind("velkor-cli: Dosya oluşturulamadı: " + (FDir / "yok" / "r.pdf").string(), 0), 0u)
      << failed.Err;
  EXPECT_FALSE(fs::exists(FDir / "yok"));
}

TEST_F(CliPdf, Misuse) {
  EXPECT_NE(RunCli({"--help"}).Out.find("history --pdf INDEX FILE"), std::string::npos);
  AddEntry(1);
  const struct {
    std::vector<std::string> Args;
    const char* Problem;
  } misuse[] = {
      {{"history", "--pdf", "1"}, "history --pdf needs INDEX and FILE"},
      {{"history", "--pdf", "1", "a.pdf", "b.pdf"}, "history --pdf needs INDEX and FILE"},
      {{"history", "--csv"}, "unknown option '--csv' for history"},
      {{"history", "--pdf", "2", "a.pdf"}, "no history entry 2"},
      {{"history", "--pdf", "0", "a.pdf"}, "no history entry 0"},
      {{"history", "--pdf", "1x", "a.pdf"}, "no history entry 1x"},
  };
  for (const auto& m : misuse) {
    const TResult r = RunCli(m.Args);
    EXPECT_EQ(r.Exit, 2) << m.Problem;
    EXPECT_NE(r.Err.find(m.Problem), std::string::npos) << r.Err;
  }
  EXPECT_FALSE(fs::exists("a.pdf"));
}

}  // namespace
}  // namespace velkor
