// velkor-cli: the headless front end over the same core as the window, for servers, scripts and cron.
#include <csignal>
#include <cstring>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliCommands.h"
#include "cli/CliPrompts.h"
#include "cli/EmailCliCommands.h"
#include "cli/TaskCommands.h"
#include "platform/ProcessLocale.h"

namespace {

using namespace velkor;
using TArgs = std::vector<std::string>;

void PrintHelp() {
  std::cout << R"(Usage: velkor-cli [--help] [--version] COMMAND [ARGS]

Velkor backs up folders to ZIP archives or folder copies, optionally encrypted. velkor-cli works on the tasks
and history of the desktop program, without a window: for servers, scripts and cron.

Commands:
  tasks [--json]
      List the tasks, one per line, tab-separated: name, active (yes/no), next scheduled run and last
      successful run ("dd.mm.yyyy hh:nn", or "-"). --json prints them as a JSON array for scripts, with every
      field (times as "yyyy-mm-ddThh:nn:ss" or null).
  task add NAME --source DIR [--source DIR]... --dest DIR [OPTIONS]
  task set NAME OPTIONS
      Create a task, or change one. NAME is a task's name, or #N for the task on the N-th line of `tasks`.
      Options: --source DIR (repeat it; with set it replaces the list), --add-source DIR, --remove-source DIR,
      --dest DIR, --type full|differential|incremental (the manual run's type), --zip or --folder, --encrypt
      or --no-encrypt, --max-sets N (backup sets kept; 0 keeps all), --enable, --disable (--disabled),
      --storage local|cloud|hybrid, --cloud-provider TEXT, --cloud-destination URL, --cloud-access-key KEY,
      --cloud-secret-stdin (the secret read without echo on a terminal, else one line from standard input;
      stored protected and never shown). Folders are stored as absolute paths; a source must exist.
  task schedule NAME full|differential|incremental --at HH:MM [--days mon,tue,...|all] | --off
      Switch one of the task's three timed runs on at a time of day (every day unless --days), or off. The
      first one switched on while the schedule is off is the only one on.
  task show NAME
      Every field of the task, its schedule with the next runs and the summary of its backup chain.
  task rename OLD NEW | task copy NAME | task remove NAME [--yes]
      Rename (names are unique in any letter case); copy (disabled, without its runs and chain); delete
      (asks on a terminal unless --yes; the task's backups and history stay).
  run NAME [--type full|differential|incremental]
      Run the task named NAME once, as the window's start button does: the run goes through the queue and
      leaves a history entry, extends the task's backup chain and deletes the backup sets beyond the task's
      limit. Cloud and hybrid tasks copy the output to their cloud destination first; a failed copy fails
      the run. --type overrides the task's own manual backup type for this run; a differential or incremental
      run without a full backup to build on becomes a full one.
  history [--mail INDEX | --json]
      List the backup history, oldest first, one entry per line, tab-separated: number, time, status
      (Başarılı, Bilgi, Hatalı, Cloud Hatası), task and output path ("-" when there is none). --mail sends
      the entry numbered INDEX as the window's "Log Dosyasını Mail Gönder" does, to every recipient. --json
      prints the entries as a JSON array for scripts.
  history --pdf INDEX FILE
      Save the history entry numbered INDEX as a PDF report (one picture per A4 page) to FILE; an existing
      FILE is replaced.
  verify INDEX
      Compute the SHA-256 of the output of history entry INDEX again, as its run did (an archive's or .mbe
      file's bytes, a folder copy's manifest), and compare it with the recorded one: prints "match",
      "mismatch" or "output missing"; exit 0 only for a match.
  restore INDEX TARGET [--skip]
      Restore the history entry numbered INDEX (as `history` prints it) into the folder TARGET. Existing
      files are never overwritten: a restored file that meets one is saved as "name (n).ext", or with --skip
      left out. This puts back what that one output holds: for a differential or incremental run, only the
      files it took.
  restore INDEX TARGET --as-of [--skip] | restore INDEX [TARGET] --as-of --dry-run
      Restore the task's folders as they were at that run: its set's full backup, then every backup the run
      was built on, then its own output, the newest version of each file winning. Prints the plan (which
      outputs, in which order) first and what each output gave at the end; --dry-run prints the plan alone.
      A missing output, a broken chain or a wrong password stops it before anything is written; encrypted
      outputs take one password. Files deleted from the sources between runs cannot be known from the chain:
      they come back as the older backup holds them. Ctrl+C stops it; the files restored so far stay whole.
  daemon
      Run the scheduler until SIGINT or SIGTERM: at the start of every minute, queue and run every task
      whose schedule is due. Refuses to start while the desktop program or another velkor-cli run or daemon
      is running.
  decrypt FILE [OUT]
      Decrypt one .mbe file to OUT; without OUT, "x.zip.mbe" becomes "x.zip" and any other name gets
      ".decrypted" appended. An existing OUT is replaced.
  email-settings [OPTIONS]
      Without options, show the e-mail settings (the password masked). With options, change them and save
      after the checks of the window's settings dialog: --server HOST, --port N, --tls/--no-tls (STARTTLS),
      --ssl/--no-ssl (TLS from the first byte; --tls wins), --user NAME, --password-stdin (one line from
      standard input, without echo on a terminal), --from ADDRESS, --from-name NAME, --to ADDRESS (repeat
      it: the list is replaced), --enable/--disable (the mail after each run). --test sends the test mail
      to the first recipient with the settings and options as they stand, saving nothing.
  settings [--start-with-session on|off] [--start-in-tray on|off] [--notifications on|off]
           [--remember-password on|off] [--background on|off] [--speed-limit MBPS]
      Show the general settings, or change and save them as the window's settings page does: start the
      desktop program with the session (in the tray when --start-in-tray is on, which also makes its close
      button hide it there), notifications, remembering the encryption password (off removes a stored one),
      lower priority, and the speed limit in MB/s (0 = none).
  password set|clear
      Store the encryption password used by encrypted runs, decrypt and restore (typed twice without echo on
      a terminal, else one line from standard input), or remove it.

Options:
  --help       Show this help and exit.
  --version    Show the version and exit.

Passwords:
  Encrypted runs, decrypt and restore use the stored encryption password. Without one they ask on the
  terminal, without echo. Without a terminal, an encrypted run fails as a scheduled run would, decrypt reads
  the password as one line from standard input, and restore of encrypted content is refused.

Output:
  The activity log goes to standard output in the window's Turkish lines, "[dd.mm.yyyy hh:nn:ss] message";
  the progress line goes to standard error when that is a terminal. Ctrl+C (SIGINT) or SIGTERM cancels a
  running backup cleanly: it is recorded in the history as cancelled and its partial output is removed.

Files:
  Tasks and history are read from and written to $APPDATA/Pardex (else $XDG_CONFIG_HOME/Pardex, else
  ~/.config/Pardex), the stored password to QeltBackup/ beside it. Point APPDATA at another folder to work on
  another set of files.

Exit status:
  0  success (also a run that found nothing new to back up)
  1  a failed or cancelled run, or a command that failed
  2  bad usage: unknown command or option, missing or extra argument, no such task or history entry, or
     input the task and settings rules refuse (the message says why; nothing is changed)
)";
}

int UsageError(const std::string& problem) {
  std::cerr << "velkor-cli: " << problem << " (see --help)\n";
  return ExitUsage;
}

std::optional<TBackupType> ParseBackupType(const std::string& text) {
  if (text == "full") return btFull;
  if (text == "differential") return btDifferential;
  if (text == "incremental") return btIncremental;
  return std::nullopt;
}

int RunCommand(const TArgs& args) {
  std::string name;
  std::optional<TBackupType> type;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string typeText;
    if (arg == "--type") {
      if (i + 1 == args.size()) return UsageError("--type needs a value");
      typeText = args[++i];
    } else if (arg.rfind("--type=", 0) == 0) {
      typeText = arg.substr(7);
    } else if (arg.rfind("--", 0) == 0) {
      return UsageError("unknown option '" + arg + "' for run");
    } else if (name.empty()) {
      name = arg;
      continue;
    } else {
      return UsageError("run takes one task name");
    }
    type = ParseBackupType(typeText);
    if (!type) return UsageError("unknown backup type '" + typeText + "' (full, differential or incremental)");
  }
  if (name.empty()) return UsageError("run needs a task name");
  return RunBackupCommand(name, type);
}

int RestoreCommand(const TArgs& args) {
  std::vector<std::string> positional;
  TRestoreOptions options;
  for (const std::string& arg : args) {
    if (arg == "--skip")
      options.SkipExisting = true;
    else if (arg == "--as-of")
      options.AsOf = true;
    else if (arg == "--dry-run")
      options.DryRun = true;
    else if (arg.rfind("--", 0) == 0)
      return UsageError("unknown option '" + arg + "' for restore");
    else
      positional.push_back(arg);
  }
  if (options.DryRun && !options.AsOf) return UsageError("--dry-run goes with --as-of");
  if (options.DryRun && positional.size() == 1) positional.emplace_back();
  if (positional.size() != 2) return UsageError("restore needs INDEX and TARGET");
  return RunRestoreHistoryCommand(positional[0], positional[1], options);
}

int HistoryCommand(const TArgs& args) {
  if (args.empty()) return RunHistoryCommand();
  if (args.size() == 1 && args[0] == "--json") return RunHistoryJsonCommand();
  if (args[0] == "--mail")
    return args.size() == 2 ? RunHistoryMailCommand(args[1]) : UsageError("--mail needs one INDEX");
  if (args[0] != "--pdf") return UsageError("unknown option '" + args[0] + "' for history");
  if (args.size() != 3) return UsageError("history --pdf needs INDEX and FILE");
  return RunHistoryPdfCommand(args[1], args[2]);
}

int DecryptCommand(const TArgs& args) {
  if (args.empty() || args.size() > 2) return UsageError("decrypt needs FILE and optionally OUT");
  return RunDecryptCommand(args[0], args.size() == 2 ? args[1] : std::string());
}

// A command without arguments.
std::function<int(const TArgs&)> NoArguments(const std::string& name, int (*command)()) {
  return [name, command](const TArgs& args) {
    return args.empty() ? command() : UsageError(name + " takes no arguments");
  };
}

// A list command without arguments, or with --json for its form for scripts.
std::function<int(const TArgs&)> WithJson(const std::string& name, int (*plain)(), int (*json)()) {
  return [name, plain, json](const TArgs& args) {
    if (args.empty()) return plain();
    if (args.size() == 1 && args[0] == "--json") return json();
    return UsageError(name + " takes no arguments other than --json");
  };
}

}  // namespace

