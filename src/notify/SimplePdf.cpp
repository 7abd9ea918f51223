#include "notify/SimplePdf.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/AtomicFile.h"
#include "util/Error.h"

namespace velkor {

namespace {

constexpr int JpegQuality = 92;

// libjpeg reports a fatal error by calling error_exit, which must not return; we jump back out of the C code
// (an exception must not unwind through it) and throw from there.
struct TJpegErrorManager {
  jpeg_error_mgr Base;
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

void OnJpegError(j_common_ptr cinfo) {
  auto* manager = reinterpret_cast<TJpegErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, manager->Message);
  std::longjmp(manager->Jump, 1);
}

// Warnings would go to standard error; a page that encodes is good enough.
void IgnoreJpegMessage(j_common_ptr) {}

// Only plain C data lives in this frame, so the jump back from OnJpegError skips no destructor.
bool CompressRgb(const TRgbImageView& image, unsigned char** output, unsigned long* outputSize, char* message) {
  jpeg_compress_struct cinfo;
  TJpegErrorManager errors;
  cinfo.err = jpeg_std_error(&errors.Base);
  errors.Base.error_exit = OnJpegError;
  errors.Base.output_message = IgnoreJpegMessage;
  if (setjmp(errors.Jump)) {
    jpeg_destroy_compress(&cinfo);
    std::memcpy(message, errors.Message, sizeof errors.Message);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, output, outputSize);
  cinfo.image_width = static_cast<JDIMENSION>(image.Width);
  cinfo.image_height = static_cast<JDIMENSION>(image.Height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, JpegQuality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    // libjpeg takes non-const rows but only reads them.
    JSAMPROW row = const_cast<JSAMPROW>(image.Pixels + static_cast<size_t>(cinfo.next_scanline) * image.Stride);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

// Windows-1254 bytes 0x80-0x9F and the six Turkish letters that take the place of Latin-1 ones; every other byte
// from 0xA0 up is the Latin-1 character of the same number.
struct TCodePageEntry {
  char32_t CodePoint;
  unsigned char Byte;
};
constexpr TCodePageEntry Windows1254Extras[] = {
    {0x20AC, 0x80}, {0x201A, 0x82}, {0x0192, 0x83}, {0x201E, 0x84}, {0x2026, 0x85}, {0x2020, 0x86}, {0x2021, 0x87},
    {0x02C6, 0x88}, {0x2030, 0x89}, {0x0160, 0x8A}, {0x2039, 0x8B}, {0x0152, 0x8C}, {0x2018, 0x91}, {0x2019, 0x92},
    {0x201C, 0x93}, {0x201D, 0x94}, {0x2022, 0x95}, {0x2013, 0x96}, {0x2014, 0x97}, {0x02DC, 0x98}, {0x2122, 0x99},
    {0x0161, 0x9A}, {0x203A, 0x9B}, {0x0153, 0x9C}, {0x0178, 0x9F}, {0x011E, 0xD0}, {0x0130, 0xDD}, {0x015E, 0xDE},
    {0x011F, 0xF0}, {0x0131, 0xFD}, {0x015F, 0xFE},
};

char Windows1254Byte(char32_t cp) {
  if (cp < 0x80) return static_cast<char>(cp);
  for (const TCodePageEntry& e : Windows1254Extras)
    if (e.CodePoint == cp) return static_cast<char>(e.Byte);
  const bool latin1Kept =
      cp >= 0xA0 && cp <= 0xFF && cp != 0xD0 && cp != 0xDD && cp != 0xDE && cp != 0xF0 && cp != 0xFD && cp != 0xFE;
  return latin1Kept ? static_cast<char>(cp) : '?';
}

// The next UTF-8 character at `i`, advancing `i`; an invalid byte (bad lead, short, overlong, surrogate, past
// U+10FFFF) yields nothing and advances by one.
bool NextCodePoint(std::string_view s, size_t& i, char32_t& cp) {
  const auto lead = static_cast<unsigned char>(s[i]);
  int length = 0;
  char32_t min = 0;
  if (lead < 0x80) {
    cp = lead;
    ++i;
    return true;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, cp = lead & 0x1F, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, cp = lead & 0x0F, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, cp = lead & 0x07, min = 0x10000;
  } else {
    ++i;
    return false;
  }
  if (i + static_cast<size_t>(length) > s.size()) {
    ++i;
    return false;
  }
  for (int k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
    if ((next & 0xC0) != 0x80) {
      ++i;
      return false;
    }
    cp = (cp << 6) | (next & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return false;
  }
  i += static_cast<size_t>(length);
  return true;
}

std::string Printf(const char* format, auto... values) {
  char buf[512];
  const int n = std::snprintf(buf, sizeof buf, format, values...);
  return std::string(buf, static_cast<size_t>(n));
}

int32_t CheckedLength(size_t size) {
  if (size > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    throw EVelkorError("PDF sayfası çok büyük: " + std::to_string(size) + " bayt");
  return static_cast<int32_t>(size);
}

}  // namespace

std::vector<uint8_t> EncodePageJpeg(const TRgbImageView& image) {
  if (image.Pixels == nullptr || image.Width <= 0 || image.Height <= 0 ||
      image.Stride < static_cast<size_t>(image.Width) * 3)
    throw EVelkorError("Sayfa görüntüsü JPEG olarak kodlanamadı: geçersiz görüntü boyutu");
  unsigned char* output = nullptr;
  unsigned long outputSize = 0;
  char message[JMSG_LENGTH_MAX] = {};
  const bool encoded = CompressRgb(image, &output, &outputSize, message);
  std::vector<uint8_t> jpeg;
  if (encoded && output != nullptr) jpeg.assign(output, output + outputSize);
  std::free(output);
  if (!encoded) throw EVelkorError(std::string("Sayfa görüntüsü JPEG olarak kodlanamadı: ") + message);
  return jpeg;
}

std::string EscapePdfText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c == '\\' || c == '(' || c == ')') out += '\\';
    out += c;
  }
  return out;
}

std::string Utf8ToWindows1254(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    char32_t cp = 0;
    out += NextCodePoint(text, i, cp) ? Windows1254Byte(cp) : '?';
  }
  return out;
}

TImagePdfWriter::TImagePdfWriter(std::filesystem::path fileName) : FFileName(std::move(fileName)) {}

TImagePdfWriter::~TImagePdfWriter() = default;

void TImagePdfWriter::Put(std::string_view text) {
  FFile->Write(text);
  FPosition += text.size();
}

// The recorded offset is that of the first digit of the object number.
void TImagePdfWriter::BeginObject(int number, std::vector<uint64_t>& offsets) {
  offsets.push_back(FPosition);
  Put(std::to_string(number) + " 0 obj\n");
}

void TImagePdfWriter::AddPage(const TPdfImagePage& page) {
  if (!FFile) {
    FFile = std::make_unique<TAtomicFileWriter>(FFileName);
    Put("%PDF-1.4\n");
  }
  const int32_t length = CheckedLength(page.Data.size());
  BeginObject(PageCount() + 1, FImageOffsets);
  Put(
      Printf("<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceRGB /BitsPerComponent 8 "
             "/Filter /DCTDecode /Length %d >>\n",
             page.Width, page.Height, length));
  Put("stream\n");
  Put(std::string_view(reinterpret_cast<const char*>(page.Data.data()), page.Data.size()));
  Put("\nendstream\nendobj\n");
}

void TImagePdfWriter::Finish(std::string_view title) {
  if (!FFile) return;
  const int n = PageCount();
  std::vector<uint64_t> offsets = FImageOffsets;
  offsets.reserve(static_cast<size_t>(3 * n + 3));
  for (int i = 1; i <= n; ++i) {
    const std::string content = Printf("q 595 0 0 842 0 0 cm /Im%d Do Q\n", i);
    BeginObject(n + i, offsets);
    Put(Printf("<< /Length %d >>\n", static_cast<int>(content.size())));
    Put("stream\n");
    Put(content);
    Put("endstream\nendobj\n");
  }
  for (int i = 1; i <= n; ++i) {
    BeginObject(2 * n + i, offsets);
    Put(
        Printf("<< /Type /Page /Parent %d 0 R /MediaBox [0 0 595 842] /Resources << /ProcSet [/PDF /ImageC] "
               "/XObject << /Im%d %d 0 R >> >> /Contents %d 0 R >>\n",
               3 * n + 1, i, i, n + i));
    Put("endobj\n");
  }
  BeginObject(3 * n + 1, offsets);
  Put(Printf("<< /Type /Pages /Count %d /Kids [", n));
  for (int i = 1; i <= n; ++i) Put(std::to_string(2 * n + i) + " 0 R ");
  Put("] >>\nendobj\n");
  BeginObject(3 * n + 2, offsets);
  Put(Printf("<< /Type /Catalog /Pages %d 0 R >>\n", 3 * n + 1));
  Put("endobj\n");
  BeginObject(3 * n + 3, offsets);
  Put("<< /Title (" + EscapePdfText(Utf8ToWindows1254(title)) + ") /Producer (QeltBackup) >>\n");
  Put("endobj\n");

  const uint64_t xref = FPosition;
  Put("xref\n");
  Put(Printf("0 %d\n", 3 * n + 4));
  Put("0000000000 65535 f \n");
  for (const uint64_t offset : offsets) Put(Printf("%.10llu 00000 n \n", static_cast<unsigned long long>(offset)));
  Put("trailer\n");
  Put(Printf("<< /Size %d /Root %d 0 R /Info %d 0 R >>\n", 3 * n + 4, 3 * n + 2, 3 * n + 3));
  Put("startxref\n");
  Put(std::to_string(xref) + "\n");
  Put("%%EOF");
  FFile->Commit();
  FFile.reset();
}

void WriteImagePdf(const std::filesystem::path& fileName, std::string_view title,
                   const std::vector<TPdfImagePage>& pages) {
  TImagePdfWriter writer(fileName);
  for (const TPdfImagePage& page : pages) writer.AddPage(page);
  writer.Finish(title);
}

}  // namespace velkor
