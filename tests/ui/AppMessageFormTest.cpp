// The message dialog as the user meets it: kinds chosen from the words of a text, buttons in their order with the
// last one as default, the results of clicks, Enter and the close box, and the size for short and long texts.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/AppMessageForm.h"
#include "ui/UiStyle.h"

namespace velkor {
namespace {

using test::ClickButton;
using test::Find;
using test::ReadMessageDialog;
using test::SaveShot;
using test::TModalDriver;
using test::TShownMessage;

const QString MessageDialog = QStringLiteral("frmAppMessage");

QColor HeaderColor(QWidget& dialog) { return Find<QWidget>(dialog, "pnlHeader")->palette().color(QPalette::Window); }

TEST(AppMessageForm, OneButtonMessagesTakeTheirKindFromTheWords) {
  const struct {
    const char* Text;
    const char* Title;
    TAppMessageKind Kind;
    const char* Shot;  // one dialog of each kind is kept for a person to look at
  } cases[] = {
      {"Lütfen önce bir görev seçin!", "Uyarı", amWarning, "message-warning"},
      {"Şifreleme şifresi başarıyla kaydedildi!", "Başarılı", amSuccess, "message-success"},
      {"Seçili log kaydı silinsin mi?", "Onay", amQuestion, "message-question"},
      {"HATA: Hedef klasör oluşturulamadı: /mnt/yedek/çok/uzun/bir/yol/ki/tek/satıra/sığmaz/"
       "Belgeler_Yedek_2026_04_06_180000/alt_klasör/dosya.txt",
       "Hata", amError, "message-error"},
      {"Program zaten çalışıyor.\r\nİkinci kez açılmasına izin verilmedi.", "Bilgilendirme", amInfo, "message-info"},
      {"Yükleme başarısız", "Hata", amError, ""},                         // not "başarılı"
      {"Yedekleme tamamlandı, ama hata var", "Başarılı", amSuccess, ""},  // success is tested first
      {"İPTAL EDİLDİ", "Bilgilendirme", amInfo, ""},                      // the dotted capital İ is not folded
      {"UYARI", "Bilgilendirme", amInfo, ""},                             // capital I folds to the dotted i
  };
  for (const auto& c : cases) {
    TShownMessage shown;
    QColor header;
    TModalDriver driver;
    driver.Expect(MessageDialog, [&](QWidget& dialog) {
      shown = ReadMessageDialog(dialog);
      header = HeaderColor(dialog);
      if (*c.Shot != '\0') SaveShot(dialog, c.Shot);
      ClickButton(dialog, QStringLiteral("Tamam"));
    });
    ShowAutoMessage(c.Text);
    EXPECT_TRUE(driver.Done()) << c.Text;
    EXPECT_EQ(shown.Title, c.Title) << c.Text;
    EXPECT_EQ(shown.Buttons, std::vector<std::string>{"Tamam"}) << c.Text;
    EXPECT_EQ(header, ToQColor(MessageKindAccentColor(c.Kind))) << c.Text;
  }
}

TEST(AppMessageForm, ButtonsInOrderWithTheLastAsDefault) {
  const struct {
    TMsgDlgButtons Buttons;
    std::vector<std::string> Captions;
  } cases[] = {
      {0, {"Tamam"}},
      {mbYesNo, {"Evet", "Hayır"}},
      {mbYesNoCancel, {"Evet", "Hayır", "İptal"}},
      {ButtonBit(mbOK) | ButtonBit(mbCancel) | ButtonBit(mbHelp), {"Tamam", "İptal"}},
      {ButtonBit(mbAbort) | ButtonBit(mbRetry) | ButtonBit(mbIgnore), {"Tekrar Dene", "Vazgeç", "Yoksay"}},
  };
  for (const auto& c : cases) {
    TfrmAppMessage dialog;
    dialog.Configure("Onay", "Devam edilsin mi?", amQuestion, c.Buttons);
    const TShownMessage shown = ReadMessageDialog(dialog);
    EXPECT_EQ(shown.Buttons, c.Captions);
    EXPECT_EQ(shown.DefaultButton, c.Captions.back());
  }
  // A dialog configured again keeps none of its earlier buttons.
  TfrmAppMessage dialog;
  dialog.Configure("Onay", "Bir", amQuestion, mbYesNoCancel);
  dialog.Configure("Bilgilendirme", "İki", amInfo, mbOKOnly);
  EXPECT_EQ(ReadMessageDialog(dialog).Buttons, std::vector<std::string>{"Tamam"});
}

TEST(AppMessageForm, ClicksEnterAndTheCloseBoxGiveTheirResults) {
  const struct {
    TMsgDlgButtons Buttons;
    std::function<void(QWidget&)> Answer;
    int Result;
  } cases[] = {
      {mbYesNo, [](QWidget& d) { ClickButton(d, QStringLiteral("Evet")); }, mrYes},
      {mbYesNo, [](QWidget& d) { ClickButton(d, QStringLiteral("Hayır")); }, mrNo},
      {mbYesNo, [](QWidget& d) { QTest::keyClick(&d, Qt::Key_Return); }, mrNo},  // the default button
      {mbYesNoCancel, [](QWidget& d) { QTest::keyClick(&d, Qt::Key_Enter); }, mrCancel},
      {mbYesNo, [](QWidget& d) { d.close(); }, mrCancel},  // the close box
      {mbYesNo, [](QWidget& d) { QTest::keyClick(&d, Qt::Key_Escape); }, mrCancel},
      {ButtonBit(mbRetry) | ButtonBit(mbAbort), [](QWidget& d) { ClickButton(d, QStringLiteral("Vazgeç")); }, mrAbort},
  };
  for (const auto& c : cases) {
    TModalDriver driver;
    driver.Expect(MessageDialog, c.Answer);
    EXPECT_EQ(AppMessageDlg("Programdan çıkmak istediğinizden emin misiniz?", mtConfirmation, c.Buttons), c.Result);
    EXPECT_TRUE(driver.Done());
  }
}

TEST(AppMessageForm, KindComesFromTheDialogTypeNotTheWords) {
  TShownMessage shown;
  TModalDriver driver;
  driver.Expect(MessageDialog, [&](QWidget& dialog) {
    shown = ReadMessageDialog(dialog);
    ClickButton(dialog, QStringLiteral("Tamam"));
  });
  AppMessageDlg("  Yedekleme başarıyla tamamlandı.  ", mtError, mbOKOnly);
  EXPECT_EQ(shown.Title, "Hata");
  EXPECT_EQ(shown.Text, "Yedekleme başarıyla tamamlandı.");  // trimmed
}

TEST(AppMessageForm, SizeFollowsTheTextAndTheButtons) {
  const struct {
    int Length;
    TMsgDlgButtons Buttons;
    int Width;
  } cases[] = {
      {100, mbOKOnly, 520},
      {300, mbOKOnly, 620},
      {600, mbYesNo, 700},
  };
  for (const auto& c : cases) {
    std::string text;
    for (int i = 0; i < c.Length; ++i) text += i % 6 == 5 ? " " : "ş";
    TfrmAppMessage dialog;
    dialog.Configure("Bilgilendirme", text, amInfo, c.Buttons);
    EXPECT_EQ(dialog.width(), c.Width) << c.Length;
    QLabel* message = Find<QLabel>(dialog, "lblMessage");
    EXPECT_EQ(message->geometry(), QRect(28, 22, c.Width - 56, message->height())) << c.Length;
    EXPECT_GE(message->height(), 96);
    EXPECT_EQ(dialog.height(), 96 + message->height() + 78 + 44) << c.Length;
    if (c.Length == 600) SaveShot(dialog, "message-600-characters");
  }

  // A text far taller than the dialog allows is cut at 300 pixels.
  std::string tall;
  for (int i = 0; i < 80; ++i) tall += "Satır " + std::to_string(i) + "\r\n";
  TfrmAppMessage dialog;
  dialog.Configure("Bilgilendirme", tall, amInfo, mbOKOnly);
  EXPECT_EQ(Find<QLabel>(dialog, "lblMessage")->height(), 300);
  EXPECT_EQ(dialog.height(), 96 + 300 + 78 + 44);
  SaveShot(dialog, "message-cut-at-300");
}

TEST(AppMessageForm, ManyButtonsStartAt24) {
  const struct {
    TMsgDlgButtons Buttons;
    int Right;
  } cases[] = {
      // Five do not fit centred in the widest dialog, which is 760.
      {mbYesNoCancel | ButtonBit(mbYesToAll) | ButtonBit(mbNoToAll), 24 + 5 * 136 + 4 * 12},
      // Six run past its right edge.
      {mbYesNoCancel | ButtonBit(mbOK) | ButtonBit(mbYesToAll) | ButtonBit(mbNoToAll), 24 + 6 * 136 + 5 * 12},
  };
  for (const auto& c : cases) {
    TfrmAppMessage dialog;
    dialog.Configure("Onay", "Her dosya için ne yapılsın?", amQuestion, c.Buttons);
    EXPECT_EQ(dialog.width(), 760);
    int left = 1000, right = 0;
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
      EXPECT_EQ(button->size(), QSize(136, 42));
      EXPECT_EQ(button->y(), 18);
      left = std::min(left, button->x());
      right = std::max(right, button->geometry().right() + 1);
    }
    EXPECT_EQ(left, 24);
    EXPECT_EQ(right, c.Right);
    if (c.Right > 760) SaveShot(dialog, "message-six-buttons");
  }
}

}  // namespace
}  // namespace velkor
