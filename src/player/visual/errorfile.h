// ERRORFILE: the media object that stands in for a file no other class could
// open. It plays nothing; the display shows its message and installation hint.
#pragma once

#include "player/core/media_file.h"

#include <string>

namespace qorve {

class ERRORFILE : public MediaFile {
 public:
  ERRORFILE();
  ~ERRORFILE() override;

  // `code`: its first byte, read as a signed char, is the result code to show
  // (empty = 0). `hint`: the missing component, kept in Codec (at most 127
  // bytes, cut at a character boundary). Logs the message and the hint and
  // returns 0.
  int Open(const std::string& code, const std::string& hint, WindowHandle owner) override;
  int Close() override;
  // The message of the code (string 1000 + code) in the user-interface
  // language, "" when the code has none; at most size - 1 bytes.
  void GetErrorText(char* buffer, int size) override;

 private:
  int errorCode_ = 0;
};

}  // namespace qorve
