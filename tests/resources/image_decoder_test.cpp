// The image decoders against an independent one: ImageMagick writes each supported format
// and variant at test time, and reads it back as raw RGBA for the comparison. Every test
// runs for both decoders: this system's (libpng, libjpeg) and the Windows build's
// (stb_image for every format), which must also give the same texels as each other.
#include "resources/image_decoder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace yulo {
namespace {

constexpr uint32_t kWidth = 37;  // odd sizes exercise row padding
constexpr uint32_t kHeight = 23;

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

bool HaveImageMagick() {
  return std::system("convert -version >/dev/null 2>&1") == 0;
}

bool Shell(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// A picture with every channel varying, including alpha, as a PAM file.
void WriteSource(const std::string& path) {
  std::string pam = "P7\nWIDTH " + std::to_string(kWidth) + "\nHEIGHT " + std::to_string(kHeight) +
                    "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  for (uint32_t y = 0; y < kHeight; ++y) {
    for (uint32_t x = 0; x < kWidth; ++x) {
      pam += static_cast<char>(x * 7);
      pam += static_cast<char>(y * 11);
      pam += static_cast<char>((x * y) & 0xFF);
      pam += static_cast<char>(255 - (x + y) * 4);
    }
  }
  std::ofstream(path, std::ios::binary) << pam;
}

// ImageMagick's own reading of a file, as 8-bit RGBA.
std::vector<uint8_t> ReferencePixels(const std::string& path) {
  // Orientation flags (TGA) are applied, as they are when we decode.
  if (!Shell("convert '" + path + "' -auto-orient -depth 8 'rgba:" + path + ".rgba'")) return {};
  return ReadBytes(path + ".rgba");
}

struct Variant {
  const char* file;     // output name, with ImageMagick's format prefix where needed
  const char* options;  // convert options between source and output
  int tolerance;        // per channel
  bool alpha;           // compare alpha too
};

const Variant kVariants[] = {
    {"g1.png", "-alpha off -colorspace Gray -define png:color-type=0 -define png:bit-depth=1", 0,
     true},
    {"g2.png", "-alpha off -colorspace Gray -define png:color-type=0 -define png:bit-depth=2", 0,
     true},
    {"g4.png", "-alpha off -colorspace Gray -define png:color-type=0 -define png:bit-depth=4", 0,
     true},
    {"g8.png", "-alpha off -colorspace Gray -define png:color-type=0 -define png:bit-depth=8", 0,
     true},
    {"g16.png", "-alpha off -colorspace Gray -define png:color-type=0 -define png:bit-depth=16", 0,
     true},
    {"ga8.png", "-colorspace Gray -define png:color-type=4 -define png:bit-depth=8", 0, true},
    {"ga16.png", "-colorspace Gray -define png:color-type=4 -define png:bit-depth=16", 0, true},
    {"rgb8.png", "-alpha off -define png:color-type=2 -define png:bit-depth=8", 0, true},
    {"rgb16.png", "-alpha off -define png:color-type=2 -define png:bit-depth=16", 0, true},
    {"rgba8.png", "-define png:color-type=6 -define png:bit-depth=8", 0, true},
    {"rgba16.png", "-define png:color-type=6 -define png:bit-depth=16", 0, true},
    {"p8.png", "-colors 200 -define png:color-type=3 -define png:bit-depth=8", 0, true},
    {"p4.png", "-alpha off -colors 16 -define png:color-type=3 -define png:bit-depth=4", 0, true},
    {"p2.png", "-alpha off -colors 4 -define png:color-type=3 -define png:bit-depth=2", 0, true},
    {"interlaced.png", "-interlace PNG -define png:color-type=6 -define png:bit-depth=8", 0, true},
    {"baseline.jpg", "-alpha off -quality 90", 2, true},
    {"progressive.jpg", "-alpha off -interlace JPEG", 2, true},
    {"grey.jpg", "-alpha off -colorspace Gray", 2, true},
    {"u24.tga", "-alpha off -compress None", 0, true},
    {"u32.tga", "-compress None", 0, true},
    {"rle24.tga", "-alpha off -compress RLE", 0, true},
    {"rle32.tga", "-compress RLE", 0, true},
    {"map8.tga", "-alpha off -type Palette -compress None", 0, true},
    {"grey8.tga", "-alpha off -colorspace Gray -compress None", 0, true},
    {"topleft.tga", "-compress None -orient TopLeft", 0, true},
    {"topright.tga", "-compress None -orient TopRight", 0, true},
    {"p1.bmp", "-alpha off -type Palette -colors 2 -compress None", 0, true},
    {"p4.bmp", "-alpha off -type Palette -colors 16 -compress None", 0, true},
    {"p8.bmp", "-alpha off -type Palette -colors 200 -compress None", 0, true},
    {"rgb565.bmp", "-alpha off -define bmp:subtype=RGB565", 1, true},
    {"rgb24.bmp", "-alpha off -type TrueColor", 0, true},
    {"rgba32.bmp", "-type TrueColorAlpha", 0, true},
    {"BMP3:v3.bmp", "-alpha off", 0, true},
    {"BMP2:core4.bmp", "-alpha off -type Palette -colors 16", 0, true},  // 12-byte header
    {"BMP3:rle8.bmp", "-alpha off -type Palette -colors 200 -compress RLE", 0, true},
    {"argb32.dds", "-define dds:compression=none -define dds:mipmaps=0", 0, true},
    {"rgb24.dds", "-alpha off -define dds:compression=none", 0, true},
    {"dxt1.dds", "-alpha off -define dds:compression=dxt1", 0, true},
    {"dxt5.dds", "-define dds:compression=dxt5", 0, true},
};

struct Decoder {
  const char* name;
  bool (*decode)(const uint8_t* data, size_t size, DecodedImage* out);
};
const Decoder kDecoders[] = {{"native", DecodeImage}, {"stb", DecodeImageWithStb}};

class ImageFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick's convert is not installed";
    WriteSource("source.pam");
  }
  test::ScopedTempDir dir;
};

