// velkor: the desktop program, the window over the application core.
#include <QApplication>
#include <QPointer>
#include <csignal>

#include "platform/Clock.h"
#include "platform/ProcessLocale.h"
#include "platform/SingleInstance.h"
#include "ui/AppMessageForm.h"
#include "ui/MainForm.h"
#include "ui/QtAppPrompts.h"
#include "ui/QtMainThread.h"
#include "ui/UiStyle.h"

int main(int argc, char** argv) {
  using namespace velkor;
  InitProcessLocale();
  // A reader that goes away (a closed pipe) must not end a backup half-way.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Velkor"));
  QApplication::setFont(UiFont(12));

  TQtMainThread mainThread;
  // Before the guard, so the guard's listener has stopped before the hand-over it posts to goes away.
  TSingleInstanceGuard guard;
  if (!guard.Acquire()) {
    // The running instance has been asked to raise its window.
    ShowKindMessage("Program zaten çalışıyor.\r\nİkinci kez açılmasına izin verilmedi.", amWarning);
    return 0;
  }

  TQtAppPrompts prompts;
  TfrmMain form({prompts, SystemClock(), mainThread, {}, {}});
  QPointer<TfrmMain> window(&form);
  guard.ListenForRaiseRequests([&mainThread, window] {
    mainThread.Post([window] {
      if (!window) return;
      window->showNormal();
      window->raise();
      window->activateWindow();
    });
  });
  form.show();
  return application.exec();
}
