#pragma once
// The image-only PDF report file: every page is one full-page JPEG picture in a minimal PDF 1.4 file of our own
// (no fonts, no text objects). Plain C++ below the window; the pages are drawn in ui/.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velkor {

class TAtomicFileWriter;

// One page as it goes into the file.
struct TPdfImagePage {
  int32_t Width = 1240;
  int32_t Height = 1754;
  std::vector<uint8_t> Data;  // the complete JPEG file of the page
};

// 24-bit RGB pixels, R G B byte order, row by row; rows may be padded (Stride bytes apart).
struct TRgbImageView {
  const uint8_t* Pixels = nullptr;
  int Width = 0;
  int Height = 0;
  size_t Stride = 0;
};

// Baseline JPEG, quality 92, 8-bit RGB. Throws EVelkorError when the picture cannot be encoded.
std::vector<uint8_t> EncodePageJpeg(const TRgbImageView& image);

// "\" to "\\", then "(" to "\(", then ")" to "\)": the text of a PDF literal string.
std::string EscapePdfText(std::string_view text);

// UTF-8 to Windows-1254 (the Turkish single-byte code page): what it cannot hold, and bytes that are not UTF-8,
// become "?".
std::string Utf8ToWindows1254(std::string_view text);

// Writes the PDF page by page as the pages are finished, so a long report holds one page at a time, never the
// whole file. The file is built under a temporary name beside the target and renamed over it only by Finish: a
// failed or abandoned export leaves the old file (or none) and no half file. With no page added, nothing is
// created at all.
class TImagePdfWriter {
public:
  explicit TImagePdfWriter(std::filesystem::path fileName);
  ~TImagePdfWriter();  // discards the temporary file unless finished
  TImagePdfWriter(const TImagePdfWriter&) = delete;
  TImagePdfWriter& operator=(const TImagePdfWriter&) = delete;

  // Writes the page's image object. Throws EVelkorError with the system's message.
  void AddPage(const TPdfImagePage& page);
  // Writes the content streams, page objects, page tree, catalog, document information (the title in
  // Windows-1254), cross-reference table and trailer, then renames the file into place.
  void Finish(std::string_view title);
  int PageCount() const { return static_cast<int>(FImageOffsets.size()); }

private:
  void Put(std::string_view text);
  void BeginObject(int number, std::vector<uint64_t>& offsets);

  std::filesystem::path FFileName;
  std::unique_ptr<TAtomicFileWriter> FFile;
  uint64_t FPosition = 0;
  std::vector<uint64_t> FImageOffsets;
};

// The whole file at once; with an empty page list nothing is written and no file is created.
void WriteImagePdf(const std::filesystem::path& fileName, std::string_view title,
                   const std::vector<TPdfImagePage>& pages);

}  // namespace velkor
