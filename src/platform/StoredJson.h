#pragma once
// Reading the JSON files the program stores (config.json, history.json, registry.json) so that damage costs as
// little as possible and bad input is never dangerous:
// - a byte that is not part of well-formed UTF-8 becomes U+FFFD and everything else is kept (the JSON parser
//   refuses ill-formed UTF-8, and one damaged byte must not hide every task or every run);
// - the text ends where it nests deeper than the limit or grows beyond the size limit, so the parse fails and
//   the file counts as damaged: copying or writing a parsed document recurses once per level, and a huge
//   document costs memory in proportion.
// The file is read block by block; only the parser's result is held.
#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <streambuf>
#include <string>

namespace velkor {

// Length (1 to 4) of the well-formed UTF-8 sequence that starts at `text`, or 0 when none starts there.
size_t Utf8SequenceLength(const unsigned char* text, size_t size);

struct TJsonTextLimits {
  uint64_t MaxBytes = 0;  // 0: no limit
  int MaxDepth = 0;       // arrays and objects open at once; 0: no limit
};

// The file as the JSON parser reads it (std::istream over this buffer).
class TJsonTextReader final : public std::streambuf {
public:
  // A file that cannot be opened reads as empty text, with OpenError() and Fault() saying why.
  TJsonTextReader(const std::filesystem::path& file, TJsonTextLimits limits);
  ~TJsonTextReader() override;
  TJsonTextReader(const TJsonTextReader&) = delete;
  TJsonTextReader& operator=(const TJsonTextReader&) = delete;

  int OpenError() const { return FOpenError; }
  int Descriptor() const { return FFd; }  // -1 when it did not open  // errno of the failed open, 0 when it opened
  uint64_t ReplacedBytes() const { return FReplaced; }
  // Nothing but JSON's blanks (and a byte-order mark) so far; a file of NULs, as a crash can leave, is not blank.
  bool Blank() const { return FBlank; }
  // Why the text ended early, in Turkish ("" when it did not).
  const std::string& Fault() const { return FFault; }

protected:
  int_type underflow() override;

private:
  bool Fill();
  void Translate();
  void Track(unsigned char c);
  void Stop(std::string fault);

  std::filesystem::path FFile;
  TJsonTextLimits FLimits;
  int FFd = -1;
  int FOpenError = 0;
  std::string FRaw;   // bytes read and not yet passed on (at most an incomplete UTF-8 sequence)
  std::string FText;  // the current block as the parser sees it
  uint64_t FBytesRead = 0;
  uint64_t FOffset = 0;  // bytes of the file passed on so far
  uint64_t FReplaced = 0;
  bool FEnd = false;
  bool FBlank = true;
  bool FInString = false;
  bool FEscaped = false;
  int FDepth = 0;
  std::string FFault;
};

// A whole stored document, parsed. `Problem` says in Turkish what was wrong with an existing file ("" when it
// read whole or does not exist); `Value` is discarded when nothing usable was read. Bytes replaced by U+FFFD
// are a problem, but the document is kept.
struct TStoredJson {
  bool Exists = false;
  bool Blank = false;  // exists and holds nothing but blanks: no document, and nothing to lose
  nlohmann::ordered_json Value = nlohmann::ordered_json(nlohmann::ordered_json::value_t::discarded);
  std::string Problem;
};
TStoredJson ReadStoredJson(const std::filesystem::path& file, const TJsonTextLimits& limits);

// The problem texts shared by the stored files' readers.
std::string ReplacedBytesProblem(uint64_t count);
extern const char* const NotJsonProblem;

}  // namespace velkor
