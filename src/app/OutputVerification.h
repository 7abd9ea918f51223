#pragma once
// Checks a history entry's output against the SHA-256 its run recorded: the same digest the run computed (of the
// bytes for an archive or encrypted file, of the manifest for an output folder). The window's "Doğrula" command and
// velkor-cli verify share it.
#include <string>

#include "app/AppMessageKind.h"
#include "config/HistoryItem.h"

namespace velkor {

enum TVerifyVerdict : int {
  vvNoOutput,    // the entry names no output
  vvCloud,       // the output is in the cloud ("s3://..."), out of reach here
  vvNoChecksum,  // the run recorded no checksum
  vvMissing,     // the output is not on disk
  vvUnreadable,  // the output cannot be read to its end
  vvMismatch,
  vvMatch,
};

struct TVerifyOutcome {
  TVerifyVerdict Verdict = vvNoOutput;
  std::string Path;      // the output, trimmed
  std::string Recorded;  // the entry's checksum
  std::string Actual;    // the digest now (vvMismatch, vvMatch)
};

// Reads the whole output: long work for a large backup, so not on the GUI thread. Any thread.
TVerifyOutcome VerifyHistoryOutput(const TBackupHistoryItem& item);

// How the window reports an outcome: the message with its kind, and the activity-log line (empty: none).
struct TVerifyReport {
  std::string Message;
  TAppMessageKind Kind = amInfo;
  std::string LogLine;
};
TVerifyReport VerifyOutcomeReport(const TVerifyOutcome& outcome);

inline constexpr char VerifyNoSelectionMessage[] = "Lütfen doğrulamak istediğiniz log kaydını seçin.";

}  // namespace velkor
