#include "player/core/media_factory.h"

#include "common/log.h"
#include "common/settings.h"
#include "platform/system/text.h"
#include "player/core/player_state.h"
#include "player/formats/archive/archive.h"
#include "player/formats/audio/ape.h"
#include "player/formats/audio/flac.h"
#include "player/formats/audio/mcisound.h"
#include "player/formats/audio/mio.h"
#include "player/formats/audio/mp3.h"
#include "player/formats/audio/ogg.h"
#include "player/formats/audio/openmpt.h"
#include "player/formats/audio/snesapu.h"
#include "player/formats/audio/vqf.h"
#include "player/formats/document/html.h"
#include "player/formats/image/image.h"
#include "player/formats/video/directshow.h"
#include "player/formats/video/mcivideo.h"
#include "player/module/mod.h"
#include "player/visual/errorfile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace qorve {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kExtensionField = 20;  // bytes, terminator included
constexpr std::size_t kUpperCasedPrefix = 10;
constexpr std::size_t kSniffBytes = 4;
constexpr int kRandomPlayMode = 3;  // SOUNDSET LOOP
// Folder and playlist expansions nested deeper than this stop (a playlist that
// lists itself, or a start entry that is again a list).
constexpr int kMaxListNesting = 8;

// The expansions under way (user-interface thread only): how deep, and what
// the innermost one lists.
int listNesting = 0;
ListSource innermostList = kListNone;

struct NestingGuard {
  explicit NestingGuard(ListSource source) : outer_(innermostList) {
    ++listNesting;
    innermostList = source;
  }
  ~NestingGuard() {
    --listNesting;
    innermostList = outer_;
  }
  NestingGuard(const NestingGuard&) = delete;
  NestingGuard& operator=(const NestingGuard&) = delete;

 private:
  ListSource outer_;
};

// One signature of the header look. `extension` null = keep the extension.
struct Signature {
  std::string_view bytes;
  bool exactCase;
  const char* extension;
};

constexpr Signature kSignatures[] = {
    {"RIFF", true, nullptr},   {"MThd", false, "MID"}, {"BM", false, "BMP"},
    {"\x89PNG", false, "PNG"}, {"GIF", false, "GIF"},  {".RMF", false, "RM"},
    {"FWS", false, "SWF"},     {"FORM", false, "AIF"}, {".snd", false, "AU"},
    {"PK", false, "ZIP"},      {"MAC", false, "APE"},
};

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

// The absolute, lexically normalised path without a trailing "/" (symbolic
// links are kept as the user named them).
std::string LongForm(const std::string& path) {
  if (path.empty()) return path;
  std::error_code ec;
  fs::path absolute = fs::absolute(path, ec);
  if (ec) absolute = path;
  std::string form = absolute.lexically_normal().string();
  while (form.size() > 1 && form.back() == '/') form.pop_back();
  return form;
}

// The first bytes of a regular file; false when it cannot be read (a folder, a
// FIFO or device, which could block, a missing or unreadable file).
bool ReadFirstBytes(const std::string& path, std::string& out) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return false;
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  char buffer[kSniffBytes] = {};
  file.read(buffer, sizeof buffer);
  out.assign(buffer, static_cast<std::size_t>(file.gcount()));
  return true;
}

void UpperCasePrefix(std::string& text, std::size_t count) {
  for (std::size_t i = 0; i < text.size() && i < count; ++i) {
    if (text[i] >= 'a' && text[i] <= 'z') text[i] = static_cast<char>(text[i] - 'a' + 'A');
  }
}

bool TakesPart(const ClassGroup& group, int kindFilter, const std::string& extension) {
  const bool filterLetsIn = kindFilter == 0 || kindFilter == group.kind;
  const bool conditionHolds = group.condition == GroupCondition::FilterOrMixPlay
                                  ? filterLetsIn || ProgramSettings().kestravoxMixPlay == 1
                                  : filterLetsIn;
  if (!conditionHolds) return false;
  return group.extensions.empty() ||
         std::find(group.extensions.begin(), group.extensions.end(), extension) != group.extensions.end();
}

MediaCreator CreatorOf(const ClassGroup& group) {
  if (group.kind == kKindVideo && ProgramSettings().videosetDShow != 1) return group.createAlternative;
  return group.create;
}

// Makes an ERRORFILE current for `code` and returns the code.
int ShowError(WindowHandle owner, int code, const std::string& detail) {
  Player().media = std::make_unique<ERRORFILE>();
  Player().media->Open(std::string(1, static_cast<char>(code)), detail, owner);
  return code;
}

