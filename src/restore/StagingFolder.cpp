#include "restore/StagingFolder.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "engine/LongPathUtils.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "util/DateTime.h"
#include "util/Error.h"
#include "util/FormatSettings.h"

namespace velkor {

namespace fs = std::filesystem;

bool IsRestoreStagingName(std::string_view name) {
  return name.starts_with("RestoreZip_") || name.starts_with("RestoreMbe_") || name.starts_with("RestoreAnalyze_");
}

TStagingFolder::TStagingFolder(const std::string& prefix, IClock& clock) {
  const std::string temp = ToNativePath(GetUserTempDirectory().string()).string();
  LongForceDirectories(temp);
  const std::string base = (fs::path(temp) / (prefix + FormatDateTime("yyyymmddhhnnsszzz", clock.Now()))).string();
  for (int attempt = 0;; ++attempt) {
    const std::string candidate = attempt == 0 ? base : base + "_" + std::to_string(attempt);
    if (::mkdir(candidate.c_str(), 0700) == 0) {
      FPath = candidate;
      FLock = TWorkLock(FPath);
      return;
    }
    const int err = errno;
    if (err != EEXIST || attempt >= 1000)
      throw EVelkorError("Geçici klasör oluşturulamadı: " + candidate + " (" + SystemErrorMessage(err) + ")");
  }
}

TStagingFolder::~TStagingFolder() {
  // Removed while still locked, so a cleanup running meanwhile never takes it for a leftover.
  try {
    LongDeleteDirectory(FPath, true);
  } catch (...) {
    // The folder's name carries its time, so a leftover is recognisable; nothing more can be done here.
  }
}

void TStagingFolder::CheckFreeSpace(int64_t bytes) {
  const fs::path temp = GetUserTempDirectory();
  std::error_code ec;
  const fs::space_info space = fs::space(temp, ec);
  if (ec || bytes <= 0 || static_cast<uintmax_t>(bytes) <= space.available) return;
  throw EVelkorError("Geçici klasörde yeterli boş alan yok: gerekli alan " + FormatByteSize(bytes) +
                     ", kullanılabilir alan " + FormatByteSize(static_cast<long long>(space.available)) + " (" +
                     temp.string() + "). Geri yükleme başlatılmadı.");
}

}  // namespace velkor
