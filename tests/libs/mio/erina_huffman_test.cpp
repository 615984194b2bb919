// The ERINA coder: the byte stream of the format description's worked example,
// and round trips through the test encoder for streams that grow, escape,
// run zeros across the planes and halve their counts (tree rebuilds).
#include "libs/mio/erina_huffman.h"
#include "mio_maker.h"

#include <gtest/gtest.h>

#include <random>

namespace qorve::test {
namespace {

std::vector<uint8_t> Decode(const std::vector<uint8_t>& bits, std::size_t count, bool& ok) {
  mio::ErinaDecoder decoder;
  mio::MioBitReader reader(bits.data(), bits.size());
  std::vector<uint8_t> out(count);
  ok = decoder.Decode(reader, out.data(), out.size());
  return out;
}

TEST(ErinaHuffmanTest, WorkedExampleCodesToItsKnownBits) {
  const std::vector<uint8_t> bytes = {0x00, 0x00, 0x00, 0x00, 0x64, 0x00, 0x00, 0x9C};
  const std::vector<uint8_t> bits = {0x00, 0xA5, 0x90, 0x03, 0x33, 0x80, 0x00, 0x00};
  ErinaEncoder encoder;
  BitWriter writer;
  encoder.Encode(bytes, writer);
  EXPECT_EQ(writer.Bytes(), bits);
  bool ok = false;
  EXPECT_EQ(Decode(bits, bytes.size(), ok), bytes);
  EXPECT_TRUE(ok);
}

struct Shape {
  const char* name;
  std::size_t size;
  int zeroPercent;
  int alphabet;  // values drawn from 1..alphabet
};

class ErinaRoundTripTest : public ::testing::TestWithParam<Shape> {};

TEST_P(ErinaRoundTripTest, DecodesWhatTheEncoderWrote) {
  const Shape shape = GetParam();
  std::mt19937 random(7);
  std::vector<uint8_t> bytes(shape.size);
  for (auto& b : bytes) {
    const bool zero = static_cast<int>(random() % 100) < shape.zeroPercent;
    b = zero ? 0 : static_cast<uint8_t>(1 + random() % static_cast<unsigned>(shape.alphabet));
  }
  ErinaEncoder encoder;
  BitWriter writer;
  encoder.Encode(bytes, writer);
  bool ok = false;
  EXPECT_EQ(Decode(writer.Bytes(), bytes.size(), ok), bytes);
  EXPECT_TRUE(ok);
}

INSTANTIATE_TEST_SUITE_P(Shapes, ErinaRoundTripTest,
                         ::testing::Values(Shape{"EveryByteValue", 50000, 5, 255},
                                           Shape{"LongZeroRuns", 40000, 90, 3},
                                           Shape{"OneContextRebuildsOften", 100000, 0, 1},
                                           Shape{"SkewedSmallAlphabet", 80000, 30, 6}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ErinaHuffmanTest, StreamRunningOutIsCorrupt) {
  const std::vector<uint8_t> bits = {0x00, 0xA5};  // the example cut after its first run
  bool ok = true;
  Decode(bits, 1000, ok);  // far more bytes than the bits and their padding hold
  EXPECT_FALSE(ok);
}

}  // namespace
}  // namespace qorve::test