// Fills the file list from a folder or playlist and loads its start entry. An
// empty or unreadable list leaves the file list as it was.
int ExpandList(WindowHandle owner, const std::string& path, ListSource source) {
  // A folder lists only files; should its start entry have become a folder
  // since, listing that would go on without end.
  if (listNesting >= kMaxListNesting || (source == kListFolder && innermostList == kListFolder)) {
    return ShowError(owner, kResultUnsupported, "");
  }

  FileList expanded = Player().fileList;
  expanded.entries.clear();
  expanded.source = source;
  if (source == kListFolder) {
    expanded.firstArgument = path;
    ScanFolder(expanded, false);
  } else if (!LoadPlaylist(expanded, path)) {
    return ShowError(owner, kResultFileNotFound, "");
  }
  if (expanded.entries.empty()) return ShowError(owner, kResultFileNotFound, "");

  const int count = static_cast<int>(expanded.entries.size());
  expanded.index = ProgramSettings().soundsetLoop == kRandomPlayMode ? RandomIndex(count) : 0;
  std::string entry = expanded.entries[static_cast<std::size_t>(expanded.index)];
  Player().fileList = std::move(expanded);

  NestingGuard guard(source);
  return LoadMedia(owner, entry, 0);
}

}  // namespace

std::span<ClassGroup> ClassGroups() {
  using enum GroupCondition;
  static std::array<ClassGroup, 14> groups = {{
      {{"MP3"}, "MP3", kKindSound, FilterOrMixPlay, []() -> std::unique_ptr<MediaFile> { return std::make_unique<MP3>(); }, nullptr},
      {{"APE"}, "APE", kKindSound, FilterOrMixPlay, []() -> std::unique_ptr<MediaFile> { return std::make_unique<APE>(); }, nullptr},
      {{"OGG"}, "OGG", kKindSound, FilterOrMixPlay, []() -> std::unique_ptr<MediaFile> { return std::make_unique<OGG>(); }, nullptr},
      {{"MOD", "XM"}, "MOD", kKindSound, FilterOrMixPlay, []() -> std::unique_ptr<MediaFile> { return std::make_unique<MOD>(); }, nullptr},
      // Every tracker format libopenmpt reads, MOD and XM among them: a module
      // our own engine refuses comes here next. Not PPM (PowerPacker), which
      // would read every PPM picture before the image class gets it.
      {{"MOD", "XM", "S3M", "IT", "MPTM", "MTM", "669", "STM", "ULT", "MED", "OKT", "FAR", "MDL", "AMF", "AMS",
        "DBM", "DIGI", "DMF", "DSM", "DSYM", "DTM", "C67", "FMT", "IMF", "ICE", "J2B", "M15", "MMS", "MT2", "MUS",
        "NST", "PLM", "PSM", "PT36", "PTM", "SFX", "SFX2", "ST26", "STK", "STX", "STP", "SYMMOD", "WOW", "GDM",
        "MO3", "OXM", "UMX", "XPK", "MMCMP"},
       "OPENMPT", kKindSound, FilterOrMixPlay, []() -> std::unique_ptr<MediaFile> { return std::make_unique<OPENMPT>(); }, nullptr},
      {{"VQF"}, "VQF", kKindSound, FilterOrMixPlay, []() -> std::unique_ptr<MediaFile> { return std::make_unique<VQF>(); }, nullptr},
      {{"SPC", "SP1", "SP2", "SP3", "SP4", "SP5", "SP6", "SP7", "SP8", "SP9"},
       "SNESAPU", kKindSound, FilterOrMixPlay, []() -> std::unique_ptr<MediaFile> { return std::make_unique<SNESAPU>(); }, nullptr},
      {{"MIO"}, "MIO", kKindSound, FilterOrMixPlay, []() -> std::unique_ptr<MediaFile> { return std::make_unique<MIO>(); }, nullptr},
      {{"FLAC"}, "FLAC", kKindSound, FilterOrMixPlay, []() -> std::unique_ptr<MediaFile> { return std::make_unique<FLAC>(); }, nullptr},
      {{"WAV", "MP3", "AU", "MID", "MIDI", "RMI", "WMA", "CDA", "AIF"},
       "MCISOUND", kKindSound, FilterOrMixPlay, []() -> std::unique_ptr<MediaFile> { return std::make_unique<MCISOUND>(); }, nullptr, true},
      {{"MPG", "MPE", "MPEG", "AVI", "MOV", "OGM", "RM", "RA", "RAM", "WMV"},
       "DIRECTSHOW", kKindVideo, FilterOrMixPlay, []() -> std::unique_ptr<MediaFile> { return std::make_unique<DIRECTSHOW>(); },
       []() -> std::unique_ptr<MediaFile> { return std::make_unique<MCIVIDEO>(); }, true},
      {{"LZH", "LHA", "ZIP", "RAR", "GCA", "TAR", "GZ", "BZ2", "YZ1", "ACE", "EXE", "REZ", "CAB"},
       "ARCHIVE", kKindArchive, FilterOnly, []() -> std::unique_ptr<MediaFile> { return std::make_unique<ARCHIVE>(); }, nullptr},
      {{"HTM", "HTML", "PDF", "SWF"}, "HTML", kKindDocument, FilterOnly, []() -> std::unique_ptr<MediaFile> { return std::make_unique<HTML>(); }, nullptr},
      {{}, "IMAGE", kKindImage, FilterOrMixPlay, []() -> std::unique_ptr<MediaFile> { return std::make_unique<IMAGE>(); }, nullptr},
  }};
  return groups;
}

