#include "cli/CliView.h"

namespace velkor {

namespace {

constexpr const char* ClearLine = "\r\033[K";

}  // namespace

TCliView::TCliView(bool showProgress) : FShowProgress(showProgress) {}

TCliView::~TCliView() { ClearProgress(); }

void TCliView::AppendLogLines(const std::vector<std::string>& lines) {
  // The progress line shares the terminal with the log: it steps aside and comes back below the new lines.
  const std::string progress = FProgress;
  ClearProgress();
  for (const std::string& line : lines) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
  }
  std::fflush(stdout);
  if (!progress.empty()) SetProgressText(progress);
}

void TCliView::SetProgressText(const std::string& text) {
  if (!FShowProgress) return;
  // The idle text is no progress; the line goes away instead.
  if (text == "Hazır") return ClearProgress();
  FProgress = text;
  std::fputs(ClearLine, stderr);
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
}

void TCliView::ClearProgress() {
  if (FProgress.empty()) return;
  FProgress.clear();
  std::fputs(ClearLine, stderr);
  std::fflush(stderr);
}

}  // namespace velkor
