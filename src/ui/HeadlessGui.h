#pragma once
// Qt's GUI machinery (fonts, painting into images) for a program without a window: velkor-cli and the tests.
// Creates a QGuiApplication on Qt's offscreen platform unless the process already has an application, so no
// display is needed. Main thread only; one at a time.
#include <memory>

class QGuiApplication;

namespace velkor {

class THeadlessGui {
public:
  THeadlessGui();
  ~THeadlessGui();
  THeadlessGui(const THeadlessGui&) = delete;
  THeadlessGui& operator=(const THeadlessGui&) = delete;

private:
  // QGuiApplication keeps references to these for its whole life.
  int FArgc = 3;
  char FName[8] = "velkor";
  char FPlatformSwitch[10] = "-platform";
  char FPlatform[10] = "offscreen";
  char* FArgv[4] = {FName, FPlatformSwitch, FPlatform, nullptr};
  std::unique_ptr<QGuiApplication> FApplication;
};

}  // namespace velkor
