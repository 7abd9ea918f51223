#pragma once
// Everything the one message dialog decides before it is drawn: the standard dialog types and buttons with their
// captions and results, the colours of a kind, the button row and the size of the dialog for a text. The window
// draws from these; the command-line tool uses the same texts. No toolkit here: the caller measures text.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/AppMessageKind.h"
#include "app/IAppView.h"

namespace velkor {

enum TMsgDlgType : int { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn : int {
  mbYes,
  mbNo,
  mbOK,
  mbCancel,
  mbAbort,
  mbRetry,
  mbIgnore,
  mbAll,
  mbNoToAll,
  mbYesToAll,
  mbHelp,
  mbClose
};
// A set of buttons: bit n stands for the button with ordinal n.
using TMsgDlgButtons = unsigned;
constexpr TMsgDlgButtons ButtonBit(TMsgDlgBtn button) { return 1u << button; }
constexpr TMsgDlgButtons mbYesNo = ButtonBit(mbYes) | ButtonBit(mbNo);
constexpr TMsgDlgButtons mbYesNoCancel = mbYesNo | ButtonBit(mbCancel);
constexpr TMsgDlgButtons mbOKOnly = ButtonBit(mbOK);

// What a dialog returns; the numbers are kept by callers that compare with them.
enum TModalResult : int {
  mrNone = 0,
  mrOk = 1,
  mrCancel = 2,  // also the window's close box
  mrAbort = 3,
  mrRetry = 4,
  mrIgnore = 5,
  mrYes = 6,
  mrNo = 7,
  mrHelp = 9,
  mrAll = 12,
  mrNoToAll = 13,
  mrYesToAll = 14
};

TAppMessageKind MessageKindFromDlgType(TMsgDlgType type);
std::string MessageKindSubtitle(TAppMessageKind kind);
std::string MessageKindGlyph(TAppMessageKind kind);  // "i", "✓", "!", "×", "?"
TRgbColor MessageKindAccentColor(TAppMessageKind kind);

std::string ButtonCaption(TMsgDlgBtn button);
int ButtonModalResult(TMsgDlgBtn button);
// The buttons of `buttons` in the order the dialog shows them; Help and Close are never shown, and an empty
// choice shows OK alone.
std::vector<TMsgDlgBtn> ShownButtons(TMsgDlgButtons buttons);

// Each channel (base * (255 - amount) + target * amount) / 255, amount 0..255.
TRgbColor BlendColor(TRgbColor base, TRgbColor target, int amount);

struct TAppMessageTheme {
  TRgbColor Frame;
  TRgbColor Header;
  TRgbColor CircleFill;
  TRgbColor CircleOutline;
  TRgbColor Title;  // title and glyph
  TRgbColor Subtitle;
  TRgbColor ButtonBar;
};
TAppMessageTheme MessageTheme(TRgbColor accent);

// Fixed parts of the dialog, in pixels.
constexpr int MessageHeaderHeight = 96;
constexpr int MessageButtonBarHeight = 78;
constexpr int MessageButtonWidth = 136;
constexpr int MessageButtonHeight = 42;
constexpr int MessageButtonGap = 12;
constexpr int MessageButtonTop = 18;
constexpr int MessageMinWidth = 440;
constexpr int MessageMaxWidth = 760;
constexpr int MessageMinHeight = 280;
constexpr int MessageMaxHeight = 640;

struct TAppMessageLayout {
  int ClientWidth = 0;
  int ClientHeight = 0;
  int MessageLeft = 28;
  int MessageTop = 22;  // inside the body, below the header
  int MessageWidth = 0;
  int MessageHeight = 0;
  int TitleWidth = 0;  // title and subtitle
  int ButtonsLeft = 0;
};

// The dialog's size for a message of `text` (already trimmed) and `buttonCount` buttons. `measureHeight` gives the
// height of the text word-wrapped at a width.
TAppMessageLayout LayoutForMessage(std::string_view text, int buttonCount,
                                   const std::function<int(int width)>& measureHeight);
// Left edge of a centred row of `buttonCount` buttons, never closer to the edge than 24.
int ButtonRowLeft(int clientWidth, int buttonCount);

}  // namespace velkor
