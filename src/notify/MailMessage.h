#pragma once
// The text of one e-mail as sent in the SMTP DATA phase: headers with the sender's display name, one To entry per
// recipient and the subject as RFC 2047 encoded-words in UTF-8, the body as UTF-8 text/html or text/plain in
// base64 (so long HTML lines and any byte survive every relay), and an optional attachment. The attachment is
// read and encoded piece by piece while the message is sent, never held whole.
#include <cstddef>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace velkor {

struct TMailMessage {
  std::string FromEmail;
  std::string FromName;
  std::vector<std::string> Recipients;
  std::string Subject;
  std::string Body;
  bool IsHtml = true;
  std::filesystem::path Attachment;  // empty: none
};

// Every line break (CR LF, lone LF, lone CR) as CR LF.
std::string NormalizeLineBreaks(std::string_view text);
// "=?UTF-8?B?...?=" words of at most 75 characters, split between characters and folded with CR LF and a blank.
std::string EncodeHeaderWords(std::string_view text);
// An address as it may stand in a header or an SMTP command: trimmed, control characters removed.
std::string CleanAddress(std::string_view address);
// "Tue, 05 Mar 2024 14:07:09 +0100": the local time with its offset.
std::string FormatMailDate(std::time_t time);

class TMailMessageStream {
public:
  // Opens the attachment when it names an existing file (a missing one is left out); raises EVelkorError when it
  // exists but cannot be opened.
  explicit TMailMessageStream(const TMailMessage& message, std::time_t date = std::time(nullptr));
  ~TMailMessageStream();
  TMailMessageStream(const TMailMessageStream&) = delete;
  TMailMessageStream& operator=(const TMailMessageStream&) = delete;

  // Fills up to `size` bytes and returns how many; 0 at the end. Raises EVelkorError when the attachment cannot
  // be read.
  size_t Read(char* buffer, size_t size);
  bool HasAttachment() const { return FFd >= 0; }

private:
  bool Refill();

  enum TPhase { mpHead, mpAttachment, mpTail, mpDone };
  TPhase FPhase = mpHead;
  std::string FHead;
  std::string FTail;
  std::string FPending;
  size_t FPendingPos = 0;
  std::filesystem::path FAttachment;
  int FFd = -1;
};

}  // namespace velkor
