// The image-only PDF writer, checked byte for byte and by independent readers (qpdf, pdfinfo, pdftoppm), and its
// JPEG pages decoded by libjpeg.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <regex>

#include "notify/SimplePdf.h"
#include "support/TempDir.h"
#include "util/Error.h"

namespace velkor {
namespace {

using test::ReadFile;
using test::RunCommand;
using test::ShellQuote;
using test::TTempDir;
using test::WriteFile;

std::vector<std::string> FolderEntries(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

struct TRgb {
  uint8_t R, G, B;
};

// A solid page of one colour, as the renderer hands it over (RGB rows, padded to show that Stride is honoured).
struct TSolidPage {
  TSolidPage(int width, int height, TRgb colour) : Stride(static_cast<size_t>(width) * 3 + 5) {
    Pixels.assign(Stride * static_cast<size_t>(height), 0xEE);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        uint8_t* p = &Pixels[static_cast<size_t>(y) * Stride + static_cast<size_t>(x) * 3];
        p[0] = colour.R, p[1] = colour.G, p[2] = colour.B;
      }
    View = {Pixels.data(), width, height, Stride};
  }
  size_t Stride;
  std::vector<uint8_t> Pixels;
  TRgbImageView View;
};

TEST(SimplePdfTest, OnePageFileIsLaidOutByteForByte) {
  TTempDir dir;
  const TPdfImagePage page{1240, 1754, {0xFF, 0xD8, 0xFF, 0xD9}};
  WriteImagePdf(dir / "r.pdf", "R(a)", {page});

  const std::string expected = std::string("%PDF-1.4\n") +
                               "1 0 obj\n"
                               "<< /Type /XObject /Subtype /Image /Width 1240 /Height 1754 /ColorSpace /DeviceRGB "
                               "/BitsPerComponent 8 /Filter /DCTDecode /Length 4 >>\n"
                               "stream\n\xFF\xD8\xFF\xD9\nendstream\nendobj\n"
                               "2 0 obj\n<< /Length 31 >>\nstream\nq 595 0 0 842 0 0 cm /Im1 Do Q\nendstream\nendobj\n"
                               "3 0 obj\n<< /Type /Page /Parent 4 0 R /MediaBox [0 0 595 842] /Resources << /ProcSet "
                               "[/PDF /ImageC] /XObject << /Im1 1 0 R >> >> /Contents 2 0 R >>\nendobj\n"
                               "4 0 obj\n<< /Type /Pages /Count 1 /Kids [3 0 R ] >>\nendobj\n"
                               "5 0 obj\n<< /Type /Catalog /Pages 4 0 R >>\nendobj\n"
                               "6 0 obj\n<< /Title (R\\(a\\)) /Producer (QeltBackup) >>\nendobj\n"
                               "xref\n0 7\n"
                               "0000000000 65535 f \n"
                               "0000000009 00000 n \n"
                               "0000000180 00000 n \n"
                               "0000000260 00000 n \n"
                               "0000000414 00000 n \n"
                               "0000000472 00000 n \n"
                               "0000000521 00000 n \n"
                               "trailer\n<< /Size 7 /Root 5 0 R /Info 6 0 R >>\nstartxref\n581\n%%EOF";
  EXPECT_EQ(ReadFile(dir / "r.pdf"), expected);
}

// What a reader finds through the cross-reference table.
struct TXrefCheck {
  int Size = 0;
  int Entries = 0;
  bool EveryEntryIs20Bytes = true;
  bool StartxrefPointsAtXref = false;
  std::vector<int> MisplacedObjects;  // numbers whose offset does not hold "N 0 obj"
};

TXrefCheck CheckXref(const std::string& pdf) {
  TXrefCheck check;
  const size_t startxref = pdf.rfind("startxref\n");
  const size_t xref = std::stoul(pdf.substr(startxref + 10));
  check.StartxrefPointsAtXref = pdf.compare(xref, 5, "xref\n") == 0;
  size_t pos = xref + 5;
  const size_t lineEnd = pdf.find('\n', pos);
  check.Entries = std::stoi(pdf.substr(pos + 2, lineEnd - pos - 2));
  pos = lineEnd + 1;
  for (int number = 0; number < check.Entries; ++number, pos += 20) {
    const std::string entry = pdf.substr(pos, 20);
    check.EveryEntryIs20Bytes &= entry.size() == 20 && entry[19] == '\n' && entry[18] == ' ';
    if (number == 0) continue;
    const size_t offset = std::stoul(entry.substr(0, 10));
    const std::string header = std::to_string(number) + " 0 obj\n";
    if (offset == 0 || pdf.compare(offset, header.size(), header) != 0) check.MisplacedObjects.push_back(number);
  }
  std::smatch size;
  const std::string trailer = pdf.substr(pos);
  if (std::regex_search(trailer, size, std::regex(R"(/Size (\d+))"))) check.Size = std::stoi(size[1]);
  return check;
}

// One pixel from the middle of each page as pdftoppm renders it.
std::vector<TRgb> RenderedPageCentres(const std::filesystem::path& pdf, const std::filesystem::path& prefix) {
  std::string output;
  EXPECT_EQ(RunCommand("pdftoppm -r 10 " + ShellQuote(pdf) + " " + ShellQuote(prefix.string()), &output), 0) << output;
  std::vector<TRgb> centres;
  for (const auto& name : FolderEntries(prefix.parent_path())) {
    if (name.size() < 4 || name.substr(name.size() - 4) != ".ppm") continue;
    const std::string ppm = ReadFile(prefix.parent_path() / name);
    int width = 0, height = 0, maxValue = 0, headerLength = 0;
    EXPECT_EQ(std::sscanf(ppm.c_str(), "P6 %d %d %d%n", &width, &height, &maxValue, &headerLength), 3);
    const size_t pixel =
        static_cast<size_t>(headerLength + 1) + (static_cast<size_t>(height / 2 * width + width / 2)) * 3;
    centres.push_back(
        {static_cast<uint8_t>(ppm[pixel]), static_cast<uint8_t>(ppm[pixel + 1]), static_cast<uint8_t>(ppm[pixel + 2])});
  }
  return centres;
}

TEST(SimplePdfTest, MultiPageFilesPassIndependentReaders) {
  const std::vector<TRgb> colours = {{200, 30, 30}, {30, 200, 30}, {30, 30, 200}, {230, 230, 40}, {20, 20, 20}};
  for (const int pages : {1, 2, 5}) {
    SCOPED_TRACE(pages);
    TTempDir dir;
    std::vector<TPdfImagePage> list;
    for (int i = 0; i < pages; ++i)
      list.push_back({1240, 1754, EncodePageJpeg(TSolidPage(1240, 1754, colours[i]).View)});
    WriteImagePdf(dir / "r.pdf", "QeltBackup Yedekleme Detayı", list);

    std::string output;
    EXPECT_EQ(RunCommand("qpdf --check " + ShellQuote((dir / "r.pdf").string()), &output), 0) << output;
    ASSERT_EQ(RunCommand("pdfinfo " + ShellQuote((dir / "r.pdf").string()), &output), 0) << output;
    EXPECT_NE(output.find("Pages:           " + std::to_string(pages) + "\n"), std::string::npos) << output;
    EXPECT_NE(output.find("Page size:       595 x 842 pts (A4)"), std::string::npos) << output;

    const std::string pdf = ReadFile(dir / "r.pdf");
    const TXrefCheck xref = CheckXref(pdf);
    EXPECT_EQ(xref.Size, 3 * pages + 4);
    EXPECT_EQ(xref.Entries, 3 * pages + 4);
    EXPECT_TRUE(xref.EveryEntryIs20Bytes);
    EXPECT_TRUE(xref.StartxrefPointsAtXref);
    EXPECT_EQ(xref.MisplacedObjects, std::vector<int>());
    EXPECT_EQ(pdf.substr(pdf.size() - 5), "%%EOF");

    std::filesystem::create_directory(dir / "render");
    const std::vector<TRgb> centres = RenderedPageCentres(dir / "r.pdf", dir / "render" / "p");
    ASSERT_EQ(centres.size(), static_cast<size_t>(pages));
    for (int i = 0; i < pages; ++i) {
      EXPECT_NEAR(centres[i].R, colours[i].R, 6) << "page " << i + 1;
      EXPECT_NEAR(centres[i].G, colours[i].G, 6) << "page " << i + 1;
      EXPECT_NEAR(centres[i].B, colours[i].B, 6) << "page " << i + 1;
    }
  }
}

TEST(SimplePdfTest, EmptyPageListWritesNothing) {
  TTempDir dir;
  WriteImagePdf(dir / "new.pdf", "x", {});
  EXPECT_FALSE(std::filesystem::exists(dir / "new.pdf"));
  WriteFile(dir / "old.pdf", "old");
  WriteImagePdf(dir / "old.pdf", "x", {});
  EXPECT_EQ(ReadFile(dir / "old.pdf"), "old");
  EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"old.pdf"});
}

