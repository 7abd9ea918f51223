#pragma once
// Saving a history entry as a PDF report, for callers that do not use Qt themselves (velkor-cli). The pages are
// drawn by HistoryPdfRenderer, which needs a QGuiApplication: see HeadlessGui.h for programs without a window.
#include <filesystem>

#include "config/HistoryItem.h"
#include "util/FormatSettings.h"

namespace velkor {

// Renders the entry and writes the PDF under a temporary name, renamed over `fileName` when complete. Errors
// (EVelkorError with the system's message) reach the caller; a failed export leaves no half file.
void ExportHistoryItemToPdf(const std::filesystem::path& fileName, const TBackupHistoryItem& item,
                            const TFormatSettings& fs = UserFormatSettings());

}  // namespace velkor
