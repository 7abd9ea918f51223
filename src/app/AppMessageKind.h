#pragma once
// The kinds of the one message dialog, and how a one-button message picks its kind from its words. Callers that
// only have a text (ShowAutoMessage) rely on the classification, so messages keep their keywords.
#include <string>
#include <string_view>

namespace velkor {

enum TAppMessageKind : int { amInfo = 0, amSuccess = 1, amWarning = 2, amError = 3, amQuestion = 4 };

// First matching keyword list wins: question, success, error, warning; anything else is information. Letters
// A-Z are folded to lower case only, so Turkish capitals keep their case.
TAppMessageKind ClassifyMessageKind(std::string_view text);

// "Bilgilendirme", "Başarılı", "Uyarı", "Hata", "Onay".
std::string MessageKindTitle(TAppMessageKind kind);

}  // namespace velkor