class ImageDecoderTest : public ImageFiles, public ::testing::WithParamInterface<Decoder> {
 protected:
  static bool DecodeImage(const uint8_t* data, size_t size, DecodedImage* out) {
    return GetParam().decode(data, size, out);
  }

  // Decodes path with ours and compares with ImageMagick's reading of the same file.
  void ExpectSamePixels(const std::string& path, int tolerance, bool alpha) {
    SCOPED_TRACE(path);
    const std::vector<uint8_t> bytes = ReadBytes(path);
    ASSERT_FALSE(bytes.empty());
    DecodedImage image;
    ASSERT_TRUE(DecodeImage(bytes.data(), bytes.size(), &image));
    ASSERT_EQ(image.width, kWidth);
    ASSERT_EQ(image.height, kHeight);
    const std::vector<uint8_t> reference = ReferencePixels(path);
    ASSERT_EQ(reference.size(), image.rgba.size());
    int worst = 0;
    size_t worstAt = 0;
    for (size_t i = 0; i < reference.size(); ++i) {
      if (!alpha && i % 4 == 3) continue;
      const int d = std::abs(int{reference[i]} - int{image.rgba[i]});
      if (d > worst) {
        worst = d;
        worstAt = i;
      }
    }
    EXPECT_LE(worst, tolerance) << "texel " << worstAt / 4 << " channel " << worstAt % 4;

    // The Windows build shows the same textures: PNG, BMP and TGA to the bit, JPEG within
    // the rounding of two inverse DCTs and colour conversions.
    DecodedImage native;
    ASSERT_TRUE(::yulo::DecodeImage(bytes.data(), bytes.size(), &native));
    const bool jpeg = DetectImageFormat(bytes.data(), bytes.size()) == ImageFormat::Jpeg;
    int apart = 0;
    for (size_t i = 0; i < native.rgba.size(); ++i)
      apart = std::max(apart, std::abs(int{native.rgba[i]} - int{image.rgba[i]}));
    EXPECT_LE(apart, jpeg ? 2 : 0) << "from the native decoder";
  }
};

INSTANTIATE_TEST_SUITE_P(Decoders, ImageDecoderTest, ::testing::ValuesIn(kDecoders),
                         [](const auto& info) { return std::string(info.param.name); });

std::string PlainName(const char* file) {
  const std::string name = file;
  const size_t colon = name.find(':');
  return colon == std::string::npos ? name : name.substr(colon + 1);
}

