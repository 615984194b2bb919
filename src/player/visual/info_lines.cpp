#include "player/visual/info_lines.h"

#include "common/time_text.h"
#include "common/volume.h"
#include "player/core/file_list.h"

#include <cstdio>
#include <cstring>

namespace qorve {
namespace {

// String-table ids of the display texts.
enum TextId : int {
  kTextInstallHint = 1,
  kTextInfoHeading = 2,
  kTextFormat = 3,
  kTextFileName = 4,
  kTextTrack = 5,
  kTextTitle = 6,
  kTextArtist = 7,
  kTextAlbum = 8,
  kTextGenre = 9,
  kTextDetailHeading = 10,
  kTextLength = 11,
  kTextSize = 12,
  kTextCodec = 13,
  kTextChannels = 14,
  kTextSampleRate = 15,
  kTextBits = 16,
  kTextBitrate = 17,
  kTextStatusHeading = 18,
  kTextRemaining = 19,
  kTextElapsed = 20,
  kTextStopped = 21,
  kTextPlaying = 22,
  kTextPaused = 23,
  kTextLoop = 24,
  kTextSeries = 25,
  kTextRandom = 26,
  kTextList = 27,
  kTextVolume = 28,
  kTextFolderMode = 1016,
  kTextPlaylistMode = 1017,
};

bool HasText(const char* field) { return field[0] != '\0'; }

}  // namespace

std::string FormatItem(const std::string& pattern, std::initializer_list<FormatArgument> arguments) {
  std::string out;
  auto next = arguments.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') {
      out += pattern[i];
      continue;
    }
    // A conversion: %[flags][width][.precision](d|s|f)
    std::size_t end = i + 1;
    while (end < pattern.size() && std::strchr("-+ #0", pattern[end]) != nullptr) ++end;
    while (end < pattern.size() && pattern[end] >= '0' && pattern[end] <= '9') ++end;
    if (end < pattern.size() && pattern[end] == '.') {
      ++end;
      while (end < pattern.size() && pattern[end] >= '0' && pattern[end] <= '9') ++end;
    }
    const char conversion = end < pattern.size() ? pattern[end] : '\0';
    if (conversion == '%' && end == i + 1) {
      out += '%';
      i = end;
      continue;
    }
    if (conversion != 'd' && conversion != 's' && conversion != 'f') {
      out += '%';  // not a conversion: the sign itself
      continue;
    }
    const std::string conversionText = pattern.substr(i, end - i + 1);
    const bool matches = next != arguments.end() &&
                         ((conversion == 'd' && next->type == FormatArgument::Type::Int) ||
                          (conversion == 'f' && next->type == FormatArgument::Type::Double) ||
                          (conversion == 's' && next->type == FormatArgument::Type::Text));
    if (!matches) {
      out += conversionText;
    } else {
      char buffer[64];
      if (conversion == 's') {
        // Texts may be longer than any fixed buffer; width is all they use.
        std::string text = next->text;
        int width = 0;
        bool left = false;
        for (std::size_t k = 1; k + 1 < conversionText.size() && conversionText[k] != '.'; ++k) {
          if (conversionText[k] == '-') left = true;
          if (conversionText[k] >= '0' && conversionText[k] <= '9') width = width * 10 + (conversionText[k] - '0');
        }
        const int padding = width - static_cast<int>(text.size());
        if (padding > 0) text = left ? text + std::string(padding, ' ') : std::string(padding, ' ') + text;
        out += text;
      } else if (conversion == 'd') {
        std::snprintf(buffer, sizeof buffer, conversionText.c_str(), next->integer);
        out += buffer;
      } else {
        const int written = std::snprintf(buffer, sizeof buffer, conversionText.c_str(), next->real);
        if (written >= static_cast<int>(sizeof buffer)) {
          std::string large(static_cast<std::size_t>(written) + 1, '\0');
          std::snprintf(large.data(), large.size(), conversionText.c_str(), next->real);
          large.resize(static_cast<std::size_t>(written));
          out += large;
        } else {
          out += buffer;
        }
      }
      ++next;
    }
    i = end;
  }
  return out;
}