TEST(SimplePdfTest, ReplacesAnExistingFileWhole) {
  TTempDir dir;
  WriteFile(dir / "r.pdf", std::string(100000, '~'));
  WriteImagePdf(dir / "r.pdf", "t", {{1240, 1754, {1, 2, 3}}});
  const std::string pdf = ReadFile(dir / "r.pdf");
  EXPECT_EQ(pdf.substr(0, 9), "%PDF-1.4\n");
  EXPECT_EQ(pdf.find('~'), std::string::npos);
  EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"r.pdf"});
}

// Past a file-size limit every write fails (EFBIG) as on a full disk.
class TFileSizeLimit {
public:
  explicit TFileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &FOld);
    FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = FOld;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &FOld);
    std::signal(SIGXFSZ, FOldHandler);
  }

private:
  rlimit FOld{};
  void (*FOldHandler)(int);
};

TEST(SimplePdfTest, FailedOrAbandonedWriteKeepsTheOldFileAndLeavesNoHalfFile) {
  const TPdfImagePage big{1240, 1754, std::vector<uint8_t>(600 * 1024, 0x55)};
  {
    TTempDir dir;
    WriteFile(dir / "r.pdf", "old");
    {
      const TFileSizeLimit limit(256 * 1024);
      try {
        WriteImagePdf(dir / "r.pdf", "t", {big, big});
        ADD_FAILURE() << "no error";
      } catch (const EVelkorError& e) {
        EXPECT_NE(std::string(e.what()).find("Dosya yazılamadı: " + (dir / "r.pdf").string()), std::string::npos)
            << e.what();
      }
    }
    EXPECT_EQ(ReadFile(dir / "r.pdf"), "old");
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"r.pdf"});
  }
  {
    // A page renderer that fails after some pages drops the writer unfinished.
    TTempDir dir;
    WriteFile(dir / "r.pdf", "old");
    {
      TImagePdfWriter writer(dir / "r.pdf");
      writer.AddPage(big);
      EXPECT_EQ(FolderEntries(dir.Path()).size(), 2u);
    }
    EXPECT_EQ(ReadFile(dir / "r.pdf"), "old");
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"r.pdf"});
  }
  {
    TTempDir dir;
    EXPECT_THROW(WriteImagePdf(dir / "missing" / "r.pdf", "t", {big}), EVelkorError);
    EXPECT_TRUE(FolderEntries(dir.Path()).empty());
  }
}

