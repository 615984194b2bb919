#include "player/formats/document/html.h"

#include "common/log.h"
#include "platform/qt/activex_host.h"
#include "platform/system/text.h"

#include <string_view>

namespace qorve {
namespace {

constexpr const char* kBrowserControl = "Shell.Explorer.2";
// The host's first size; it then follows the display window, which is
// 640 × 480 for documents.
constexpr int kHostWidth = 640;
constexpr int kHostHeight = 480;

// What to install so that the document can be shown; "" for other extensions.
std::string_view InstallHint(const std::string& extension) {
  if (EqualsIgnoreCase(extension, "HTM") || EqualsIgnoreCase(extension, "HTML")) return "Internet Explorer 4.0 以上";
  if (EqualsIgnoreCase(extension, "SWF")) return "IE用 Flash プラグイン";
  if (EqualsIgnoreCase(extension, "PDF")) return "Adobe Acrobat Reader";
  return "";
}

}  // namespace

HTML::HTML() {
  Log("HTMLコンストラクタ", 0);
  info_.Kind = kKindDocument;
}

HTML::~HTML() {
  Log("HTMLデストラクタ", 0);
  DestroyActiveXHostWindow(host_);
}

int HTML::Open(const std::string& path, const std::string& extension, WindowHandle owner) {
  // The path is absolute, so "file://" + path is the "file:///" address.
  const std::string address = (path.starts_with('/') ? "file://" : "file:///") + path;
  Log(address, 0);

  DestroyActiveXHostWindow(host_);
  host_ = CreateActiveXHostWindow(owner, kBrowserControl, 0, 0, kHostWidth, kHostHeight);
  ActiveXControl* control = HostedControl(host_);
  if (control != nullptr) {
    Log("インターフェース取得", 0);
    control->Navigate2(address);
    return kResultSuccess;
  }
  SetInfoText(info_.Codec, InstallHint(extension));
  DestroyActiveXHostWindow(host_);
  host_ = nullptr;
  return kResultNoActiveX;
}

}  // namespace qorve
