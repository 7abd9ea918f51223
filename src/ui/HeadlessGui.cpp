#include "ui/HeadlessGui.h"

#include <QGuiApplication>

namespace velkor {

namespace {

// Start-up notes of a GUI session (a missing XDG_RUNTIME_DIR, ...) mean nothing to a program that only draws
// into images, and would read like errors on a terminal.
void DiscardStartupMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

}  // namespace

THeadlessGui::THeadlessGui() {
  if (QCoreApplication::instance() != nullptr) return;
  const QtMessageHandler previous = qInstallMessageHandler(DiscardStartupMessage);
  FApplication = std::make_unique<QGuiApplication>(FArgc, FArgv);
  qInstallMessageHandler(previous);
}

THeadlessGui::~THeadlessGui() = default;

}  // namespace velkor
