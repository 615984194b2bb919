// The help texts of the settings dialogs, looked up by the number of the
// control they explain.
#pragma once

#include <string_view>

namespace qorve {

// The text for a control number; empty for a control that has none.
std::string_view HelpText(int controlId);

}  // namespace qorve
