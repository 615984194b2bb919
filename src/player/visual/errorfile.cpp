#include "player/visual/errorfile.h"

#include "common/log.h"
#include "platform/system/text.h"
#include "player/core/string_table.h"

namespace qorve {

namespace {
constexpr int kErrorTextBase = 1000;  // string id of code c is 1000 + c
constexpr int kMessageBufferSize = 256;
}  // namespace

ERRORFILE::ERRORFILE() {
  info_.Kind = kKindUnplayable;
  Log("ERRORFILE コンストラクタ", 0);
}

ERRORFILE::~ERRORFILE() { Log("ERRORFILE デストラクタ", 0); }

int ERRORFILE::Open(const std::string& code, const std::string& hint, WindowHandle) {
  errorCode_ = code.empty() ? 0 : static_cast<int>(static_cast<signed char>(code[0]));
  SetInfoText(info_.Codec, hint);
  char message[kMessageBufferSize];
  GetErrorText(message, sizeof message);
  Log(message, errorCode_);
  Log(info_.Codec, 0);
  return kResultSuccess;
}

int ERRORFILE::Close() { return 0; }

void ERRORFILE::GetErrorText(char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return;
  CopyToBuffer(LoadString(kErrorTextBase + errorCode_), buffer, static_cast<std::size_t>(size));
}

}  // namespace qorve