TEST_P(ImageDecoderTest, EveryVariantDecodesToImageMagicksPixels) {
  for (const Variant& v : kVariants) {
    ASSERT_TRUE(Shell(std::string("convert source.pam ") + v.options + " '" + v.file + "'"))
        << v.file;
    ExpectSamePixels(PlainName(v.file), v.tolerance, v.alpha);
  }
}

TEST_F(ImageFiles, FormatsAreRecognisedByContentNotByName) {
  ASSERT_TRUE(Shell("convert source.pam picture.png && mv picture.png picture.tga"));
  const std::vector<uint8_t> png = ReadBytes("picture.tga");
  EXPECT_EQ(DetectImageFormat(png.data(), png.size()), ImageFormat::Png);
  ASSERT_TRUE(Shell("convert source.pam picture.jpg && convert source.pam picture.bmp"));
  const std::vector<uint8_t> jpg = ReadBytes("picture.jpg");
  EXPECT_EQ(DetectImageFormat(jpg.data(), jpg.size()), ImageFormat::Jpeg);
  const std::vector<uint8_t> bmp = ReadBytes("picture.bmp");
  EXPECT_EQ(DetectImageFormat(bmp.data(), bmp.size()), ImageFormat::Bmp);
  const uint8_t text[] = "just some text, long enough to look like a header";
  EXPECT_EQ(DetectImageFormat(text, sizeof text), ImageFormat::Unknown);
}

// Variants ImageMagick does not write: 16-bit TGA in both vertical orders, and top-down
// BMP. The test writes them; ImageMagick still provides the reference reading.
TEST_P(ImageDecoderTest, SixteenBitTgaAndTopDownBmpMatchToo) {
  // Uncompressed bottom-up and top-down, and run-length coded: every row starts with a run
  // of four equal texels, the rest of it is one raw packet. The top bit is alpha.
  for (int variant = 0; variant < 3; ++variant) {
    const bool topFirst = variant != 0;
    const bool rle = variant == 2;
    std::vector<uint8_t> tga(18, 0);
    tga[2] = rle ? 10 : 2;
    tga[12] = kWidth;
    tga[14] = kHeight;
    tga[16] = 16;
    tga[17] = topFirst ? 0x21 : 0x01;  // one attribute bit; origin top-left or bottom-left
    const auto texel = [](uint32_t x, uint32_t y) {
      const uint32_t r = x % 32, g = y % 32, b = (x + y) % 32;
      const uint32_t alpha = (x + 2 * y) % 3 != 0 ? 0x8000 : 0;
      return alpha | (r << 10) | (g << 5) | b;
    };
    const auto put = [&tga](uint32_t v) {
      tga.push_back(static_cast<uint8_t>(v));
      tga.push_back(static_cast<uint8_t>(v >> 8));
    };
    for (uint32_t row = 0; row < kHeight; ++row) {
      const uint32_t y = topFirst ? row : kHeight - 1 - row;
      uint32_t x = 0;
      if (rle) {
        tga.push_back(0x80 | 3);  // a run of four copies of texel 0
        put(texel(0, y));
        x = 4;
        tga.push_back(static_cast<uint8_t>(kWidth - 4 - 1));  // the rest raw
      }
      for (; x < kWidth; ++x) put(texel(x, y));
    }
    const std::string name = "tga16-" + std::to_string(variant) + ".tga";
    WriteBytes(name, tga);
    ExpectSamePixels(name, 1, true);
  }

  ASSERT_TRUE(Shell("convert source.pam -alpha off -type TrueColor BMP3:bottomup.bmp"));
  std::vector<uint8_t> bmp = ReadBytes("bottomup.bmp");
  ASSERT_GT(bmp.size(), 54u);
  const uint32_t offset = bmp[10] | bmp[11] << 8;
  const size_t row = (kWidth * 3 + 3) / 4 * 4;
  std::vector<uint8_t> flipped(bmp.begin(), bmp.begin() + offset);
  for (uint32_t y = 0; y < kHeight; ++y) {
    const auto from = bmp.begin() + offset + static_cast<std::ptrdiff_t>((kHeight - 1 - y) * row);
    flipped.insert(flipped.end(), from, from + static_cast<std::ptrdiff_t>(row));
  }
  const int32_t negative = -static_cast<int32_t>(kHeight);
  for (int i = 0; i < 4; ++i) flipped[22 + i] = static_cast<uint8_t>(negative >> (8 * i));
  WriteBytes("topdown.bmp", flipped);
  ExpectSamePixels("topdown.bmp", 0, true);
}

