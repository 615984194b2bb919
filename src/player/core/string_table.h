// The player's string table in Japanese and English: ids 1 to 28 (display
// texts) and 1001 to 1017 (error texts and list modes). The language follows
// LC_ALL, LC_MESSAGES, LANG (the first that is set): English when it names
// English, Japanese otherwise.
#pragma once

#include <string>

namespace qorve {

enum class UiLanguage { Japanese, English };

UiLanguage CurrentUiLanguage();

// The text of `id` in the user-interface language; "" when it has none.
std::string LoadString(int id);
std::string LoadString(int id, UiLanguage language);

}  // namespace qorve
