#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "ui/UiStyle.h"

namespace velkor::test {

namespace {

class TWidgetEnvironment : public testing::Environment {
public:
  void SetUp() override {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    FApplication = std::make_unique<QApplication>(FArgc, FArgv);
    QApplication::setFont(UiFont(12));
  }
  void TearDown() override { FApplication.reset(); }

private:
  int FArgc = 1;
  char FName[16] = "velkor_tests_ui";
  char* FArgv[2] = {FName, nullptr};
  std::unique_ptr<QApplication> FApplication;
};

const testing::Environment* const WidgetEnvironment = testing::AddGlobalTestEnvironment(new TWidgetEnvironment);

const char* const HandledProperty = "velkorTestHandled";

}  // namespace

void SaveShot(QWidget& widget, const std::string& name) {
  const QString folder = QStringLiteral(VELKOR_UI_SHOTS_DIR);
  QDir().mkpath(folder);
  const QString file = folder + QLatin1Char('/') + QString::fromStdString(name) + QStringLiteral(".png");
  EXPECT_TRUE(widget.grab().save(file)) << file.toStdString();
}

TModalDriver::TModalDriver() : FTimer(new QTimer) {
  FTimer->setInterval(5);
  QObject::connect(FTimer, &QTimer::timeout, [this] { Poll(); });
  FTimer->start();
}

TModalDriver::~TModalDriver() { delete FTimer; }

TModalDriver& TModalDriver::Expect(const QString& objectName, std::function<void(QWidget&)> action) {
  FSteps.push_back({objectName, std::move(action)});
  return *this;
}

void TModalDriver::Poll() {
  QWidget* modal = QApplication::activeModalWidget();
  if (modal == nullptr || !modal->isVisible() || modal->property(HandledProperty).toBool()) return;
  modal->setProperty(HandledProperty, true);
  if (FSteps.empty() || FSteps.front().ObjectName != modal->objectName()) {
    FUnexpected.push_back(modal->objectName().toStdString() + ": " + modal->windowTitle().toStdString());
    QTimer::singleShot(0, modal, [modal] { modal->close(); });
    return;
  }
  TStep step = std::move(FSteps.front());
  FSteps.pop_front();
  QPointer<QWidget> target(modal);
  // After the current event: the dialog's own event loop is running by then.
  QTimer::singleShot(0, modal, [target, action = std::move(step.Action)] {
    if (target) action(*target);
  });
}

TShownMessage ReadMessageDialog(QWidget& dialog) {
  TShownMessage shown;
  if (auto* title = dialog.findChild<QLabel*>(QStringLiteral("lblTitle"))) shown.Title = title->text().toStdString();
  if (auto* text = dialog.findChild<QLabel*>(QStringLiteral("lblMessage"))) shown.Text = text->text().toStdString();
  QList<QPushButton*> buttons = dialog.findChildren<QPushButton*>();
  std::sort(buttons.begin(), buttons.end(), [](QPushButton* a, QPushButton* b) { return a->x() < b->x(); });
  for (QPushButton* button : buttons) {
    shown.Buttons.push_back(button->text().toStdString());
    if (button->isDefault()) shown.DefaultButton = button->text().toStdString();
  }
  return shown;
}

void TypeText(QWidget* widget, const QString& text) {
  for (const QChar ch : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(widget, &release);
  }
}

void ClickButton(QWidget& dialog, const QString& caption) {
  for (QPushButton* button : dialog.findChildren<QPushButton*>())
    if (button->text() == caption) {
      QTest::mouseClick(button, Qt::LeftButton);
      return;
    }
  ADD_FAILURE() << "no button " << caption.toStdString();
}

}  // namespace velkor::test
