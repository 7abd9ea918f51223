#include "notify/EmailReports.h"

#include "notify/MailMessage.h"
#include "util/FormatSettings.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

constexpr size_t ListedSuccessfulNames = 50;

struct TStatusLook {
  const char* Text;
  const char* Colour;
  const char* Background;
};

std::string DocumentHead(const std::string& title) {
  return "<!DOCTYPE html><html><head><meta charset=\"UTF-8\"><meta name=\"viewport\" content=\"width=device-width, "
         "initial-scale=1.0\"></head><body style=\"margin:0; padding:24px; background-color:#f4f6f8; "
         "font-family:'Segoe UI',Tahoma,Verdana,sans-serif; color:#24303c;\"><div style=\"max-width:860px; margin:0 "
         "auto; background:#ffffff; border-radius:14px; overflow:hidden; box-shadow:0 10px 30px "
         "rgba(29,45,64,0.10);\"><div style=\"background-color:#2f5f98; background-image:linear-gradient(135deg, "
         "#4f7dc9 0%, #2f5f98 100%); padding:28px 32px;\"><div style=\"color:#ffffff; font-size:28px; "
         "font-weight:700;\">" +
         title + "</div><div style=\"margin-top:8px; color:#dbe7f5; font-size:14px;\">";
}

std::string VerificationText(bool verified) { return verified ? "SHA-256 doğrulandı" : "Doğrulama yok"; }

std::string ShownTaskName(const std::string& name) { return Trim(name).empty() ? "(Adsız Görev)" : name; }

TStatusLook RunStatusLook(TRunMailStatus status) {
  switch (status) {
    case rmCapacity: return {"Kapasite Yetersiz", "#b86a16", "#fff8ee"};
    case rmInformation: return {"Bilgilendirme", "#a86b00", "#fff8ea"};
    case rmSuccess: return {"Başarılı", "#1f8f5f", "#f5fbf7"};
    case rmCloudFailure: return {"Cloud Hatası", "#f58000", "#fff8ee"};
    case rmFailure: break;
  }
  return {"Hatalı", "#c44848", "#fff7f7"};
}

// One information row of the run notification; `value` is inserted as given.
std::string RunInfoRow(const std::string& label, const std::string& value) {
  const char* cell =
      label == "SHA-256" ? "padding:7px 0; color:#25313d; word-break:break-all;" : "padding:7px 0; color:#25313d;";
  return "<tr><td style=\"padding:7px 0; color:#6a7885;\">" + label + "</td><td style=\"" + cell + "\">" + value +
         "</td></tr>";
}

std::string HistoryInfoRow(const std::string& label, const std::string& value) {
  const char* cell = label == "SHA-256" ? "padding:7px 0; word-break:break-all;" : "padding:7px 0;";
  return "<tr><td style=\"padding:7px 0; color:#6a7885;\">" + label + "</td><td style=\"" + cell + "\">" + value +
         "</td></tr>";
}

std::string Count(int64_t value) { return std::to_string(value); }

}  // namespace

std::string HtmlEscape(std::string_view text) {
  std::string s = ReplaceAll(text, "&", "&amp;");
  s = ReplaceAll(s, "<", "&lt;");
  s = ReplaceAll(s, ">", "&gt;");
  s = ReplaceAll(s, "\"", "&quot;");
  s = ReplaceAll(s, "\r\n", "<br>");
  return ReplaceAll(s, "\n", "<br>");
}

TRunMailStatus RunMailStatus(const TRunReport& report) {
  if (!report.Success && PosText("Kapasite yetersiz", report.Message) != std::string::npos) return rmCapacity;
  if (report.Success && PosText("Değişiklik bulunamadı", report.Message) != std::string::npos) return rmInformation;
  if (report.Success) return rmSuccess;
  if (SameText(report.CloudStatus, "Başarısız") && report.FailedNames.empty()) return rmCloudFailure;
  return rmFailure;
}

