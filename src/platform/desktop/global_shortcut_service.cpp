#include "platform/desktop/global_shortcut_service.h"

#include <string_view>

namespace qorve {

bool DesktopIsKde(const char* currentDesktop) {
  if (currentDesktop == nullptr) return false;
  std::string_view list(currentDesktop);
  while (!list.empty()) {
    const std::size_t colon = list.find(':');
    if (list.substr(0, colon) == "KDE") return true;
    if (colon == std::string_view::npos) break;
    list.remove_prefix(colon + 1);
  }
  return false;
}

}  // namespace qorve
