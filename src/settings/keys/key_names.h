// settings/keys/: the keys a command may be bound to, and their capture.
//
// The key codes a player command may be bound to (Windows virtual-key codes,
// 1, 2 and 4 being the mouse buttons) and the names the key-binding dialog
// shows for them. Plain C++.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace qorve {

// The bindable codes in ascending order.
std::span<const uint8_t> BindableKeys();
bool IsBindableKey(int code);
// The number of bindable codes below `code`: the list index of a bindable code.
int BindableIndexOf(int code);

// A letter or digit is itself; some codes have fixed names ("←", "PAGE UP",
// "マウス左"); any other code is named as the X keyboard names its key, or
// empty when no key gives it.
std::string KeyName(int code);

}  // namespace qorve
