// The module mixer: every channel resampled with linear interpolation into a
// 32-bit accumulator, discontinuities removed by a decaying declick offset,
// the sum limited to 16 bits under an automatic gain control.
#include "player/module/mod_player.h"

#include <algorithm>
#include <cstring>

namespace qorve {
namespace {

constexpr int kBlockFrames = 256;
constexpr int kSilentGain = 32;  // a side whose gain is within ±32 is not mixed
constexpr int kClipLimit = 32767;
constexpr int kClipsBeforeFall = 8;  // limited values per block that lower the gain

// Channel gains (4096 = 1.0) from its levels and the auto gain.
struct Gains {
  int left;
  int right;
};

Gains ChannelGains(const ModPlayer* p, const ModChannel& c) {
  return {(c.leftLevel >> 6) * p->autoGain >> 12, (c.rightLevel >> 6) * p->autoGain >> 12};
}

bool Playable(const ModChannel& c) {
  return c.sample != nullptr && (c.sample->state & kSampleHasData) && c.sample->data != nullptr && c.step != 0;
}

// Brings a position at or past a looped sample's end back inside its loop.
// Returns false when an unlooped sample has ended.
bool Wrap(const ModSample& s, uint64_t& position) {
  const uint64_t end = static_cast<uint64_t>(s.length) << 12;
  if (position < end) return true;
  if (!(s.state & kSampleLooped) || s.loopLength <= 0) return false;
  const uint64_t start = static_cast<uint64_t>(s.loopStart) << 12;
  const uint64_t loop = static_cast<uint64_t>(s.loopLength) << 12;
  position = start + (position - start) % loop;
  return true;
}

template <bool Wide>
inline int Interpolated(const uint8_t* data, uint64_t position) {
  const std::size_t index = static_cast<std::size_t>(position >> 12);
  int s0, s1;
  if constexpr (Wide) {
    int16_t pair[2];
    std::memcpy(pair, data + index * 2, 4);
    s0 = pair[0];
    s1 = pair[1];
    return s0 + ((s1 - s0) * static_cast<int>(position & 0xFFF) >> 12);
  } else {
    // The values × 256, interpolated: (d × 256 × f) >> 12 is (d × f) >> 4
    // exactly, as an arithmetic shift rounds both down alike.
    s0 = static_cast<int8_t>(data[index]);
    s1 = static_cast<int8_t>(data[index + 1]);
    return s0 * 256 + ((s1 - s0) * static_cast<int>(position & 0xFFF) >> 4);
  }
}

// The value a channel would produce now, per side.
Gains CurrentOutput(const ModChannel& c, Gains gains) {
  if (!Playable(c)) return {0, 0};
  uint64_t position = c.samplePosition;
  if (!Wrap(*c.sample, position)) return {0, 0};
  const int value = (c.sample->state & kSample16Bit) ? Interpolated<true>(c.sample->data, position)
                                                     : Interpolated<false>(c.sample->data, position);
  const bool left = gains.left < -kSilentGain || gains.left > kSilentGain;
  const bool right = gains.right < -kSilentGain || gains.right > kSilentGain;
  return {left ? value * gains.left >> 12 : 0, right ? value * gains.right >> 12 : 0};
}

// One channel into the accumulator: one loop per width and active sides, so a
// silent side costs nothing but the position update. The inner loop runs over
// the frames before the position next reaches the sample's end, so it tests
// nothing per frame; the end is handled between runs exactly as a test before
// every frame would. Returns the last values added per side.
// `Same`: both sides have the same gain (a centred channel), so each value is
// scaled once.
template <bool Wide, bool Left, bool Right, bool Same = false>
Gains MixChannel(ModChannel& c, Gains gains, int32_t* acc, int frames) {
  const ModSample& s = *c.sample;
  const uint8_t* data = s.data;
  uint64_t position = c.samplePosition;
  const uint64_t step = c.step;
  const uint64_t end = static_cast<uint64_t>(s.length) << 12;
  Gains last{0, 0};
  int done = 0;
  while (done < frames) {
    if (position >= end && !Wrap(s, position)) break;
    // Frames whose position is still below the end: ⌈(end − position) ÷ step⌉.
    const uint64_t beforeEnd = (end - position + step - 1) / step;
    const int run = beforeEnd < static_cast<uint64_t>(frames - done) ? static_cast<int>(beforeEnd) : frames - done;
    if constexpr (Left || Right) {
      int32_t* out = acc + 2 * done;
      for (const int32_t* stop = out + 2 * run; out != stop; out += 2) {
        const int value = Interpolated<Wide>(data, position);
        if constexpr (Same) {
          last.left = value * gains.left >> 12;
          out[0] += last.left;
          out[1] += last.left;
        } else {
          if constexpr (Left) {
            last.left = value * gains.left >> 12;
            out[0] += last.left;
          }
          if constexpr (Right) {
            last.right = value * gains.right >> 12;
            out[1] += last.right;
          }
        }
        position += step;
      }
    } else {
      position += step * static_cast<uint64_t>(run);
    }
    done += run;
  }
  c.samplePosition = position;
  if constexpr (Same) last.right = last.left;
  return last;
}

template <bool Wide>
Gains MixChannelWidth(ModChannel& c, Gains gains, int32_t* acc, int frames) {
  const bool left = gains.left < -kSilentGain || gains.left > kSilentGain;
  const bool right = gains.right < -kSilentGain || gains.right > kSilentGain;
  if (left && right && gains.left == gains.right) return MixChannel<Wide, true, true, true>(c, gains, acc, frames);
  if (left && right) return MixChannel<Wide, true, true>(c, gains, acc, frames);
  if (left) return MixChannel<Wide, true, false>(c, gains, acc, frames);
  if (right) return MixChannel<Wide, false, true>(c, gains, acc, frames);
  return MixChannel<Wide, false, false>(c, gains, acc, frames);
}

void MixBlock(ModPlayer* p, uint8_t* out, int frames) {
  int32_t acc[kBlockFrames * 2];
  const int channels = std::clamp(p->channels, 0, kModMaxChannels);

  // Declick: a channel whose sample, position or gains jumped since the last
  // block adds the step it would make to the decaying offset instead.
  for (int i = 0; i < channels; ++i) {
    ModChannel& c = p->channel[i];
    const Gains gains = ChannelGains(p, c);
    if (c.sample != c.mixSample || c.samplePosition != c.mixPosition || gains.left != c.mixGainLeft ||
        gains.right != c.mixGainRight) {
      const Gains now = CurrentOutput(c, gains);
      p->declickLeft += c.mixLastLeft - now.left;
      p->declickRight += c.mixLastRight - now.right;
    }
  }
  int declickLeft = p->declickLeft;
  int declickRight = p->declickRight;
  if (declickLeft >> 6 == 0 && declickRight >> 6 == 0) {
    // 0 … 63 no longer decays: the block starts from a constant.
    for (int i = 0; i < frames; ++i) {
      acc[2 * i] = declickLeft;
      acc[2 * i + 1] = declickRight;
    }
  } else {
    for (int i = 0; i < frames; ++i) {
      acc[2 * i] = declickLeft;
      acc[2 * i + 1] = declickRight;
      declickLeft -= declickLeft >> 6;
      declickRight -= declickRight >> 6;
    }
    p->declickLeft = declickLeft;
    p->declickRight = declickRight;
  }

  for (int i = 0; i < channels; ++i) {
    ModChannel& c = p->channel[i];
    const Gains gains = ChannelGains(p, c);
    Gains last{0, 0};
    if (Playable(c)) {
      last = (c.sample->state & kSample16Bit) ? MixChannelWidth<true>(c, gains, acc, frames)
                                              : MixChannelWidth<false>(c, gains, acc, frames);
    }
    c.mixSample = c.sample;
    c.mixPosition = c.samplePosition;
    c.mixGainLeft = gains.left;
    c.mixGainRight = gains.right;
    c.mixLastLeft = last.left;
    c.mixLastRight = last.right;
  }

  int clipped = 0;
  for (int i = 0; i < frames; ++i) {
    int left = acc[2 * i];
    int right = acc[2 * i + 1];
    if (left > kClipLimit || left < -kClipLimit) {
      left = std::clamp(left, -kClipLimit, kClipLimit);
      ++clipped;
    }
    if (right > kClipLimit || right < -kClipLimit) {
      right = std::clamp(right, -kClipLimit, kClipLimit);
      ++clipped;
    }
    const uint32_t frame = static_cast<uint16_t>(left) | static_cast<uint32_t>(static_cast<uint16_t>(right)) << 16;
    std::memcpy(out + static_cast<std::size_t>(i) * 4, &frame, 4);
  }

  if (p->autoGainOn) {
    if (clipped > kClipsBeforeFall) {
      p->autoGain -= p->autoGain >> 8;
    } else {
      p->autoGain = std::min(p->autoGain + (p->autoGain >> 8) + 1, 4096);
    }
  }
}

}  // namespace

int ModMix(ModPlayer* player, void* buffer, int frames) {
  if (player == nullptr || buffer == nullptr || player->format == kModNone) return 0;
  auto* out = static_cast<uint8_t*>(buffer);
  while (frames > 0) {
    const int now = std::min(frames, kBlockFrames);
    MixBlock(player, out, now);
    out += static_cast<std::size_t>(now) * 4;
    frames -= now;
  }
  return 1;
}

}  // namespace qorve
