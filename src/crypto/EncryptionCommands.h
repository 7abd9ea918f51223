#pragma once
// The logic and texts of the two encryption commands of the main window: "Şifre Ayarla", which sets the
// encryption password, and the "Şifre Girişi" decrypt tool, which turns one .mbe file back into its plaintext.
// A front end (the window, the command-line tool) only asks the questions with the texts below and shows the
// outcome these functions return. Everything runs on the caller's thread.
#include <filesystem>
#include <string>

#include "crypto/EncryptionManager.h"

namespace velkor {

// What the front end shows (Message, in the message dialog) and records (LogLine, in the activity log; empty when
// nothing is logged) after a command.
struct TCommandOutcome {
  bool Success = false;
  std::string Message;
  std::string LogLine;
};

// "Şifre Ayarla": PromptNewPassword(SetPasswordTitle, SetPasswordPrompt, SetPasswordConfirmPrompt). When the
// "Şifrele" box is not ticked, the front end first asks EncryptionOffQuestion (Yes/No) and ticks it on Yes.
inline constexpr char SetPasswordTitle[] = "Şifreleme Ayarları";
inline constexpr char SetPasswordPrompt[] = "Yeni şifreyi girin:";
inline constexpr char SetPasswordConfirmPrompt[] = "Şifreyi tekrar girin:";
inline constexpr char EncryptionOffQuestion[] =
    "Şifreleme özelliği şu anda kapalı.\r\n\r\nŞifrelemeyi aktifleştirmek için \"Dosyaları şifrele\" seçeneğini "
    "işaretleyin.\r\n\r\nŞimdi aktifleştirmek istiyor musunuz?";

// The decrypt tool: PromptPassword(DecryptPasswordTitle, DecryptPasswordPrompt) when no password is in memory,
// then a file-open dialog with DecryptFileDialogTitle and DecryptFileDialogFilter.
inline constexpr char DecryptPasswordTitle[] = "Şifre Çözme";
inline constexpr char DecryptPasswordPrompt[] = "Lütfen şifre çözme şifresini girin:";
inline constexpr char DecryptFileDialogTitle[] = "Şifresi Çözülecek Dosyayı Seçin";
inline constexpr char DecryptFileDialogFilter[] = "Şifreli Dosyalar (*.mbe)|*.mbe|Tüm Dosyalar (*.*)|*.*";

// "Şifre Ayarla" once the prompt returned `password`: makes it the in-memory password, then stores it when
// `cachePassword` is on, or else clears the stored copy (which forgets it again, so the next encrypted run asks).
// An empty password means the prompt was cancelled: nothing changes and nothing is shown. A failure to protect
// the stored copy raises EVelkorError.
TCommandOutcome ApplyEncryptionPassword(TEncryptionManager& manager, const std::string& password, bool cachePassword);

// The decrypt tool's password step, used only when the manager holds no password. An empty `entered` (nothing
// typed, or cancelled) fails with the cancel message; otherwise the typed password may be tried. Nothing is kept
// here: a password typed wrong must not become the password of later encrypted backups.
TCommandOutcome AcceptDecryptPassword(const std::string& entered);

// After `entered`, typed at the password step, has decrypted the file: it becomes the in-memory password and is
// stored when `cachePassword` is on. A failure to protect the stored copy raises EVelkorError; the in-memory
// password is set by then.
void KeepDecryptPassword(TEncryptionManager& manager, const std::string& entered, bool cachePassword);

// "report.zip.mbe" -> "report.zip", "REPORT.MBE" -> "REPORT", anything else gets ".decrypted" appended.
std::filesystem::path DecryptToolOutputPath(const std::filesystem::path& chosenFile);

// Decrypts the chosen file with the in-memory password to DecryptToolOutputPath, replacing an existing output.
// Never raises: a failure comes back as its message with the tool's prefix and hint.
TCommandOutcome RunDecryptTool(TEncryptionManager& manager, const std::filesystem::path& chosenFile);
// The same, writing to `outputFile` instead (the command-line tool's optional output argument).
TCommandOutcome RunDecryptTool(TEncryptionManager& manager, const std::filesystem::path& chosenFile,
                               const std::filesystem::path& outputFile);

}  // namespace velkor
