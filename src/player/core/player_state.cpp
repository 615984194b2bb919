#include "player/core/player_state.h"

#include <random>

namespace qorve {
namespace {

std::mt19937& RandomEngine() {
  static std::mt19937 engine;
  return engine;
}

}  // namespace

PlayerState& Player() {
  static PlayerState state;
  return state;
}

int RandomIndex(int count) {
  if (count <= 1) return 0;
  std::uniform_int_distribution<int> pick(0, count - 1);
  return pick(RandomEngine());
}

void SeedRandom(unsigned seed) { RandomEngine().seed(seed); }

}  // namespace qorve