TEST_P(ImageDecoderTest, CutOffFilesAreFailuresForEveryFormat) {
  for (const Variant& v : kVariants) {
    ASSERT_TRUE(Shell(std::string("convert source.pam ") + v.options + " '" + v.file + "'"));
    const std::vector<uint8_t> bytes = ReadBytes(PlainName(v.file));
    // TGA files may end in an optional footer, so they are cut inside the pixels only.
    const bool tga = PlainName(v.file).find(".tga") != std::string::npos;
    for (size_t keep : {size_t{0}, size_t{10}, bytes.size() / 2, bytes.size() - (tga ? 40 : 1)}) {
      DecodedImage image;
      EXPECT_FALSE(DecodeImage(bytes.data(), keep, &image)) << v.file << " cut to " << keep;
      EXPECT_TRUE(image.rgba.empty());
    }
  }
}

TEST_P(ImageDecoderTest, PngChunkLengthsMustFitTheFile) {
  ASSERT_TRUE(Shell("convert source.pam picture.png"));
  const std::vector<uint8_t> good = ReadBytes("picture.png");
  DecodedImage image;
  ASSERT_TRUE(DecodeImage(good.data(), good.size(), &image));

  // A text chunk right after the header that claims 1.7 GB: the library would allocate
  // all of it from the length field alone.
  std::vector<uint8_t> bomb(good.begin(), good.begin() + 33);  // signature + IHDR
  const uint8_t text[] = {0x66, 0x00, 0x00, 0x25, 't', 'E', 'X', 't', 'd', 'a', 't', 'e'};
  bomb.insert(bomb.end(), text, text + sizeof text);
  bomb.insert(bomb.end(), good.begin() + 33, good.end());
  EXPECT_FALSE(DecodeImage(bomb.data(), bomb.size(), &image));

  // Bytes after the end chunk are never read, so they don't make a good file bad.
  std::vector<uint8_t> trailing = good;
  trailing.insert(trailing.end(), 40, 0xFF);
  EXPECT_TRUE(DecodeImage(trailing.data(), trailing.size(), &image));
}

// Damage that libpng and libjpeg refuse and stb_image alone would let through.
TEST_P(ImageDecoderTest, DamagedFilesAreRefused) {
  ASSERT_TRUE(
      Shell("convert source.pam picture.png && convert source.pam -colorspace CMYK "
            "cmyk.jpg && convert source.pam -alpha off picture.jpg"));
  std::vector<uint8_t> png = ReadBytes("picture.png");
  ASSERT_GT(png.size(), 33u);
  png[29] ^= 0x01;  // the header chunk's CRC
  std::vector<uint8_t> jpeg = ReadBytes("picture.jpg");
  ASSERT_GT(jpeg.size(), 2u);
  jpeg.resize(jpeg.size() - 2);  // no end marker: the last rows would be made up
  const std::vector<uint8_t> cmyk = ReadBytes("cmyk.jpg");
  using Bytes = const std::vector<uint8_t>*;
  for (Bytes bytes : {Bytes{&png}, Bytes{&jpeg}, Bytes{&cmyk}}) {
    DecodedImage image;
    EXPECT_FALSE(DecodeImage(bytes->data(), bytes->size(), &image)) << bytes->size();
  }
}

// Files built to make stb_image overrun or balloon: a Huffman table of more than 256
// symbols (libjpeg refuses it too), and image data that inflates to far more than the
// picture needs, which stb_image would hold in memory whole. libpng stops reading once the
// picture is complete; the Windows decoder refuses such a file.
// A DDS file: header for a width x height surface, then the given texel or block bytes.
std::vector<uint8_t> Dds(uint32_t width, uint32_t height, uint32_t formatFlags, uint32_t fourCc,
                         uint32_t bits, std::vector<uint32_t> masks, std::vector<uint8_t> data) {
  std::vector<uint8_t> file(128, 0);
  const auto put = [&](size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) file[at + size_t(k)] = uint8_t(v >> (8 * k));
  };
  std::memcpy(file.data(), "DDS ", 4);
  put(4, 124);
  put(12, height);
  put(16, width);
  put(76, 32);
  put(80, formatFlags);
  put(84, fourCc);
  put(88, bits);
  for (size_t k = 0; k < masks.size(); ++k) put(92 + 4 * k, masks[k]);
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

