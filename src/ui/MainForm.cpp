#include "ui/MainForm.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

#include "ui/UiStyle.h"

namespace velkor {

TfrmMain::TfrmMain(const TMainFormServices& services, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QStringLiteral("Velkor - Profesyonel Yedekleme Çözümü"));
  resize(1280, 800);
  memoLog = new QPlainTextEdit(this);
  memoLog->setObjectName(QStringLiteral("memoLog"));
  memoLog->setReadOnly(true);
  memoLog->setFont(FixedFont(9));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(memoLog);

  TAppCoreServices core(*this, services.Prompts, services.Clock, services.MainThread);
  core.ConfigDirectory = services.ConfigDirectory;
  core.RegistryFile = services.RegistryFile;
  FCore = std::make_unique<TAppCore>(core);
  FCore->LoadConfiguration();
  FCore->Start();
}

// The core goes first: its destructor stops a running backup, whose completion still writes to this view.
TfrmMain::~TfrmMain() { FCore.reset(); }

void TfrmMain::AppendLogLines(const std::vector<std::string>& lines) {
  QStringList text;
  for (const std::string& line : lines) text << Qs(line);
  memoLog->appendPlainText(text.join(QLatin1Char('\n')));
  memoLog->verticalScrollBar()->setValue(memoLog->verticalScrollBar()->maximum());
}

}  // namespace velkor