std::string RunNotificationSubject(const TRunReport& report) {
  switch (RunMailStatus(report)) {
    case rmCapacity: return "Kapasite Yetersiz: " + report.BackupName;
    case rmInformation: return "Yedekleme Bilgisi: " + report.BackupName;
    case rmSuccess: return "Yedekleme Başarılı: " + report.BackupName;
    case rmCloudFailure:
    case rmFailure: break;
  }
  return "Yedekleme Hatası: " + report.BackupName;
}

std::string BuildRunNotificationHtml(const TRunReport& r) {
  const TRunMailStatus status = RunMailStatus(r);
  const TStatusLook look = RunStatusLook(status);
  std::string html = DocumentHead("Yedekleme Bildirimi");
  html += HtmlEscape(FormatDateTime("dd.mm.yyyy hh:nn:ss", r.BackupTime)) + "</div>" + "</div>" +
          "<div style=\"padding:28px 32px;\">";

  html += std::string("<div style=\"margin-bottom:20px; padding:18px 20px; background:") + look.Background +
          "; border:1px solid #e8edf3; border-radius:12px;\">" +
          "<table style=\"width:100%; border-collapse:collapse; font-size:14px;\">";
  html += std::string(
              "<tr><td style=\"padding:7px 0; width:170px; color:#6a7885;\">Durum</td><td style=\"padding:7px "
              "0; font-weight:700; color:") +
          look.Colour + ";\">" + look.Text + "</td></tr>";
  html +=
      "<tr><td style=\"padding:7px 0; width:170px; color:#6a7885;\">Görev</td><td style=\"padding:7px 0; "
      "font-weight:700; color:#25313d;\">" +
      HtmlEscape(ShownTaskName(r.BackupName)) + "</td></tr>";
  html += RunInfoRow("Yedek Tipi", HtmlEscape(r.BackupTypeText));
  if (!r.StorageModeText.empty()) html += RunInfoRow("Depolama Modu", HtmlEscape(r.StorageModeText));
  if (!r.CloudProvider.empty()) html += RunInfoRow("Cloud Sağlayıcı", HtmlEscape(r.CloudProvider));
  if (!r.CloudStatus.empty()) html += RunInfoRow("Cloud Durumu", HtmlEscape(r.CloudStatus));
  html += RunInfoRow("Tarih", HtmlEscape(FormatDateTime("dd.mm.yyyy", r.BackupTime)));
  html += RunInfoRow("Saat", HtmlEscape(FormatDateTime("hh:nn:ss", r.BackupTime)));
  html += RunInfoRow("Mesaj", HtmlEscape(r.Message));
  html += RunInfoRow("Doğrulama", HtmlEscape(VerificationText(r.Verified)));
  html += RunInfoRow("Kaynak Sayısı", Count(r.SourceCount) + " klasör");
  html += RunInfoRow("Toplam Dosya", Count(r.FileCount));
  html += RunInfoRow("Toplam Boyut", HtmlEscape(FormatByteSize(r.TotalSize)));
  if (!r.LocalOutputPath.empty()) html += RunInfoRow("Lokal Çıktı", HtmlEscape(r.LocalOutputPath));
  if (!r.CloudOutputPath.empty()) html += RunInfoRow("Cloud Çıktı", HtmlEscape(r.CloudOutputPath));
  if (!r.OutputPath.empty()) html += RunInfoRow("Hedef Çıktı", HtmlEscape(r.OutputPath));
  if (!r.Checksum.empty()) html += RunInfoRow("SHA-256", HtmlEscape(r.Checksum));
  html += std::string("</table>") + "</div>";

  if (status == rmCapacity)
    html +=
        "<div style=\"margin-bottom:20px; padding:18px 20px; background:#fff8ee; border:1px solid #f1dcc0; "
        "border-radius:12px;\"><div style=\"font-size:15px; font-weight:700; color:#b86a16; "
        "margin-bottom:8px;\">Hedef Depolama Alanı Yetersiz</div><div style=\"font-size:14px; color:#7c5920; "
        "line-height:1.7;\">Yedekleme başlamadan önce kapasite kontrolü yapıldı. Bu yedeğin mevcut hedefe "
        "sığmayacağı öngörüldüğü için işlem güvenli şekilde durduruldu.<br>Detay: " +
        HtmlEscape(r.Message) + "</div>" + "</div>";
  if (r.EncryptBackup)
    html +=
        "<div style=\"margin-bottom:20px; padding:18px 20px; background:#fff7e8; border:1px solid #f1dfb6; "
        "border-radius:12px;\"><div style=\"font-size:15px; font-weight:700; color:#8b6b18; "
        "margin-bottom:8px;\">Önemli Bilgilendirme</div><div style=\"font-size:14px; color:#745913; "
        "line-height:1.7;\">Bu yedekleme dosyası program içi parola koruması ile <b>.mbe</b> olarak "
        "kaydedildi.<br>WinRAR veya ZIP programları ile doğrudan açılamaz.<br>İçeriği görüntülemek için "
        "programdaki <b>Şifre Çözme Aracı</b> kullanılmalıdır.</div></div>";

  html += "<div style=\"display:flex; gap:14px; margin-bottom:20px;\">";
  html += std::string(
              "<div style=\"flex:1; padding:18px 20px; background:#f8fafc; border:1px solid #e8edf3; "
              "border-radius:12px;\">") +
          "<div style=\"font-size:13px; color:#6a7885; margin-bottom:6px;\">Toplam Dosya</div>" +
          "<div style=\"font-size:26px; color:#25313d; font-weight:700;\">" + Count(r.FileCount) + "</div>" +
          "<div style=\"font-size:13px; color:#6a7885;\">Toplam Boyut: " + HtmlEscape(FormatByteSize(r.TotalSize)) +
          "</div>" + "</div>";
  html += std::string(
              "<div style=\"flex:1; padding:18px 20px; background:#f5fbf7; border:1px solid #d9eee2; "
              "border-radius:12px;\">") +
          "<div style=\"font-size:13px; color:#5d7868; margin-bottom:6px;\">Başarılı Dosyalar</div>" +
          "<div style=\"font-size:26px; color:#1f8f5f; font-weight:700;\">" +
          Count(static_cast<int64_t>(r.SuccessfulNames.size())) + "</div>" + "</div>";
  html += std::string(
              "<div style=\"flex:1; padding:18px 20px; background:#fff7f7; border:1px solid #f0dcdc; "
              "border-radius:12px;\">") +
          "<div style=\"font-size:13px; color:#846464; margin-bottom:6px;\">Hatalı Dosyalar</div>" +
          "<div style=\"font-size:26px; color:#c44848; font-weight:700;\">" +
          Count(static_cast<int64_t>(r.FailedNames.size())) + "</div>" + "</div>";
  html += "</div>";

  if (!r.FailedNames.empty()) {
    html +=
        "<div style=\"margin-bottom:20px; border:1px solid #f0dcdc; border-radius:12px; overflow:hidden;\"><div "
        "style=\"padding:14px 18px; background:#fff7f7; border-bottom:1px solid #f0dcdc; font-size:15px; "
        "font-weight:700; color:#c44848;\">Hatalı Dosyalar</div><table style=\"width:100%; "
        "border-collapse:collapse; font-size:13px;\">";
    for (const std::string& name : r.FailedNames)
      html +=
          "<tr><td style=\"padding:10px 12px; border-bottom:1px solid #f2e4e4; color:#c44848; "
          "font-weight:700;\">HATA</td><td style=\"padding:10px 12px; border-bottom:1px solid #f2e4e4; "
          "color:#25313d;\">" +
          HtmlEscape(name) + "</td>" + "</tr>" + "\r\n";
    html += "</table></div>";
  }
  if (!r.SuccessfulNames.empty()) {
    html +=
        "<div style=\"border:1px solid #e8edf3; border-radius:12px; overflow:hidden;\"><div "
        "style=\"padding:14px 18px; background:#f8fafc; border-bottom:1px solid #e8edf3; font-size:15px; "
        "font-weight:700; color:#25313d;\">Yedeklenen Dosyalar</div><table style=\"width:100%; "
        "border-collapse:collapse; font-size:13px;\">";
    const size_t listed = std::min(r.SuccessfulNames.size(), ListedSuccessfulNames);
    for (size_t i = 0; i < listed; ++i)
      html +=
          "<tr><td style=\"padding:10px 12px; border-bottom:1px solid #edf1f5; color:#1f8f5f; "
          "font-weight:700;\">OK</td><td style=\"padding:10px 12px; border-bottom:1px solid #edf1f5; "
          "color:#25313d;\">" +
          HtmlEscape(r.SuccessfulNames[i]) + "</td>" + "</tr>" + "\r\n";
    html += "</table>";
    if (r.SuccessfulNames.size() > ListedSuccessfulNames)
      html +=
          "<div style=\"padding:12px 18px; font-size:12px; color:#6a7885; background:#fbfcfd; border-top:1px "
          "solid #edf1f5;\">... ve " +
          Count(static_cast<int64_t>(r.SuccessfulNames.size() - ListedSuccessfulNames)) + " dosya daha.</div>";
    html += "</div>";
  }
  html += "</div></div></body></html>";
  return html;
}

