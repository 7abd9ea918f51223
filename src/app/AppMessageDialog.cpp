#include "app/AppMessageDialog.h"

#include <algorithm>

namespace velkor {

namespace {

// Characters, as a reader counts them: UTF-8 continuation bytes are not counted.
int CharacterCount(std::string_view text) {
  return static_cast<int>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

TAppMessageKind MessageKindFromDlgType(TMsgDlgType type) {
  switch (type) {
    case mtWarning: return amWarning;
    case mtError: return amError;
    case mtConfirmation: return amQuestion;
    default: return amInfo;
  }
}

std::string MessageKindSubtitle(TAppMessageKind kind) {
  switch (kind) {
    case amSuccess: return "İşlem sorunsuz tamamlandı.";
    case amWarning: return "Devam etmeden önce kontrol edilmesi gereken bir durum var.";
    case amError: return "İşlem beklenmeyen bir nedenle tamamlanamadı.";
    case amQuestion: return "Devam etmeden önce seçiminizi onaylayın.";
    default: return "Bilgilendirme mesajı";
  }
}

std::string MessageKindGlyph(TAppMessageKind kind) {
  switch (kind) {
    case amSuccess: return "✓";
    case amWarning: return "!";
    case amError: return "×";
    case amQuestion: return "?";
    default: return "i";
  }
}

TRgbColor MessageKindAccentColor(TAppMessageKind kind) {
  switch (kind) {
    case amSuccess: return {48, 167, 69};
    case amWarning: return {240, 143, 15};
    case amError: return {230, 61, 58};
    case amQuestion: return {29, 106, 149};
    default: return {0, 64, 128};
  }
}

std::string ButtonCaption(TMsgDlgBtn button) {
  switch (button) {
    case mbYes: return "Evet";
    case mbNo: return "Hayır";
    case mbCancel: return "İptal";
    case mbAbort: return "Vazgeç";
    case mbRetry: return "Tekrar Dene";
    case mbIgnore: return "Yoksay";
    case mbAll: return "Tümü";
    case mbNoToAll: return "Tümüne Hayır";
    case mbYesToAll: return "Tümüne Evet";
    case mbHelp: return "Yardım";
    default: return "Tamam";  // OK and Close
  }
}

int ButtonModalResult(TMsgDlgBtn button) {
  switch (button) {
    case mbYes: return mrYes;
    case mbNo: return mrNo;
    case mbCancel: return mrCancel;
    case mbAbort: return mrAbort;
    case mbRetry: return mrRetry;
    case mbIgnore: return mrIgnore;
    case mbAll: return mrAll;
    case mbNoToAll: return mrNoToAll;
    case mbYesToAll: return mrYesToAll;
    case mbHelp: return mrHelp;
    default: return mrOk;  // OK and Close
  }
}

std::vector<TMsgDlgBtn> ShownButtons(TMsgDlgButtons buttons) {
  static constexpr TMsgDlgBtn Order[] = {mbYes,   mbNo,     mbOK,  mbCancel,   mbRetry,
                                         mbAbort, mbIgnore, mbAll, mbYesToAll, mbNoToAll};
  std::vector<TMsgDlgBtn> shown;
  for (TMsgDlgBtn button : Order)
    if ((buttons & ButtonBit(button)) != 0) shown.push_back(button);
  if (shown.empty()) shown.push_back(mbOK);
  return shown;
}

TRgbColor BlendColor(TRgbColor base, TRgbColor target, int amount) {
  const auto channel = [amount](int b, int t) { return (b * (255 - amount) + t * amount) / 255; };
  return {channel(base.Red, target.Red), channel(base.Green, target.Green), channel(base.Blue, target.Blue)};
}

TAppMessageTheme MessageTheme(TRgbColor accent) {
  const TRgbColor black{0, 0, 0};
  const TRgbColor white{255, 255, 255};
  TAppMessageTheme theme;
  theme.Frame = BlendColor(accent, black, 20);
  theme.Header = accent;
  theme.CircleFill = BlendColor(accent, white, 22);
  theme.CircleOutline = BlendColor(accent, white, 40);
  theme.Title = white;
  theme.Subtitle = BlendColor(white, accent, 52);
  theme.ButtonBar = {64, 72, 82};
  return theme;
}

TAppMessageLayout LayoutForMessage(std::string_view text, int buttonCount,
                                   const std::function<int(int width)>& measureHeight) {
  TAppMessageLayout layout;
  const int length = CharacterCount(text);
  const int width = length <= 260 ? 520 : length <= 520 ? 620 : 700;
  layout.ClientWidth = std::clamp(width, MessageMinWidth, MessageMaxWidth);
  layout.MessageWidth = layout.ClientWidth - 56;
  layout.MessageHeight = std::clamp(measureHeight(layout.MessageWidth) + 8, 96, 300);
  layout.ClientHeight = std::clamp(MessageHeaderHeight + layout.MessageHeight + MessageButtonBarHeight + 44,
                                   MessageMinHeight, MessageMaxHeight);
  const int buttonsWidth = buttonCount * (MessageButtonWidth + MessageButtonGap) - MessageButtonGap + 48;
  if (layout.ClientWidth < buttonsWidth)
    layout.ClientWidth = std::clamp(buttonsWidth, MessageMinWidth, MessageMaxWidth);
  layout.TitleWidth = layout.ClientWidth - 180;
  layout.ButtonsLeft = ButtonRowLeft(layout.ClientWidth, buttonCount);
  return layout;
}

int ButtonRowLeft(int clientWidth, int buttonCount) {
  const int rowWidth = buttonCount * MessageButtonWidth + (buttonCount - 1) * MessageButtonGap;
  return std::max(24, (clientWidth - rowWidth) / 2);
}

}  // namespace velkor
