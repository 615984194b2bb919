// Any bytes as an SPC file, handled as the SPC media class handles one: the
// first 66,048 bytes (a short file padded with zeros) give the ID666 tag and
// the image that goes into the emulator module; then a little is rendered,
// the emulation fast-forwarded and rendered again. Nothing may crash, and
// each render fills exactly the frames asked for.
#include "common/spc_output.h"
#include "libs/snesapu/snesapu.h"
#include "platform/system/text.h"
#include "player/formats/tags/id666.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kImageBytes = 66048;
constexpr uint32_t kRate = 8000;  // a low rate keeps each input quick
constexpr uint32_t kFrames = kRate / 4;

void RenderExactly(uint32_t frames) {
  std::vector<uint8_t> pcm(frames * 4);
  if (EmuAPU(pcm.data(), frames, 1) != pcm.data() + pcm.size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> image(kImageBytes, 0);
  std::memcpy(image.data(), data, std::min(size, kImageBytes));
  const qorve::Id666 tag = qorve::ReadId666(std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
  if (!qorve::IsValidUtf8(tag.title) || tag.seconds < 1 || tag.seconds > 999) std::abort();

  uint8_t* ram = nullptr;
  uint8_t* extraRam = nullptr;
  uint8_t* dsp = nullptr;
  GetAPUData(&ram, &extraRam, nullptr, nullptr, &dsp, nullptr, nullptr, nullptr);
  // The signature bytes are not part of the image the emulator gets: they
  // choose the options the player's settings would (surround, amplification).
  SetAPUOpt(1, 2, 16, kRate, 2, image[0] & 1 ? qorve::kSpcSurroundOption : 0);
  ResetAPU(image[1] & 1 ? 0x10000 : 0x20000);
  std::memcpy(ram, image.data() + 0x100, 0x10000);
  std::memcpy(extraRam, image.data() + 0x101C0, 64);
  std::memcpy(dsp, image.data() + 0x10100, 128);
  const uint8_t* r = image.data();
  FixAPU(static_cast<uint16_t>(r[0x25] | r[0x26] << 8), r[0x27], r[0x28], r[0x29], r[0x2A], r[0x2B]);
  RenderExactly(kFrames);
  // A seek of up to a second, in 1/64,000 s.
  SeekAPU(static_cast<uint32_t>(image[2]) * 250, 1);
  RenderExactly(kFrames / 2);
  return 0;
}