std::string RunNotificationBody(const TRunReport& report) {
  return NormalizeLineBreaks(BuildRunNotificationHtml(report)) + "\r\n";
}

std::string HistoryMailSubject(const TBackupHistoryItem& item) {
  return "Yedekleme Detayı: " + (Trim(item.TaskName).empty() ? std::string("Adsız Görev") : item.TaskName);
}

std::string BuildHistoryDetailHtml(const TBackupHistoryItem& item) {
  bool anyFailed = false;
  int64_t successCount = 0, successBytes = 0, failedCount = 0, failedBytes = 0;
  for (const TBackupFileDetail& file : item.Files) {
    if (file.Success) {
      ++successCount;
      successBytes += file.FileSize;
    } else {
      anyFailed = true;
      ++failedCount;
      failedBytes += file.FileSize;
    }
  }
  TStatusLook look{"Hatalı", "#c44848", ""};
  if (item.Success)
    look = {"Başarılı", "#1f8f5f", ""};
  else if (!anyFailed && (item.StorageMode == smCloud || item.StorageMode == smHybrid) &&
           SameText(item.CloudStatus, "Başarısız"))
    look = {"Cloud Hatası", "#f58000", ""};

  std::string html = DocumentHead("Velkor (Yedekleme Detayı)");
  html += HtmlEscape(FormatDateTime("dd.mm.yyyy - hh:nn:ss", item.BackupTime)) + " - Log Kayıtları Detayı</div>" +
          "</div>" + "<div style=\"padding:28px 32px;\">";
  html += std::string(
              "<div style=\"margin-bottom:20px; padding:18px 20px; background:#f8fafc; border:1px solid "
              "#e8edf3; border-radius:12px;\">") +
          "<table style=\"width:100%; border-collapse:collapse; font-size:14px;\">";
  html += std::string(
              "<tr><td style=\"padding:7px 0; width:170px; color:#6a7885;\">Durum</td><td style=\"padding:7px "
              "0; color:") +
          look.Colour + "; font-weight:700;\">" + look.Text + "</td></tr>";
  html += "<tr><td style=\"padding:7px 0; color:#6a7885;\">Görev</td><td style=\"padding:7px 0; font-weight:600;\">" +
          HtmlEscape(ShownTaskName(item.TaskName)) + "</td></tr>";
  if (!item.StorageModeText.empty()) html += HistoryInfoRow("Depolama Modu", HtmlEscape(item.StorageModeText));
  if (!item.CloudProvider.empty()) html += HistoryInfoRow("Cloud Sağlayıcı", HtmlEscape(item.CloudProvider));
  if (!item.CloudStatus.empty()) html += HistoryInfoRow("Cloud Durumu", HtmlEscape(item.CloudStatus));
  html += HistoryInfoRow("Tarih", HtmlEscape(FormatDateTime("dd.mm.yyyy", item.BackupTime)));
  html += HistoryInfoRow("Saat", HtmlEscape(FormatDateTime("hh:nn:ss", item.BackupTime)));
  html += HistoryInfoRow("Açıklama", HtmlEscape(item.Details));
  html += HistoryInfoRow("Doğrulama", HtmlEscape(VerificationText(item.Verified)));
  html += HistoryInfoRow("Kaynak Sayısı", Count(item.SourceCount) + " klasör");
  html += HistoryInfoRow("Toplam Dosya", Count(item.FileCount));
  html += HistoryInfoRow("Toplam Boyut", HtmlEscape(FormatByteSize(item.TotalSize)));
  if (!item.LocalOutputPath.empty()) html += HistoryInfoRow("Lokal Çıktı", HtmlEscape(item.LocalOutputPath));
  if (!item.CloudOutputPath.empty()) html += HistoryInfoRow("Cloud Çıktı", HtmlEscape(item.CloudOutputPath));
  if (!item.OutputPath.empty()) html += HistoryInfoRow("Hedef Çıktı", HtmlEscape(item.OutputPath));
  if (!item.Checksum.empty()) html += HistoryInfoRow("SHA-256", HtmlEscape(item.Checksum));
  html += std::string("</table>") + "</div>";

  html += "<div style=\"display:flex; gap:14px; margin-bottom:20px;\">";
  html += std::string(
              "<div style=\"flex:1; padding:18px 20px; background:#f5fbf7; border:1px solid #d9eee2; "
              "border-radius:12px;\">") +
          "<div style=\"font-size:13px; color:#5d7868; margin-bottom:6px;\">Başarılı Dosyalar</div>" +
          "<div style=\"font-size:26px; color:#1f8f5f; font-weight:700;\">" + Count(successCount) + "</div>" +
          "<div style=\"font-size:13px; color:#5d7868;\">" + HtmlEscape(FormatByteSize(successBytes)) + "</div>" +
          "</div>";
  html += std::string(
              "<div style=\"flex:1; padding:18px 20px; background:#fff7f7; border:1px solid #f0dcdc; "
              "border-radius:12px;\">") +
          "<div style=\"font-size:13px; color:#846464; margin-bottom:6px;\">Başarısız Dosyalar</div>" +
          "<div style=\"font-size:26px; color:#c44848; font-weight:700;\">" + Count(failedCount) + "</div>" +
          "<div style=\"font-size:13px; color:#846464;\">" + HtmlEscape(FormatByteSize(failedBytes)) + "</div>" +
          "</div>";
  html += "</div>";

  html += std::string("<div style=\"border:1px solid #e8edf3; border-radius:12px; overflow:hidden;\">") +
          "<div style=\"padding:14px 18px; background:#f8fafc; border-bottom:1px solid #e8edf3; font-size:15px; "
          "font-weight:700; color:#25313d;\">Dosya Listesi</div>" +
          "<table style=\"width:100%; border-collapse:collapse; font-size:13px;\">" +
          "<tr style=\"background:#fbfcfd;\">" +
          "<th style=\"padding:10px 12px; text-align:left; color:#70808f; border-bottom:1px solid "
          "#edf1f5;\">Durum</th>" +
          "<th style=\"padding:10px 12px; text-align:left; color:#70808f; border-bottom:1px solid "
          "#edf1f5;\">Dosya</th>" +
          "<th style=\"padding:10px 12px; text-align:right; color:#70808f; border-bottom:1px solid "
          "#edf1f5;\">Boyut</th>" +
          "</tr>";
  if (item.Files.empty())
    html +=
        "<tr><td colspan=\"3\" style=\"padding:16px 12px; color:#7b8894;\">Dosya detayı kaydedilmemiş.</td></tr>"
        "\r\n";
  for (const TBackupFileDetail& file : item.Files)
    html += std::string("<tr><td style=\"padding:10px 12px; border-bottom:1px solid #edf1f5; color:") +
            (file.Success ? "#1f8f5f" : "#c44848") + "; font-weight:700;\">" + (file.Success ? "OK" : "HATA") +
            "</td>" + "<td style=\"padding:10px 12px; border-bottom:1px solid #edf1f5; color:#25313d;\">" +
            HtmlEscape(file.FileName) + "</td>" +
            "<td style=\"padding:10px 12px; border-bottom:1px solid #edf1f5; color:#5c6b78; text-align:right;\">" +
            HtmlEscape(FormatByteSize(file.FileSize)) + "</td>" + "</tr>" + "\r\n";
  html += std::string("</table>") + "</div>" + "</div></div></body></html>";
  return html;
}

