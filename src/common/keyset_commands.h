// The player's commands that keys are bound to (the KEYSET section), in the
// order the settings program lists them, with the names the user reads.
#pragma once

#include <span>
#include <string_view>

#include "common/settings.h"

namespace qorve {

struct KeysetCommand {
  const char* name;   // the KEYSET key: "CLOSE", "PAUSE"…
  const char* label;  // what it does: "終了", "一時停止"…
  int Settings::*key; // the virtual-key code bound to it
};

std::span<const KeysetCommand> KeysetCommands();

// The command of that KEYSET name, in any case of ASCII letters ("next",
// "Next"); null for any other name.
const KeysetCommand* FindKeysetCommand(std::string_view name);

}  // namespace qorve
