#include "cli/EmailCliCommands.h"

#include <cstdio>
#include <iostream>
#include <optional>

#include "app/EmailCommands.h"
#include "app/LogText.h"
#include "cli/CliCommands.h"
#include "cli/CliPrompts.h"
#include "cli/TerminalInput.h"
#include "config/ConfigManager.h"
#include "notify/EmailSettings.h"
#include "platform/Clock.h"

namespace velkor {

namespace {

struct TEmailOptions {
  std::optional<std::string> Server, Port, Username, FromEmail, FromName;
  std::optional<bool> UseTLS, UseSSL, Enabled;
  bool PasswordFromStdin = false;
  bool RecipientsGiven = false;
  std::vector<std::string> Recipients;
  bool Test = false;
};

int Usage(const std::string& problem) {
  std::cerr << "velkor-cli: " << problem << " (see --help)\n";
  return ExitUsage;
}

void PrintLogLine(const std::string& message) {
  std::printf("%s\n", TerminalText(FormatLogLine(SystemClock().Now(), message)).c_str());
  std::fflush(stdout);
}

// An empty problem text: parsed.
std::string ParseOptions(const std::vector<std::string>& args, TEmailOptions& o) {
  const std::pair<const char*, std::optional<std::string>*> valued[] = {
      {"--server", &o.Server},  {"--port", &o.Port},          {"--user", &o.Username},
      {"--from", &o.FromEmail}, {"--from-name", &o.FromName},
  };
  const std::pair<const char*, std::pair<std::optional<bool>*, bool>> switches[] = {
      {"--tls", {&o.UseTLS, true}},     {"--no-tls", {&o.UseTLS, false}}, {"--ssl", {&o.UseSSL, true}},
      {"--no-ssl", {&o.UseSSL, false}}, {"--enable", {&o.Enabled, true}}, {"--disable", {&o.Enabled, false}},
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    bool known = false;
    for (const auto& [name, target] : valued) {
      if (arg != name) continue;
      if (i + 1 == args.size()) return arg + " needs a value";
      *target = args[++i];
      known = true;
    }
    for (const auto& [name, target] : switches) {
      if (arg != name) continue;
      *target.first = target.second;
      known = true;
    }
    if (arg == "--to") {
      if (i + 1 == args.size()) return "--to needs a value";
      o.Recipients.push_back(args[++i]);
      o.RecipientsGiven = known = true;
    } else if (arg == "--password-stdin") {
      o.PasswordFromStdin = known = true;
    } else if (arg == "--test") {
      o.Test = known = true;
    }
    if (!known) return "unknown option '" + arg + "' for email-settings";
  }
  return {};
}

bool ChangesSomething(const TEmailOptions& o) {
  return o.Server || o.Port || o.Username || o.FromEmail || o.FromName || o.UseTLS || o.UseSSL || o.Enabled ||
         o.PasswordFromStdin || o.RecipientsGiven;
}

void PrintSettings(const TEmailSettingsFields& f, bool enabled) {
  std::string recipients;
  for (const std::string& r : f.Recipients) recipients += (recipients.empty() ? "" : ", ") + r;
  std::printf(
      "Sunucu: %s\nPort: %s\nTLS Kullan: %s\nSSL Kullan: %s\nKullanıcı Adı: %s\nŞifre: %s\nE-posta Adresi: %s\n"
      "Gönderen: %s\nAlıcılar: %s\nÇalışma bildirimleri: %s\n",
      f.Server.c_str(), f.Port.c_str(), f.UseTLS ? "evet" : "hayır", f.UseSSL ? "evet" : "hayır", f.Username.c_str(),
      f.Password.empty() ? "(boş)" : "********", f.FromEmail.c_str(), f.FromName.c_str(),
      recipients.empty() ? "(yok)" : recipients.c_str(), enabled ? "açık" : "kapalı");
}

}  // namespace

int EmailSettingsCommand(const std::vector<std::string>& args) {
  TEmailOptions options;
  if (const std::string problem = ParseOptions(args, options); !problem.empty()) return Usage(problem);

  TTerminalInput terminal;
  TCliPrompts prompts(terminal, true);
  TEmailNotifier notifier;
  notifier.LoadSettings();
  TEmailSettingsFields fields = FieldsFromNotifier(notifier);
  if (options.Server) fields.Server = *options.Server;
  if (options.Port) fields.Port = *options.Port;
  if (options.UseTLS) fields.UseTLS = *options.UseTLS;
  if (options.UseSSL) fields.UseSSL = *options.UseSSL;
  if (options.Username) fields.Username = *options.Username;
  if (options.FromEmail) fields.FromEmail = *options.FromEmail;
  if (options.FromName) fields.FromName = *options.FromName;
  if (options.PasswordFromStdin) {
    std::string password;
    const bool read = terminal.IsTerminal() ? terminal.ReadSecret("Şifre: ", password) : terminal.ReadLine(password);
    if (!read) {
      ShowAutoMessage(prompts, "Şifre okunamadı: standart girdi boş.");
      return ExitFailure;
    }
    fields.Password = password;
  }
  if (options.RecipientsGiven) {
    fields.Recipients.clear();
    for (const std::string& address : options.Recipients) {
      if (const auto problem = AddRecipientField(fields.Recipients, address)) {
        ShowAutoMessage(prompts, problem->Message + " (" + address + ")");
        return ExitFailure;
      }
    }
  }

  // As the dialog's Test button: the fields as they stand, unchecked, and nothing saved.
  if (options.Test) {
    const TTestMailOutcome outcome = SendTestMail(fields, SystemClock().Now());
    ShowAutoMessage(prompts, outcome.Message);
    return outcome.Sent ? ExitSuccess : ExitFailure;
  }
  if (!ChangesSomething(options)) {
    PrintSettings(fields, notifier.NotificationsEnabled());
    return ExitSuccess;
  }

  if (const auto problem = CheckEmailSettings(fields)) {
    ShowAutoMessage(prompts, problem->Message);
    return ExitFailure;
  }
  if (fields.Recipients.empty() && !prompts.AskYesNo(EmptyRecipientListQuestion)) {
    ShowAutoMessage(prompts, "E-posta ayarları kaydedilmedi: alıcı listesi boş.");
    return ExitFailure;
  }
  if (options.Enabled) notifier.SetNotificationsEnabled(*options.Enabled);
  ApplyEmailSettings(notifier, fields);
  PrintLogLine("E-posta ayarları güncellendi.");
  return ExitSuccess;
}

int RunHistoryMailCommand(const std::string& index) {
  TConfigManager manager;
  const std::vector<TBackupHistoryItem> items = manager.LoadHistory();
  for (const std::string& line : manager.DamageReport()) std::cerr << "velkor-cli: " << TerminalText(line) << "\n";
  size_t number = 0;
  size_t parsed = 0;
  try {
    number = std::stoul(index, &parsed);
  } catch (const std::exception&) {
    parsed = 0;
  }
  if (parsed == 0 || parsed != index.size() || number < 1 || number > items.size()) {
    std::cerr << "velkor-cli: no history entry " << index << " (see velkor-cli history)\n";
    return ExitUsage;
  }
  TTerminalInput terminal;
  TCliPrompts prompts(terminal, false);
  return SendHistoryEntryMail(&items[number - 1], prompts, PrintLogLine) ? ExitSuccess : ExitFailure;
}

}  // namespace velkor
