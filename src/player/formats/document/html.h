// player/formats/document/: the media class of documents.
//
// HTML: the media class of documents (HTML pages, PDF files, Flash movies),
// shown by the browser control "Shell.Explorer.2" in an ActiveX host child
// that fills the display window.
#pragma once

#include "player/core/media_file.h"

#include <string>

namespace qorve {

class ActiveXHostWindow;

class HTML final : public MediaFile {
 public:
  HTML();
  // Destroys the host window, which releases the browser control.
  ~HTML() override;

  // 0 when the control was created and sent to the file's "file://" address;
  // 14 when there is no owner window or no browser control, with the
  // component to install in Codec (by extension: HTM/HTML, SWF, PDF).
  int Open(const std::string& path, const std::string& extension, WindowHandle owner) override;
  int Close() override { return 0; }

 private:
  ActiveXHostWindow* host_ = nullptr;
};

}  // namespace qorve
