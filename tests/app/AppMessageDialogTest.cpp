// The message dialog's decisions without a window: button order and results, colours, and the size for a text.
#include <gtest/gtest.h>

#include "app/AppMessageDialog.h"

namespace velkor {
namespace {

TEST(AppMessageDialog, ButtonsInShownOrderWithCaptionsAndResults) {
  const struct {
    TMsgDlgButtons Buttons;
    std::vector<std::string> Captions;
    std::vector<int> Results;
  } cases[] = {
      {0, {"Tamam"}, {1}},
      {ButtonBit(mbHelp) | ButtonBit(mbClose), {"Tamam"}, {1}},  // never shown, so OK stands in
      {mbYesNo, {"Evet", "Hayır"}, {6, 7}},
      {mbYesNoCancel, {"Evet", "Hayır", "İptal"}, {6, 7, 2}},
      {ButtonBit(mbAbort) | ButtonBit(mbRetry) | ButtonBit(mbIgnore), {"Tekrar Dene", "Vazgeç", "Yoksay"}, {4, 3, 5}},
      {ButtonBit(mbNoToAll) | ButtonBit(mbYesToAll) | ButtonBit(mbAll) | ButtonBit(mbOK),
       {"Tamam", "Tümü", "Tümüne Evet", "Tümüne Hayır"},
       {1, 12, 14, 13}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> captions;
    std::vector<int> results;
    for (TMsgDlgBtn button : ShownButtons(c.Buttons)) {
      captions.push_back(ButtonCaption(button));
      results.push_back(ButtonModalResult(button));
    }
    EXPECT_EQ(captions, c.Captions) << c.Buttons;
    EXPECT_EQ(results, c.Results) << c.Buttons;
  }
}

TEST(AppMessageDialog, KindsOfDialogTypesAndTheirColours) {
  EXPECT_EQ(MessageKindFromDlgType(mtWarning), amWarning);
  EXPECT_EQ(MessageKindFromDlgType(mtError), amError);
  EXPECT_EQ(MessageKindFromDlgType(mtInformation), amInfo);
  EXPECT_EQ(MessageKindFromDlgType(mtConfirmation), amQuestion);
  EXPECT_EQ(MessageKindFromDlgType(mtCustom), amInfo);

  EXPECT_EQ(BlendColor({0, 0, 0}, {255, 255, 255}, 0), (TRgbColor{0, 0, 0}));
  EXPECT_EQ(BlendColor({0, 0, 0}, {255, 255, 255}, 255), (TRgbColor{255, 255, 255}));
  const TAppMessageTheme theme = MessageTheme(MessageKindAccentColor(amWarning));  // 240, 143, 15
  EXPECT_EQ(theme.Header, (TRgbColor{240, 143, 15}));
  EXPECT_EQ(theme.Frame, (TRgbColor{221, 131, 13}));          // 240 * 235 / 255 = 221.17
  EXPECT_EQ(theme.CircleFill, (TRgbColor{241, 152, 35}));     // (143 * 233 + 255 * 22) / 255 = 152.66
  EXPECT_EQ(theme.CircleOutline, (TRgbColor{242, 160, 52}));  // (143 * 215 + 255 * 40) / 255 = 160.57
  EXPECT_EQ(theme.Subtitle, (TRgbColor{251, 232, 206}));      // (255 * 203 + 143 * 52) / 255 = 232.16
  EXPECT_EQ(theme.ButtonBar, (TRgbColor{64, 72, 82}));
}

TEST(AppMessageDialog, SizeFollowsTextLengthAndButtons) {
  const auto lines = [](int height) { return [height](int) { return height; }; };
  const struct {
    int Length;
    int Buttons;
    int MeasuredHeight;
    int Width, Height, MessageHeight, ButtonsLeft;
  } cases[] = {
      {100, 1, 20, 520, 314, 96, 192},    // short text: the message area's minimum
      {260, 2, 150, 520, 376, 158, 118},  // 96 + 158 + 78 + 44
      {300, 2, 150, 620, 376, 158, 168}, {520, 1, 150, 620, 376, 158, 242},
      {600, 3, 150, 700, 376, 158, 134}, {600, 1, 1000, 700, 518, 300, 282},  // cut at 300 pixels of text
      {10, 5, 20, 760, 314, 96, 24},  // five buttons do not fit: the row starts at 24
      {10, 4, 20, 628, 314, 96, 24},  // widened to 4 * 148 - 12 + 48
  };
  for (const auto& c : cases) {
    const std::string text(c.Length, 'a');
    const TAppMessageLayout layout = LayoutForMessage(text, c.Buttons, lines(c.MeasuredHeight));
    EXPECT_EQ(layout.ClientWidth, c.Width) << c.Length << " / " << c.Buttons;
    EXPECT_EQ(layout.ClientHeight, c.Height) << c.Length << " / " << c.Buttons;
    EXPECT_EQ(layout.MessageHeight, c.MessageHeight) << c.Length << " / " << c.Buttons;
    EXPECT_EQ(layout.ButtonsLeft, c.ButtonsLeft) << c.Length << " / " << c.Buttons;
  }
  // Characters are counted, not bytes, and the text is measured at the width minus its margins.
  int measuredAt = 0;
  const TAppMessageLayout turkish = LayoutForMessage(
      std::string(130, 'a') +
          [] {
            std::string s;
            for (int i = 0; i < 130; ++i) s += "ş";
            return s;
          }(),
      1, [&](int width) { return measuredAt = width, 20; });
  EXPECT_EQ(turkish.ClientWidth, 520);
  EXPECT_EQ(measuredAt, 464);
  EXPECT_EQ(turkish.TitleWidth, 340);
}

}  // namespace
}  // namespace velkor