InfoLines BuildInfoLines(const InfoLineInput& input, const Settings& s) {
  const MediaInfo& info = input.info;
  const UiLanguage lang = input.language;
  const auto text = [lang](int id) { return LoadString(id, lang); };
  InfoLines lines;

  std::string& first = lines.info;
  first = text(kTextInfoHeading);
  if (s.winmesKind == 1 && HasText(info.Format)) first += FormatItem(text(kTextFormat), {info.Format});
  if (s.winmesFileName == 1 && HasText(info.FileName)) first += FormatItem(text(kTextFileName), {info.FileName});
  if (s.winmesTrack == 1 && info.Track != 0) first += FormatItem(text(kTextTrack), {info.Track});
  if (s.winmesTitle == 1 && HasText(info.Title)) first += FormatItem(text(kTextTitle), {info.Title});
  if (s.winmesSinger == 1 && HasText(info.Artist)) first += FormatItem(text(kTextArtist), {info.Artist});
  if (HasText(info.Album)) first += FormatItem(text(kTextAlbum), {info.Album});
  if (s.winmesGanre == 1 && HasText(info.Genre)) first += FormatItem(text(kTextGenre), {info.Genre});

  std::string& second = lines.detail;
  second = text(kTextDetailHeading);
  if (s.winmesAllTime == 1 && info.Length > 0) {
    const std::string length = FormatTime(info.Length, s.winmesTimeForm, s.winmesDecimal);
    second += FormatItem(text(kTextLength), {length.c_str()});
  }
  if (s.winmesSize == 1 && info.Kind == kKindVideo && info.Width != -1) {
    second += FormatItem(text(kTextSize), {info.Width, info.Height});
  }
  if (s.winmesCodec == 1 && HasText(info.Codec)) second += FormatItem(text(kTextCodec), {info.Codec});
  if (s.winmesWavData == 1) {
    if (info.Channels != 0) second += FormatItem(text(kTextChannels), {static_cast<int>(info.Channels)});
    if (info.SampleRate != 0) second += FormatItem(text(kTextSampleRate), {info.SampleRate * 0.001});
    if (info.Bits != 0) second += FormatItem(text(kTextBits), {static_cast<int>(info.Bits)});
    if (info.Bitrate != 0) second += FormatItem(text(kTextBitrate), {static_cast<int>(info.Bitrate)});
  }

  lines.status = BuildStatusLine(input, s);
  return lines;
}

std::string BuildStatusLine(const InfoLineInput& input, const Settings& s) {
  const MediaInfo& info = input.info;
  const UiLanguage lang = input.language;
  const auto text = [lang](int id) { return LoadString(id, lang); };
  const double position = input.state.TimePos < 0 ? 0.0 : input.state.TimePos;
  std::string third = text(kTextStatusHeading);
  if (s.winmesTimeLater == 1) {
    const std::string rest = FormatTime(info.Length - position, s.winmesTimeForm, s.winmesDecimal);
    third += FormatItem(text(kTextRemaining), {rest.c_str()});
  }
  if (s.winmesTimePassed == 1) {
    const std::string elapsed = FormatTime(position, s.winmesTimeForm, s.winmesDecimal);
    third += FormatItem(text(kTextElapsed), {elapsed.c_str()});
  }
  if (s.winmesState == 1) {
    switch (input.state.PlayState) {
      case kStopped: third += text(kTextStopped); break;
      case kPlaying: third += text(kTextPlaying); break;
      case kPaused: third += text(kTextPaused); break;
      default: break;
    }
    switch (s.soundsetLoop) {
      case 1: third += text(kTextLoop); break;
      case 2: third += text(kTextSeries); break;
      case 3: third += text(kTextRandom); break;
      default: break;
    }
    if (input.listSource == kListPlaylist) third += text(kTextPlaylistMode);
    if (input.listSource == kListFolder) third += text(kTextFolderMode);
  }
  if (s.winmesFileList == 1) third += FormatItem(text(kTextList), {input.listIndex + 1, input.listCount});
  if (s.winmesVolume == 1) third += FormatItem(text(kTextVolume), {VolumeToPercent(input.volume)});
  return third;
}

ErrorText BuildErrorText(const std::string& message, const std::string& component, UiLanguage language) {
  ErrorText result;
  result.message = message;
  if (!component.empty()) result.hint = FormatItem(LoadString(kTextInstallHint, language), {component.c_str()});
  return result;
}

}  // namespace qorve
