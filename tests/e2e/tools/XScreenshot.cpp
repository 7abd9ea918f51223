// Saves the whole X screen named by DISPLAY as a PNG file: the end-to-end test's look at the running program.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const QString file = QString::fromLocal8Bit(argv[1]);
  qputenv("QT_QPA_PLATFORM", "xcb");
  int qtArgc = 1;
  QGuiApplication application(qtArgc, argv);
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return 1;
  return screen->grabWindow(0).save(file, "PNG") ? 0 : 1;
}