// What ImageMagick does not write: luminance, DXT1's transparent texels, DXT3's alphas.
TEST(DdsFiles, SurfacesItsWriterLeavesOutDecodeByTheBlockRules) {
  constexpr uint32_t kDxt1 = 0x31545844, kDxt3 = 0x33545844, kFourCcFlag = 0x4;
  // Luminance: 0x40 grey, opaque.
  const std::vector<uint8_t> grey = Dds(1, 1, 0x20000, 0, 8, {0xFF}, {0x40});
  // DXT1 with the first end point not above the second: blue, red, their mean, transparent.
  const std::vector<uint8_t> holes =
      Dds(4, 1, kFourCcFlag, kDxt1, 0, {}, {0x1F, 0x00, 0x00, 0xF8, 0xE4, 0, 0, 0});
  // DXT3: alphas 0 and 15 (x 17) in the first two texels; colours always four.
  std::vector<uint8_t> alpha = {0xF0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0xF8, 0x1F, 0x00, 0, 0, 0, 0};
  const std::vector<uint8_t> explicitAlpha = Dds(2, 1, kFourCcFlag, kDxt3, 0, {}, alpha);
  struct Case {
    const std::vector<uint8_t>& file;
    std::vector<uint8_t> texels;
  };
  const Case cases[] = {
      {grey, {0x40, 0x40, 0x40, 255}},
      {holes, {0, 0, 255, 255, 255, 0, 0, 255, 127, 0, 127, 255, 0, 0, 0, 0}},
      {explicitAlpha, {255, 0, 0, 0, 255, 0, 0, 255}},
  };
  for (const Case& c : cases) {
    DecodedImage image;
    ASSERT_TRUE(DecodeImage(c.file.data(), c.file.size(), &image));
    EXPECT_EQ(image.rgba, c.texels);
  }
  // Cut short by a byte, and a code it does not know: failures.
  std::vector<uint8_t> cut = holes;
  cut.pop_back();
  const std::vector<uint8_t> unknown =
      Dds(4, 4, kFourCcFlag, 0x30315844, 0, {}, std::vector<uint8_t>(64));
  const std::vector<uint8_t>* refused[] = {&cut, &unknown};
  for (const std::vector<uint8_t>* file : refused) {
    DecodedImage image;
    EXPECT_FALSE(DecodeImage(file->data(), file->size(), &image));
  }
}

// What ImageMagick does not write: a 4-bit run-length BMP with every kind of code, and a
// TGA colour map that starts at index 2. Both decoders, texels from the formats' rules.
TEST(BmpAndTgaFiles, RunLengthCodesAndAColourMapsFirstIndexDecodeByTheRules) {
  std::vector<uint8_t> bmp = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 118, 0, 0, 0, 40, 0, 0,
                              0,   5,   0, 0, 0, 3, 0, 0, 0, 1, 0,   4, 0, 2, 0,  0, 0};
  bmp.resize(54, 0);
  for (uint8_t i = 0; i < 16; ++i) bmp.insert(bmp.end(), {i, uint8_t(16 * i), 0, 0});
  bmp.insert(bmp.end(), {5, 0x12, 0, 0,              // bottom row: a run of 1, 2, 1, 2, 1
                         0, 3, 0x34, 0x50,           // middle row: 3, 4, 5 as they are
                         0, 2, 1, 0, 1, 0x70, 0, 0,  // skip one, a 7, end of row
                         0, 1});                     // end: the top row keeps index 0
  const auto texel = [](uint8_t i) { return std::vector<uint8_t>{0, uint8_t(16 * i), i, 255}; };
  std::vector<uint8_t> bmpTexels;
  for (uint8_t i : {0, 0, 0, 0, 0, 3, 4, 5, 0, 7, 1, 2, 1, 2, 1}) {
    const std::vector<uint8_t> t = texel(i);
    bmpTexels.insert(bmpTexels.end(), t.begin(), t.end());
  }
  // 2 x 1, top first, 8-bit indices 3 and 2 into a map of entries 2 (green) and 3 (blue).
  const std::vector<uint8_t> tga = {0, 1, 1, 2, 0,    2, 0,   24, 0,   0, 0, 0, 2,
                                    0, 1, 0, 8, 0x20, 0, 255, 0,  255, 0, 0, 3, 2};
  const std::vector<uint8_t> tgaTexels = {0, 0, 255, 255, 0, 255, 0, 255};
  for (const auto decode : {DecodeImage, DecodeImageWithStb}) {
    DecodedImage image;
    ASSERT_TRUE(decode(bmp.data(), bmp.size(), &image));
    EXPECT_EQ(image.rgba, bmpTexels);
    ASSERT_TRUE(decode(tga.data(), tga.size(), &image));
    EXPECT_EQ(image.rgba, tgaTexels);
  }
}