int main(int argc, char** argv) {
  velkor::InitProcessLocale();
  // A reader that goes away (a closed pipe) must not end a backup half-way.
  std::signal(SIGPIPE, SIG_IGN);
  // Past a file-size limit a write then fails with EFBIG and is reported like any other write failure, instead of
  // the process ending without a word.
  std::signal(SIGXFSZ, SIG_IGN);
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintHelp();
    return argc < 2 ? ExitUsage : ExitSuccess;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::cout << "velkor-cli " << VELKOR_VERSION << "\n";
    return ExitSuccess;
  }
  const std::pair<const char*, std::function<int(const TArgs&)>> commands[] = {
      {"tasks", WithJson("tasks", RunTasksCommand, RunTasksJsonCommand)},
      {"run", RunCommand},
      {"history", HistoryCommand},
      {"restore", RestoreCommand},
      {"daemon", NoArguments("daemon", RunDaemonCommand)},
      {"decrypt", DecryptCommand},
      {"email-settings", EmailSettingsCommand},
      {"task", RunTaskCommand},
      {"settings", RunSettingsCommand},
      {"password", RunPasswordCommand},
      {"verify", RunVerifyCommand},
  };
  const TArgs args(argv + 2, argv + argc);
  for (const auto& [name, command] : commands) {
    if (std::strcmp(argv[1], name) != 0) continue;
    // Whatever a command could not handle itself (a configuration folder that cannot be made, a store that
    // cannot be read) ends it with its message, never with an abort.
    try {
      return command(args);
    } catch (const std::exception& e) {
      std::cerr << "velkor-cli: " << TerminalText(e.what()) << "\n";
    } catch (...) {
      std::cerr << "velkor-cli: beklenmeyen bir hata oluştu\n";
    }
    return ExitFailure;
  }
  return UsageError(std::string("unknown command '") + argv[1] + "'");
}
