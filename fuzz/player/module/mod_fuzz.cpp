// Any bytes as a module image: the loaders either refuse them or build a song
// that renders a couple of seconds, measures a bounded length and plays again
// from a point further on, without reading or writing out of bounds.
#include "player/module/mod_player.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qorve;
  ModPlayer* player = ModCreate();
  if (player == nullptr) return 0;
  if (ModLoad(player, data, static_cast<int64_t>(size))) {
    // A low rate keeps each input quick; the sequencer does the same work.
    ModSetRate(player, 8000);
    std::vector<int16_t> pcm(8000 * 2);
    for (int second = 0; second < 2; ++second) {
      ModRender(player, pcm.data(), 8000);
      for (int16_t value : pcm) {
        if (value == -32768) std::abort();
      }
    }
    ModSetLoop(player, 0);
    const int seconds = ModMeasureSeconds(player, 120);
    if (seconds < 1 || seconds > 120) std::abort();
    // Seeking: a reset, one second skipped, a little more rendered.
    ModReset(player);
    ModRender(player, pcm.data(), 8000);
    ModRender(player, pcm.data(), 2000);
  }
  ModDestroy(player);
  return 0;
}
