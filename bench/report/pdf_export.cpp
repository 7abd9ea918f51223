// Exports one history entry with many file rows as a PDF report and reports seconds, pages, file size and peak
// memory. Pages are encoded and written one at a time, so the peak must not grow with the number of pages.
// Usage: pdf_export_bench [rows, default 10000] [output file, default a temporary one]
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "ui/HeadlessGui.h"
#include "ui/HistoryPdfExport.h"
#include "util/DateTime.h"

int main(int argc, char** argv) {
  using namespace velkor;
  const int rows = argc > 1 ? std::stoi(argv[1]) : 10000;
  const std::filesystem::path output =
      argc > 2 ? std::filesystem::path(argv[2])
               : std::filesystem::temp_directory_path() / ("velkor-pdf-bench-" + std::to_string(::getpid()) + ".pdf");

  TBackupHistoryItem item;
  item.BackupTime = EncodeDateTime(2026, 4, 6, 18, 0, 0);
  item.Success = true;
  item.TaskName = "Belgeler";
  item.Details = "Yedekleme tamamlandı.";
  item.SourceCount = 1;
  // Every tenth name is long enough to wrap onto a second line.
  for (int i = 0; i < rows; ++i) {
    std::string name = "/home/ayse/Belgeler/klasör " + std::to_string(i / 100) + "/dosya-" + std::to_string(i) + ".txt";
    if (i % 10 == 0)
      name += std::string(" uzun bir ad ile devam eden ve satıra sığmayan açıklama metni") + " ve daha fazlası";
    item.Files.push_back({name, 1000LL * i, i % 50 != 7});
    item.TotalSize += 1000LL * i;
  }
  item.FileCount = rows;

  const THeadlessGui gui;
  const auto start = std::chrono::steady_clock::now();
  ExportHistoryItemToPdf(output, item);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  std::string info;
  std::string command = "pdfinfo '" + output.string() + "' 2>/dev/null | grep '^Pages:'";
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char line[128];
    while (std::fgets(line, sizeof line, pipe)) info += line;
    ::pclose(pipe);
  }
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  std::printf("rows: %d\nseconds: %.2f\n%sfile size: %.1f MiB\npeak resident memory: %.1f MiB\n", rows, seconds,
              info.c_str(), static_cast<double>(std::filesystem::file_size(output)) / 1048576.0,
              static_cast<double>(usage.ru_maxrss) / 1024.0);
  if (argc <= 2) std::filesystem::remove(output);
  return 0;
}
