#include "tga_decoder.h"

#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace qorve::tga {
namespace {

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream out;
  out << file.rdbuf();
  return out.str();
}

bool RunQuietly(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

std::span<const uint8_t> AsBytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

struct Variant {
  const char* name;
  const char* options;  // ImageMagick options that pick the TGA layout
};

class TgaDecoderTest : public test::TempHome, public ::testing::WithParamInterface<Variant> {};

// Each layout ImageMagick writes decodes to ffmpeg's pixels.
TEST_P(TgaDecoderTest, DecodesLikeTheReferenceDecoder) {
  if (!RunQuietly("command -v convert") || !RunQuietly("command -v ffmpeg")) GTEST_SKIP() << "ImageMagick or ffmpeg missing";
  const auto tga = root() / "picture.tga";
  const auto raw = root() / "reference.rgb";
  ASSERT_TRUE(RunQuietly("convert -size 37x21 plasma:fractal -seed 7 " + std::string(GetParam().options) + " '" +
                  tga.string() + "'"));
  ASSERT_TRUE(RunQuietly("ffmpeg -v error -i '" + tga.string() + "' -f rawvideo -pix_fmt rgb24 '" + raw.string() + "'"));
  const std::string bytes = ReadAll(tga);
  const std::string rgb = ReadAll(raw);

  TgaImage image;
  ASSERT_EQ(DecodeTga(AsBytes(bytes), image), TgaResult::Ok);
  ASSERT_EQ(image.width, 37);
  ASSERT_EQ(image.height, 21);
  ASSERT_EQ(rgb.size(), image.pixels.size() * 3);
  for (std::size_t i = 0; i < image.pixels.size(); ++i) {
    const uint32_t expected = static_cast<uint8_t>(rgb[3 * i]) << 16 | static_cast<uint8_t>(rgb[3 * i + 1]) << 8 |
                              static_cast<uint8_t>(rgb[3 * i + 2]);
    ASSERT_EQ(image.pixels[i] & 0xFFFFFF, expected) << "pixel " << i;
  }

  // Cut anywhere inside the pixel data, the picture is broken, never read
  // past its end.
  for (std::size_t size : {bytes.size() / 2, bytes.size() - 1}) {
    TgaImage cut;
    EXPECT_EQ(DecodeTga(AsBytes(bytes.substr(0, size)), cut), TgaResult::Broken);
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, TgaDecoderTest,
                         ::testing::Values(Variant{"TrueColour", "-compress none"},
                                           Variant{"TrueColourRle", "-compress RLE"},
                                           Variant{"TrueColourAlpha", "-alpha set -compress RLE"},
                                           Variant{"Grey", "-colorspace Gray -compress none"},
                                           Variant{"GreyRle", "-colorspace Gray -compress RLE"},
                                           Variant{"ColourMapped", "-colors 40 -type Palette -compress none"},
                                           Variant{"ColourMappedRle", "-colors 40 -type Palette -compress RLE"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TgaHeader, OnlyReadableLayoutsLookLikeTga) {
  // type 2, 24 bits, 2 x 1, then the two pixels
  std::string picture = std::string("\0\0\x02\0\0\0\0\0\0\0\0\0\x02\0\x01\0\x18\x20", 18) + "\x01\x02\x03\x04\x05\x06";
  TgaImage image;
  ASSERT_EQ(DecodeTga(AsBytes(picture), image), TgaResult::Ok);
  EXPECT_EQ(image.pixels[0], 0xFF030201u);
  EXPECT_EQ(image.pixels[1], 0xFF060504u);

  for (auto [offset, value] : {std::pair{2, 4}, {16, 12}, {12, 0}, {1, 2}}) {
    std::string bad = picture;
    bad[offset] = static_cast<char>(value);
    EXPECT_FALSE(LooksLikeTga(AsBytes(bad))) << "offset " << offset;
    EXPECT_EQ(DecodeTga(AsBytes(bad), image), TgaResult::NotTga);
  }
  EXPECT_EQ(DecodeTga(AsBytes(picture), image, 1), TgaResult::TooLarge);
}

}  // namespace
}  // namespace qorve::tga
