#include "player/core/media_info_json.h"

#include "platform/system/text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace qorve {
namespace {

// A fixed text field up to its terminator (or its whole size without one).
template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) {
  return std::string_view(field, strnlen(field, N));
}

std::string JsonNumber(double value) {
  if (!std::isfinite(value)) return "0";  // JSON has no NaN or infinity
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (error != std::errc()) return "0";
  return std::string(buffer, end);
}

class JsonObject {
 public:
  void Add(std::string_view key, std::string_view text) { Key(key) += JsonString(text); }
  void Add(std::string_view key, long number) { Key(key) += std::to_string(number); }
  void Add(std::string_view key, double number) { Key(key) += JsonNumber(number); }
  void AddWritten(std::string_view members) {
    out_ += out_.size() == 1 ? "" : ",";
    out_ += members;
  }
  std::string Finish() { return out_ + "}"; }

 private:
  std::string& Key(std::string_view key) {
    out_ += out_.size() == 1 ? "" : ",";
    out_ += JsonString(key);
    out_ += ':';
    return out_;
  }
  std::string out_ = "{";
};

}  // namespace

std::string JsonString(std::string_view text) {
  const std::string utf8 = IsValidUtf8(text) ? std::string(text) : TextToUtf8(text);
  std::string out = "\"";
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

std::string MediaInfoJson(int result, const MediaInfo& info, std::string_view errorText,
                          std::string_view moreFields) {
  JsonObject json;
  json.Add("result", static_cast<long>(result));
  json.Add("kind", static_cast<long>(info.Kind));
  json.Add("format", FieldText(info.Format));
  json.Add("fileName", FieldText(info.FileName));
  json.Add("title", FieldText(info.Title));
  json.Add("artist", FieldText(info.Artist));
  json.Add("album", FieldText(info.Album));
  json.Add("codec", FieldText(info.Codec));
  json.Add("genre", FieldText(info.Genre));
  json.Add("length", info.Length);
  json.Add("width", static_cast<long>(info.Width));
  json.Add("height", static_cast<long>(info.Height));
  json.Add("track", static_cast<long>(info.Track));
  json.Add("sampleRate", static_cast<long>(info.SampleRate));
  json.Add("channels", static_cast<long>(info.Channels));
  json.Add("bits", static_cast<long>(info.Bits));
  json.Add("bitrate", static_cast<long>(info.Bitrate));
  if (info.Kind == kKindUnplayable) json.Add("errorText", errorText);
  if (!moreFields.empty()) json.AddWritten(moreFields);
  return json.Finish();
}

}  // namespace qorve
