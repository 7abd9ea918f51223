// The HTML mails against expected documents, and the conditions of their parts.
#include <gtest/gtest.h>

#include "notify/EmailReports.h"
#include "support/TempDir.h"
#include "util/StringUtils.h"

namespace velkor {
namespace {

const TDateTime When = EncodeDateTime(2024, 3, 5, 14, 7, 9);

// An expected document from tests/notify/data, with the run's time put in as the user's separators write it.
std::string Expected(const std::string& name) {
  std::string text = test::ReadFile(std::string(VELKOR_TEST_DATA_DIR) + "/data/" + name);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  text = ReplaceAll(text, "\n", "\r\n");  // the rows of a file list end in CR LF
  text = ReplaceAll(text, "{{dd.mm.yyyy - hh:nn:ss}}", FormatDateTime("dd.mm.yyyy - hh:nn:ss", When));
  text = ReplaceAll(text, "{{dd.mm.yyyy hh:nn:ss}}", FormatDateTime("dd.mm.yyyy hh:nn:ss", When));
  text = ReplaceAll(text, "{{hh:nn:ss}}", FormatDateTime("hh:nn:ss", When));
  return text;
}

TRunReport Report(bool success, const std::string& message) {
  TRunReport r;
  r.BackupTime = When;
  r.Success = success;
  r.Message = message;
  r.BackupName = "Belgeler";
  r.FileCount = 3;
  r.TotalSize = 512;
  r.SourceCount = 1;
  r.BackupTypeText = "Tam";
  return r;
}

std::vector<std::string> Names(size_t count) {
  std::vector<std::string> names;
  for (size_t i = 1; i <= count; ++i) names.push_back("/kaynak/dosya-" + std::to_string(i) + ".txt");
  return names;
}

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

TEST(EmailReportsTest, HtmlEscapeReplacesTheAmpersandFirst) {
  const std::pair<const char*, const char*> cases[] = {
      {"a<b>&\"c\"", "a&lt;b&gt;&amp;&quot;c&quot;"},
      {"&lt;", "&amp;lt;"},
      {"1\r\n2\n3\r4", "1<br>2<br>3\r4"},
      {"it's", "it's"},
      {"", ""},
  };
  for (const auto& [text, escaped] : cases) EXPECT_EQ(HtmlEscape(text), escaped) << text;
}

TEST(EmailReportsTest, RunNotificationDocument) {
  // Every optional part at once: a failed, encrypted cloud run with the capacity words, failed and backed-up files,
  // every optional row and text that needs escaping.
  TRunReport r = Report(false, "Kapasite yetersiz: <hedef> & \"yedek\"\r\nikinci satır");
  r.BackupName = "Belgeler & Fotoğraflar";
  r.EncryptBackup = true;
  r.Verified = true;
  r.StorageModeText = "Lokal + Cloud";
  r.CloudProvider = "MinIO";
  r.CloudStatus = "Başarısız";
  r.LocalOutputPath = "/yedek/Belgeler_20240305.zip.mbe";
  r.CloudOutputPath = "s3://kova/Belgeler_20240305.zip.mbe";
  r.OutputPath = "/yedek/Belgeler_20240305.zip.mbe";
  r.Checksum = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
  r.SuccessfulNames = {"/kaynak/a.txt", "/kaynak/<b>.txt"};
  r.FailedNames = {"/kaynak/c.txt (Erişim engellendi)"};
  EXPECT_EQ(BuildRunNotificationHtml(r), Expected("run-notification.html"));
  EXPECT_EQ(RunNotificationSubject(r), "Kapasite Yetersiz: Belgeler & Fotoğraflar");
}

TEST(EmailReportsTest, HistoryDetailDocument) {
  TBackupHistoryItem item;
  item.BackupTime = When;
  item.Success = false;
  item.TaskName = "Belgeler";
  item.Details = "Yedekleme tamamlandı | Cloud upload: başarısız";
  item.StorageMode = smHybrid;
  item.StorageModeText = "Lokal + Cloud";
  item.CloudProvider = "MinIO";
  item.CloudStatus = "Başarısız";
  item.LocalOutputPath = "/yedek/Belgeler.zip";
  item.OutputPath = "/yedek/Belgeler.zip";
  item.Checksum = "abc123";
  item.SourceCount = 2;
  item.FileCount = 2;
  item.TotalSize = 700;
  item.Files = {{"/kaynak/a & b.txt", 300, true}, {"/kaynak/c.txt", 400, true}, {"/kaynak/d.txt (kilitli)", 0, false}};
  EXPECT_EQ(BuildHistoryDetailHtml(item), Expected("history-detail.html"));
  EXPECT_EQ(HistoryMailSubject(item), "Yedekleme Detayı: Belgeler");
}

TEST(EmailReportsTest, RunStatusRows) {
  const struct {
    bool Success;
    const char* Message;
    const char* CloudStatus;
    size_t Failed;
    const char* Subject;
    const char* StatusCell;  // the status row's value cell
    const char* Background;
  } cases[] = {
      {false, "Hedef için kapasite yetersiz.", "", 0, "Kapasite Yetersiz: ", "color:#b86a16;\">Kapasite Yetersiz<",
       "#fff8ee"},
      // Containment ignores letter case.
      {true, "değişiklik bulunamadı, yedek alınmadı", "", 0, "Yedekleme Bilgisi: ", "color:#a86b00;\">Bilgilendirme<",
       "#fff8ea"},
      {true, "Kapasite yetersiz ama başarılı", "", 0, "Yedekleme Başarılı: ", "color:#1f8f5f;\">Başarılı<", "#f5fbf7"},
      {false, "Yükleme başarısız", "başarısız", 0, "Yedekleme Hatası: ", "color:#f58000;\">Cloud Hatası<", "#fff8ee"},
      {false, "Yükleme başarısız", "Başarısız", 1, "Yedekleme Hatası: ", "color:#c44848;\">Hatalı<", "#fff7f7"},
      {false, "Bir hata oluştu", "", 0, "Yedekleme Hatası: ", "color:#c44848;\">Hatalı<", "#fff7f7"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Message);
    TRunReport r = Report(c.Success, c.Message);
    r.CloudStatus = c.CloudStatus;
    r.FailedNames = Names(c.Failed);
    const std::string html = BuildRunNotificationHtml(r);
    EXPECT_EQ(RunNotificationSubject(r), c.Subject + r.BackupName);
    EXPECT_NE(html.find(c.StatusCell), std::string::npos);
    EXPECT_NE(html.find(std::string("background:") + c.Background + "; border:1px solid #e8edf3;"), std::string::npos);
    EXPECT_EQ(Occurrences(html, "Hedef Depolama Alanı Yetersiz"),
              std::string(c.Subject) == "Kapasite Yetersiz: " ? 1u : 0u);
    EXPECT_EQ(Occurrences(html, "border-bottom:1px solid #f2e4e4; color:#c44848; font-weight:700;\">HATA"), c.Failed);
  }
}

TEST(EmailReportsTest, RunListsFiftySuccessfulNamesAndCountsTheRest) {
  const std::string okRow = "color:#1f8f5f; font-weight:700;\">OK</td>";
  const struct {
    size_t Names;
    size_t Rows;
    const char* Note;
  } cases[] = {{0, 0, nullptr},
               {50, 50, nullptr},
               {51, 50, "... ve 1 dosya daha.</div>"},
               {120, 50, "... ve 70 dosya daha.</div>"}};
  for (const auto& c : cases) {
    TRunReport r = Report(true, "Yedekleme tamamlandı");
    r.SuccessfulNames = Names(c.Names);
    const std::string html = BuildRunNotificationHtml(r);
    EXPECT_EQ(Occurrences(html, okRow), c.Rows) << c.Names;
    EXPECT_EQ(Occurrences(html, "</tr>\r\n"), c.Rows) << "each listed row ends in CR LF";
    EXPECT_EQ(html.find("Yedeklenen Dosyalar") != std::string::npos, c.Names > 0);
    EXPECT_EQ(html.find("dosya daha.") != std::string::npos, c.Note != nullptr);
    if (c.Note) {
      EXPECT_NE(html.find(c.Note), std::string::npos);
    }
    EXPECT_NE(html.find("color:#1f8f5f; font-weight:700;\">" + std::to_string(c.Names) + "</div>"), std::string::npos)
        << "the box counts every successful name";
  }
}

TEST(EmailReportsTest, EncryptedBoxFollowsTheTableAndTheCapacityBox) {
  const std::string tableEnd = "</table></div>";
  for (const bool capacity : {false, true}) {
    TRunReport r = Report(!capacity, capacity ? "Kapasite yetersiz" : "Yedekleme tamamlandı");
    r.EncryptBackup = true;
    const std::string html = BuildRunNotificationHtml(r);
    const size_t encrypted = html.find("<div style=\"margin-bottom:20px; padding:18px 20px; background:#fff7e8;");
    const size_t capacityBox = html.find("<div style=\"margin-bottom:20px; padding:18px 20px; background:#fff8ee;");
    ASSERT_NE(encrypted, std::string::npos);
    const size_t follows =
        capacity ? html.find("</div></div>", capacityBox) + 12 : html.find(tableEnd) + tableEnd.size();
    EXPECT_EQ(encrypted, follows) << capacity;
    EXPECT_EQ(capacityBox != std::string::npos, capacity);
    EXPECT_EQ(Occurrences(BuildRunNotificationHtml(Report(true, "x")), "Önemli Bilgilendirme"), 0u);
  }
}

TEST(EmailReportsTest, BodyEndsEveryLineInCrLf) {
  TRunReport r = Report(true, "satır 1\rsatır 2");  // a lone CR survives escaping and becomes a line break
  r.SuccessfulNames = Names(2);
  const std::string html = BuildRunNotificationHtml(r);
  const std::string body = RunNotificationBody(r);
  EXPECT_EQ(body, ReplaceAll(html, "satır 1\r", "satır 1\r\n") + "\r\n");
  EXPECT_EQ(Occurrences(body, "\n"), Occurrences(body, "\r\n"));
}

TEST(EmailReportsTest, HistoryEdgeCases) {
  TBackupHistoryItem empty;
  empty.BackupTime = When;
  empty.TaskName = " \t";
  const std::string html = BuildHistoryDetailHtml(empty);
  EXPECT_EQ(HistoryMailSubject(empty), "Yedekleme Detayı: Adsız Görev");
  EXPECT_NE(html.find("font-weight:600;\">(Adsız Görev)</td>"), std::string::npos);
  EXPECT_NE(html.find("<tr><td colspan=\"3\" style=\"padding:16px 12px; color:#7b8894;\">Dosya detayı "
                      "kaydedilmemiş.</td></tr>"),
            std::string::npos);
  EXPECT_EQ(Occurrences(html, "font-weight:700;\">0</div>"), 2u);
  EXPECT_NE(html.find("color:#5d7868;\">0 B</div>"), std::string::npos);
  EXPECT_NE(html.find("color:#846464;\">0 B</div>"), std::string::npos);

  const struct {
    bool Success;
    TStorageMode Mode;
    const char* CloudStatus;
    bool FailedFile;
    const char* Status;
  } cases[] = {
      {true, smCloud, "Başarısız", true, "color:#1f8f5f; font-weight:700;\">Başarılı<"},
      {false, smCloud, "başarısız", false, "color:#f58000; font-weight:700;\">Cloud Hatası<"},
      {false, smHybrid, "Başarısız", false, "color:#f58000; font-weight:700;\">Cloud Hatası<"},
      // Unlike the run notification, the storage mode counts.
      {false, smLocalDisk, "Başarısız", false, "color:#c44848; font-weight:700;\">Hatalı<"},
      {false, smCloud, "Başarısız", true, "color:#c44848; font-weight:700;\">Hatalı<"},
  };
  for (const auto& c : cases) {
    TBackupHistoryItem item;
    item.Success = c.Success;
    item.StorageMode = c.Mode;
    item.CloudStatus = c.CloudStatus;
    if (c.FailedFile) item.Files.push_back({"x (hata)", 0, false});
    EXPECT_NE(BuildHistoryDetailHtml(item).find(c.Status), std::string::npos) << c.Status;
  }
}

TEST(EmailReportsTest, TestMailDocument) {
  EXPECT_EQ(BuildTestMailHtml(When), Expected("test-mail.html"));
  EXPECT_STREQ(TestMailSubject, "Velkor - Profesyonel Yedekleme Çözümü (Test Maili Gönderimi)");
}

}  // namespace
}  // namespace velkor
