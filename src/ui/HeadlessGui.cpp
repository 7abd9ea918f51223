#include "ui/HeadlessGui.h"

#include <QGuiApplication>
#include <cstdio>

namespace velkor {

namespace {

// Start-up notes of a GUI session (a missing XDG_RUNTIME_DIR, ...) mean nothing to a program that only draws
// into images, and would read like errors on a terminal; a fatal one (no platform plugin) is still said.
void DiscardStartupNotes(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

}  // namespace

THeadlessGui::THeadlessGui() {
  if (QCoreApplication::instance() != nullptr) return;
  const QtMessageHandler previous = qInstallMessageHandler(DiscardStartupNotes);
  FApplication = std::make_unique<QGuiApplication>(FArgc, FArgv);
  qInstallMessageHandler(previous);
}

THeadlessGui::~THeadlessGui() = default;

}  // namespace velkor
