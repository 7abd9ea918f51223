#pragma once
// The small window that says what is being done while a history command works on its own thread: a caption, a
// two-line text and, once the work reports it, a progress bar with the file at hand. It has no buttons and cannot
// be closed by the user; its owner closes it. GUI thread only.
#include <QWidget>
#include <string>

#include "app/RestoreFlow.h"

class QLabel;
class QProgressBar;

namespace velkor {

class TfrmWait final : public QWidget {
  Q_OBJECT
public:
  // Centred on `owner`'s window and kept above it, without being its child: the owner is disabled meanwhile, and
  // this window must not be.
  TfrmWait(QWidget* owner, const TWaitWindowText& text);

  // `percent` 0..100, or -1 for work that cannot be counted.
  void ShowProgress(int percent, const std::string& text);

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  QLabel* lblWait;
  QProgressBar* pbWait;
  QLabel* lblProgress;
};

}  // namespace velkor