std::string BuildTestMailHtml(TDateTime now) {
  return std::string(
             "<!DOCTYPE html><html><head><meta charset=\"UTF-8\"><meta name=\"viewport\" content=\"width=device-width, "
             "initial-scale=1.0\"></head><body style=\"margin: 0; padding: 0; font-family: 'Segoe UI', Tahoma, "
             "Geneva, Verdana, sans-serif; background-color: #f5f5f5;\"><div style=\"max-width: 600px; margin: 40px "
             "auto; background-color: #ffffff; border-radius: 8px; box-shadow: 0 2px 10px rgba(0,0,0,0.1); "
             "overflow: hidden;\"><div style=\"background-color: #2f5f98; background-image: "
             "linear-gradient(135deg, #4f7dc9 0%, #2f5f98 100%); padding: 30px; text-align: center;\"><h1 "
             "style=\"color: #ffffff; margin: 0; font-size: 28px; font-weight: 600; letter-spacing: 0.2px;\">✉️ "
             "Velkor</h1></div><div style=\"padding: 40px 30px;\"><div style=\"background-color: #f8f9fa; "
             "border-left: 4px solid #667eea; padding: 20px; margin-bottom: 25px; border-radius: 4px;\"><p "
             "style=\"margin: 0; color: #495057; font-size: 16px; line-height: 1.6;\">Bu bir <strong>test "
             "mesajıdır</strong>.</p></div><div style=\"background-color: #d4edda; border-left: 4px solid #28a745; "
             "padding: 20px; margin-bottom: 25px; border-radius: 4px;\"><p style=\"margin: 0; color: #155724; "
             "font-size: 16px; line-height: 1.6;\">✅ <strong>E-posta ayarlarınız doğru "
             "çalışıyor!</strong></p></div><div "
             "style=\"text-align: center; padding: 20px; background-color: #f8f9fa; border-radius: 4px;\"><p "
             "style=\"margin: 0; color: #6c757d; font-size: 14px;\">🕐 Gönderim zamanı</p><p style=\"margin: 10px 0 0 "
             "0; color: #212529; font-size: 18px; font-weight: 600;\">") +
         FormatDateTime("dd.mm.yyyy - hh:nn:ss", now) + "</p>" + "</div>" + "</div>" +
         "<div style=\"background-color: #f8f9fa; padding: 20px 30px; text-align: center; border-top: 1px solid "
         "#e9ecef;\">" +
         "<p style=\"margin: 0; color: #6c757d; font-size: 13px;\">Velkor -  Profesyonel Yedekleme Çözümü</p>" +
         "</div>" + "</div>" + "</body>" + "</html>";
}

}  // namespace velkor
