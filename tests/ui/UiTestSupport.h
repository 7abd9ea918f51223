#pragma once
// The window's tests: a QApplication on Qt's offscreen platform for the whole test program (set up here, before
// any test runs), screenshots into build/ui-shots/, and a driver that answers modal dialogs as a user would.
#include <gtest/gtest.h>

#include <QPointer>
#include <QString>
#include <QWidget>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace velkor::test {

// Saves what `widget` shows to <build>/ui-shots/<name>.png, for a person to look at.
void SaveShot(QWidget& widget, const std::string& name);

// Answers the modal dialogs that code under test opens, in order: each expectation names the dialog's object name
// and what to do with it once it is on screen. A dialog that nobody expected is recorded and closed, so a test
// never hangs on it. Install before calling the code that opens the dialogs.
class TModalDriver {
public:
  TModalDriver();
  ~TModalDriver();
  TModalDriver(const TModalDriver&) = delete;
  TModalDriver& operator=(const TModalDriver&) = delete;

  TModalDriver& Expect(const QString& objectName, std::function<void(QWidget&)> action);
  // Every expected dialog was seen, and nothing else.
  bool Done() const { return FSteps.empty() && FUnexpected.empty(); }
  const std::vector<std::string>& Unexpected() const { return FUnexpected; }

private:
  struct TStep {
    QString ObjectName;
    std::function<void(QWidget&)> Action;
  };
  void Poll();

  std::deque<TStep> FSteps;
  std::vector<std::string> FUnexpected;
  class QTimer* FTimer;
};

// What a message dialog showed.
struct TShownMessage {
  std::string Title;
  std::string Text;
  std::vector<std::string> Buttons;  // captions, left to right
  std::string DefaultButton;
  bool operator==(const TShownMessage&) const = default;
};
TShownMessage ReadMessageDialog(QWidget& dialog);
// Types `text` into `widget` key by key, letters outside ASCII too.
void TypeText(QWidget* widget, const QString& text);
// Clicks the button with `caption` in a dialog.
void ClickButton(QWidget& dialog, const QString& caption);

// Field by object name; fails the test when missing.
template <typename T>
T* Find(QWidget& parent, const char* name) {
  T* child = parent.findChild<T*>(QLatin1String(name));
  if (child == nullptr) ADD_FAILURE() << "no " << name;
  return child;
}

}  // namespace velkor::test
