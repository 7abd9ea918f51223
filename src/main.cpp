// velkor: the desktop program, the window over the application core.
#include <QApplication>
#include <csignal>

#include "app/TrayResidency.h"
#include "platform/Clock.h"
#include "platform/ProcessLocale.h"
#include "platform/SingleInstance.h"
#include "ui/AppMessageForm.h"
#include "ui/LoginForm.h"
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
  QApplication::setDesktopFileName(QStringLiteral("velkor"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/velkor/velkor.png")));
  QApplication::setFont(UiFont(12));
  // The program lives on in the tray while its window is hidden; it ends when the main window closes for good.
  QApplication::setQuitOnLastWindowClosed(false);

  TQtMainThread mainThread;
  // Before the guard, so the guard's listener has stopped before the hand-over it posts to goes away.
  TSingleInstanceGuard guard;
  if (!guard.Acquire()) {
    // The running instance has been asked to raise its window.
    ShowKindMessage(AlreadyRunningMessage, amWarning);
    return 0;
  }

  TQtAppPrompts prompts;
  TWindowLogin login(prompts, SystemClock());
  TMainFormServices services(prompts, SystemClock(), mainThread);
  for (const QString& argument : QApplication::arguments().mid(1)) services.Arguments.push_back(Std(argument));
  services.ShowLogin = [&login](bool forcePrompt) { return login.ShowLogin(forcePrompt); };
  TfrmMain form(services);
  QObject::connect(&form, &TfrmMain::Closed, &application, &QCoreApplication::quit, Qt::QueuedConnection);
  ForwardRaiseRequests(guard, mainThread, form);
  return application.exec();
}
