#include "common/keyset_commands.h"

namespace qorve {
namespace {

constexpr KeysetCommand kCommands[] = {
    {"CLOSE", "終了", &Settings::keysetClose},
    {"PAUSE", "一時停止", &Settings::keysetPause},
    {"LOOP", "ループ", &Settings::keysetLoop},
    {"LIST", "連続再生", &Settings::keysetList},
    {"RAND", "ランダム再生", &Settings::keysetRand},
    {"FULL", "全画面", &Settings::keysetFull},
    {"ZOOM", "拡大", &Settings::keysetZoom},
    {"NEXT", "次のファイル", &Settings::keysetNext},
    {"BACK", "前のファイル", &Settings::keysetBack},
    {"SHOW", "スライドショウ", &Settings::keysetShow},
    {"HIDDEN", "隠す", &Settings::keysetHidden},
    {"VOLUMEUP", "音量ＵＰ", &Settings::keysetVolumeUp},
    {"VOLUMEDOWN", "音量ＤＯＷＮ", &Settings::keysetVolumeDown},
};

}  // namespace

std::span<const KeysetCommand> KeysetCommands() { return kCommands; }

const KeysetCommand* FindKeysetCommand(std::string_view name) {
  const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  for (const KeysetCommand& command : kCommands) {
    const std::string_view known = command.name;
    if (known.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < known.size() && same; ++i) same = upper(name[i]) == known[i];
    if (same) return &command;
  }
  return nullptr;
}

}  // namespace qorve