TEST(ImageDecoderLimits, HostileTablesAndDataBombsAreRefused) {
  std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xC4, 0x01, 0x3F, 0x00};  // DHT, 317 bytes
  for (int i = 0; i < 16; ++i) jpeg.push_back(i < 15 ? 0 : 255);
  jpeg[7 + 14] = 45;  // 300 symbols in all
  jpeg.insert(jpeg.end(), 300, 0x01);
  const uint8_t rest[] = {0xFF, 0xC0, 0, 11, 8, 0, 1, 0, 1, 1, 1, 0x11, 0, 0xFF, 0xD9};
  jpeg.insert(jpeg.end(), rest, rest + sizeof rest);
  DecodedImage image;
  EXPECT_FALSE(DecodeImage(jpeg.data(), jpeg.size(), &image));
  EXPECT_FALSE(DecodeImageWithStb(jpeg.data(), jpeg.size(), &image));

  // A 1 x 1 grey picture (two bytes of data) whose data stream goes on for 64 MiB.
  std::vector<uint8_t> raw(64u << 20, 0);
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> packed(packedSize);
  ASSERT_EQ(compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9),
            Z_OK);
  packed.resize(packedSize);
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const auto chunk = [&png](const char* type, const std::vector<uint8_t>& body) {
    const uint32_t length = static_cast<uint32_t>(body.size());
    for (int i = 3; i >= 0; --i) png.push_back(static_cast<uint8_t>(length >> (8 * i)));
    const size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), body.begin(), body.end());
    const uint32_t crc =
        static_cast<uint32_t>(crc32(0, png.data() + start, static_cast<uInt>(png.size() - start)));
    for (int i = 3; i >= 0; --i) png.push_back(static_cast<uint8_t>(crc >> (8 * i)));
  };
  chunk("IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8, 0, 0, 0, 0});
  chunk("IDAT", packed);
  chunk("IEND", {});
  EXPECT_TRUE(DecodeImage(png.data(), png.size(), &image));
  EXPECT_FALSE(DecodeImageWithStb(png.data(), png.size(), &image));
}

TEST(ImageDecoderLimits, HugeDeclaredSizesAreRefusedBeforeAllocating) {
  // A TGA header announcing 65535 x 65535 texels with no pixel data.
  uint8_t tga[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 32, 0x28};
  // A PNG signature and header chunk for 20000 x 20000, then nothing.
  const uint8_t png[] = {0x89, 'P',  'N', 'G', '\r', '\n', 0x1A, '\n', 0,    0, 0,
                         13,   'I',  'H', 'D', 'R',  0,    0,    0x4E, 0x20, 0, 0,
                         0x4E, 0x20, 8,   6,   0,    0,    0,    0,    0,    0, 0};
  for (const Decoder& decoder : kDecoders) {
    SCOPED_TRACE(decoder.name);
    DecodedImage image;
    EXPECT_FALSE(decoder.decode(tga, sizeof tga, &image));
    EXPECT_FALSE(decoder.decode(png, sizeof png, &image));
    EXPECT_FALSE(decoder.decode(nullptr, 0, &image));
  }
}

}  // namespace
}  // namespace yulo