TEST(SimplePdfTest, EscapePdfText) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"plain text", "plain text"},
      {"(a)", "\\(a\\)"},
      {"a\\b", "a\\\\b"},
      {"\\(", "\\\\\\("},
      {"))((", "\\)\\)\\(\\("},
      {"Detayı & <x>", "Detayı & <x>"},
  };
  for (const auto& [text, escaped] : cases) EXPECT_EQ(EscapePdfText(text), escaped) << text;
}

TEST(SimplePdfTest, TitleIsWrittenInWindows1254) {
  TTempDir dir;
  WriteImagePdf(dir / "r.pdf", "Detayı ĞÜŞİÖÇ ğüşiöç € (\\) 日本", {{1240, 1754, {1}}});
  EXPECT_NE(ReadFile(dir / "r.pdf")
                .find("<< /Title (Detay\xFD \xD0\xDC\xDE\xDD\xD6\xC7 \xF0\xFC\xFEi\xF6\xE7 \x80 \\(\\\\\\) ?"
                      "?) "
                      "/Producer (QeltBackup) >>\nendobj\n"),
            std::string::npos);
}

TEST(SimplePdfTest, Windows1254AgreesWithPythonsCodec) {
  TTempDir dir;
  std::string text;
  for (char32_t cp = 1; cp < 0x3000; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    if (cp < 0x80) {
      text += static_cast<char>(cp);
    } else if (cp < 0x800) {
      text += static_cast<char>(0xC0 | (cp >> 6));
      text += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      text += static_cast<char>(0xE0 | (cp >> 12));
      text += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  text += "\xF0\x9F\x98\x80";  // beyond the BMP
  WriteFile(dir / "in.txt", text);
  std::string output;
  ASSERT_EQ(RunCommand("/usr/bin/python3 -c \"import sys; d=open(sys.argv[1],encoding='utf-8',newline='').read(); "
                       "open(sys.argv[2],'wb').write(d.encode('cp1254', errors='replace'))\" " +
                           ShellQuote((dir / "in.txt").string()) + " " + ShellQuote((dir / "out.bin").string()),
                       &output),
            0)
      << output;
  const std::string ours = Utf8ToWindows1254(text);
  const std::string python = ReadFile(dir / "out.bin");
  ASSERT_EQ(ours.size(), python.size());
  const auto mismatch = std::mismatch(ours.begin(), ours.end(), python.begin());
  EXPECT_TRUE(mismatch.first == ours.end()) << "first difference at character " << (mismatch.first - ours.begin());
}

TEST(SimplePdfTest, BytesThatAreNotUtf8BecomeQuestionMarks) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\xC3", "a?"},               // cut short
      {"\xC3z", "?z"},               // no continuation byte
      {"\xC0\xAF", "??"},            // overlong
      {"\xED\xA0\x80", "???"},       // a surrogate
      {"\xF4\x90\x80\x80", "????"},  // past U+10FFFF
      {"\xFF\xFE", "??"},            // never a lead byte
      {"\xC4\xB1\x80\xC4\xB1", "\xFD?\xFD"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(Utf8ToWindows1254(text), expected);
}

// What libjpeg reads back: the frame type, components, precision and the first luminance quantizer.
struct TDecodedJpeg {
  std::vector<int> FrameMarkers;  // SOF0 (0xC0) alone for a baseline file
  int Components = 0;
  int Precision = 0;
  int Width = 0;
  int Height = 0;
  int FirstQuantizer = 0;
  std::vector<uint8_t> Pixels;
};

TDecodedJpeg DecodeJpeg(const std::vector<uint8_t>& jpeg) {
  TDecodedJpeg result;
  // The segments before the scan: 0xFF, marker, two-byte length.
  for (size_t pos = 2; pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF && jpeg[pos + 1] != 0xDA;
       pos += 2 + (jpeg[pos + 2] << 8 | jpeg[pos + 3])) {
    const int marker = jpeg[pos + 1];
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
      result.FrameMarkers.push_back(marker);
  }
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, jpeg.data(), jpeg.size());
  jpeg_read_header(&cinfo, TRUE);
  result.Components = cinfo.num_components;
  result.Precision = cinfo.data_precision;
  result.FirstQuantizer = cinfo.quant_tbl_ptrs[0] ? cinfo.quant_tbl_ptrs[0]->quantval[0] : 0;
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  result.Width = static_cast<int>(cinfo.output_width);
  result.Height = static_cast<int>(cinfo.output_height);
  result.Pixels.resize(static_cast<size_t>(result.Width) * result.Height * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = &result.Pixels[static_cast<size_t>(cinfo.output_scanline) * result.Width * 3];
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return result;
}

TEST(SimplePdfTest, PagesAreBaselineJpegAtQuality92) {
  TSolidPage page(64, 48, {10, 120, 240});
  // A second colour in the lower half shows that rows are read at their stride.
  for (int y = 24; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      uint8_t* p = &page.Pixels[static_cast<size_t>(y) * page.Stride + static_cast<size_t>(x) * 3];
      p[0] = 250, p[1] = 200, p[2] = 20;
    }
  const std::vector<uint8_t> jpeg = EncodePageJpeg(page.View);
  ASSERT_GE(jpeg.size(), 4u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);
  EXPECT_EQ(jpeg[jpeg.size() - 2], 0xFF);
  EXPECT_EQ(jpeg[jpeg.size() - 1], 0xD9);

  const TDecodedJpeg decoded = DecodeJpeg(jpeg);
  EXPECT_EQ(decoded.FrameMarkers, std::vector<int>{0xC0});
  EXPECT_EQ(decoded.Components, 3);
  EXPECT_EQ(decoded.Precision, 8);
  EXPECT_EQ(decoded.Width, 64);
  EXPECT_EQ(decoded.Height, 48);
  // The standard luminance table's 16 scaled to quality 92: (16 * 16 + 50) / 100.
  EXPECT_EQ(decoded.FirstQuantizer, 3);
  const auto at = [&](int x, int y, int c) { return decoded.Pixels[(static_cast<size_t>(y) * 64 + x) * 3 + c]; };
  EXPECT_NEAR(at(32, 8, 0), 10, 4);
  EXPECT_NEAR(at(32, 8, 1), 120, 4);
  EXPECT_NEAR(at(32, 8, 2), 240, 4);
  EXPECT_NEAR(at(32, 40, 0), 250, 4);
  EXPECT_NEAR(at(32, 40, 1), 200, 4);
  EXPECT_NEAR(at(32, 40, 2), 20, 4);
}

TEST(SimplePdfTest, ImpossiblePicturesAreRefusedWithAMessage) {
  const uint8_t pixel[3] = {};
  const TRgbImageView cases[] = {
      {nullptr, 10, 10, 30}, {pixel, 0, 1, 3}, {pixel, 1, 0, 3}, {pixel, 2, 1, 3},  // rows shorter than their pixels
  };
  for (const TRgbImageView& view : cases) {
    try {
      EncodePageJpeg(view);
      ADD_FAILURE() << "no error for " << view.Width << "x" << view.Height;
    } catch (const EVelkorError& e) {
      EXPECT_NE(std::string(e.what()).find("JPEG olarak kodlanamadı"), std::string::npos);
    }
  }
  // Larger than JPEG can hold: libjpeg's own refusal comes back as an error, not an exit.
  std::vector<uint8_t> row(70000 * 3);
  EXPECT_THROW(EncodePageJpeg({row.data(), 70000, 1, row.size()}), EVelkorError);
}

}  // namespace
}  // namespace velkor