std::string PathExtension(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  return std::string(name.substr(dot + 1));
}

std::string SniffExtension(std::string_view firstBytes, const std::string& extension) {
  // Compared as text: a zero byte ends it, so a signature never matches across one.
  std::string_view text = firstBytes.substr(0, kSniffBytes);
  text = text.substr(0, text.find('\0'));
  for (const Signature& signature : kSignatures) {
    if (text.size() < signature.bytes.size()) continue;
    const std::string_view head = text.substr(0, signature.bytes.size());
    const bool match = signature.exactCase ? head == signature.bytes : EqualsIgnoreCase(head, signature.bytes);
    if (match) return signature.extension != nullptr ? std::string(signature.extension) : extension;
  }
  return extension;
}

int LoadMedia(WindowHandle owner, std::string& path, int kindFilter) {
  path = LongForm(path);
  Log("LoadMedia", 0);
  Log(path, kindFilter);

  std::string extension(CutUtf8(PathExtension(path), kExtensionField - 1));
  std::string firstBytes;
  if (ReadFirstBytes(path, firstBytes)) {
    extension = SniffExtension(firstBytes, extension);
  } else {
    Log("ヘッダ調査に失敗", 0);
  }
  // A folder is a folder whatever its name ("Album.2001"); a file without an
  // extension ("README", "Makefile") is a file like any other.
  const bool folder = IsFolder(path);
  if (folder) extension.clear();
  UpperCasePrefix(extension, kUpperCasedPrefix);
  Log(extension, 0);

  if (Player().media) {
    Player().media.reset();
    Log("delete MediaFile", 0);
  }

  if (path.empty()) return ShowError(owner, kResultFileNotFound, "");
  if (folder) return ExpandList(owner, path, kListFolder);
  // A missing name without an extension may have been meant as a folder.
  if (extension.empty() && !Exists(path)) return ShowError(owner, kResultFileNotFound, "");
  if (extension == "LST") return ExpandList(owner, path, kListPlaylist);

  bool anyTookPart = false;
  bool deviceFailed = false;  // a class could not open the sound device
  int lastCode = kResultUnsupported;
  std::string detail;
  for (const ClassGroup& group : ClassGroups()) {
    if (!TakesPart(group, kindFilter, extension)) continue;
    const MediaCreator create = CreatorOf(group);
    if (create == nullptr) continue;
    std::unique_ptr<MediaFile> object = create();
    if (!object) continue;
    anyTookPart = true;

    Player().media = std::move(object);
    const int result = Player().media->Open(path, extension, owner);
    if (result == kResultSuccess || result == kResultNothingToPlay) {
      if (group.logsOutcome) Log("RETURN", result);
      return result;
    }
    if (group.logsOutcome) Log("ERR", result);
    // A sound device that cannot be opened fails the file in every class
    // that plays through it; what a later class (the image class, which
    // takes every file) makes of the bytes would hide the cause. The walk
    // goes on, for a later class may still play the file, but the failure
    // shown is the device's.
    if (!deviceFailed) {
      lastCode = result;
      MediaInfo info;
      Player().media->GetInfo(info);
      detail.assign(info.Codec, strnlen(info.Codec, sizeof info.Codec));
    }
    deviceFailed = deviceFailed || result == kResultDeviceInUse;
    Player().media.reset();
  }
  // With no class to ask, the factory itself tells a missing file apart.
  if (!anyTookPart) lastCode = Exists(path) ? kResultUnsupported : kResultFileNotFound;
  return ShowError(owner, lastCode, detail);
}

}  // namespace qorve
