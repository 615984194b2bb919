#include "player/formats/archive.h"

#include "common/log.h"
#include "libs/archiver/archiver_api.h"
#include "platform/folders.h"
#include "platform/shared_module.h"
#include "platform/text.h"
#include "player/formats/rez_joiner.h"

#include <array>
#include <string_view>

namespace qorve {
namespace {

// One archiver module: the file loaded from the program folder, its two
// entries, the check mode and the command line. The command line's three %s
// are the archive's path, the desktop folder and the archive's title.
struct Archiver {
  const char* module;
  const char* commandEntry;
  const char* checkEntry;
  int checkMode;
  std::string_view commandLine;
};

constexpr Archiver kUnlha = {"UNLHA32.so", "Unlha", "UnlhaCheckArchive", 1, R"(e "%s" -d -c1 -jyc "%s/%s/" *.*)"};
constexpr Archiver kCab = {"CAB32.so", "Cab", "CabCheckArchive", 1, R"(-x "%s" "%s/%s/" )"};
constexpr Archiver kUnrar = {"UNRAR32.so", "Unrar", "UnrarCheckArchive", 1, R"(x "%s" "%s/%s/")"};
constexpr Archiver kUnzip = {"UNZIP32.so", "UnZip", "UnZipCheckArchive", 1, R"(-x "%s" "%s/%s/")"};
constexpr Archiver kUngca = {"UNGCA32.so", "UnGCA", "UnGCACheckArchive", 24, R"(e "%s" -sx1 "%s/%s/")"};
constexpr Archiver kYz1 = {"YZ1.so", "Yz1", "Yz1CheckArchive", 0, R"(x "%s" "%s/%s/" *.*)"};
constexpr Archiver kUnyz1 = {"UNYZ1.so", "UnYz1", "UnYz1CheckArchive", 0, R"(x "%s" "%s/%s/" )"};
constexpr Archiver kTar = {"TAR32.so", "Tar", "TarCheckArchive", 0, R"(x "%s" "%s/%s/" *.*)"};

constexpr std::size_t kOutputSize = 256;

// Puts the values in for the %s marks in order. The values are never read as
// a format.
std::string FormatCommandLine(std::string_view form, std::array<std::string_view, 3> values) {
  std::string line;
  std::size_t next = 0;
  for (std::size_t i = 0; i < form.size(); ++i) {
    if (form[i] == '%' && i + 1 < form.size() && form[i + 1] == 's' && next < values.size()) {
      line += values[next++];
      ++i;
    } else {
      line += form[i];
    }
  }
  return line;
}

// The title the extraction folder is named after: the file name without its
// last extension (the whole name when that would leave nothing usable).
std::string ArchiveTitle(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  std::string title = dot == std::string::npos ? name : name.substr(0, dot);
  if (title.empty() || title == "." || title == "..") title = name;
  return title;
}

int RunArchiver(const Archiver& archiver, const std::string& path, const std::string& desktop,
                const std::string& title) {
  SharedModule module;
  if (!module.Load(archiver.module)) return kResultLibraryNotFound;
  const auto command = module.EntryAs<archiver::CommandEntry>(archiver.commandEntry);
  const auto check = module.EntryAs<archiver::CheckEntry>(archiver.checkEntry);
  if (command == nullptr || check == nullptr) return kResultLibraryNotFound;
  if (check(path.c_str(), archiver.checkMode) == 0) return kResultBrokenFile;
  const std::string line = FormatCommandLine(archiver.commandLine, {path, desktop, title});
  std::array<char, kOutputSize> output{};
  command(nullptr, line.c_str(), output.data(), static_cast<uint32_t>(output.size()));
  return kResultNothingToPlay;
}

// YZ1 is served by YZ1 when it is there, else by UNYZ1.
int RunYz1(const std::string& path, const std::string& desktop, const std::string& title) {
  const int result = RunArchiver(kYz1, path, desktop, title);
  if (result != kResultLibraryNotFound) return result;
  return RunArchiver(kUnyz1, path, desktop, title);
}

const Archiver* ArchiverFor(const std::string& extension) {
  struct ByExtension {
    std::string_view extension;
    const Archiver* archiver;
  };
  static constexpr ByExtension kTable[] = {
      {"LZH", &kUnlha}, {"LHA", &kUnlha}, {"CAB", &kCab}, {"RAR", &kUnrar}, {"ZIP", &kUnzip},
      {"GCA", &kUngca}, {"TAR", &kTar},   {"GZ", &kTar},  {"BZ2", &kTar},
  };
  for (const ByExtension& entry : kTable) {
    if (EqualsIgnoreCase(entry.extension, extension)) return entry.archiver;
  }
  return nullptr;
}

}  // namespace

ARCHIVE::ARCHIVE() {
  Log("ARCHIVE コンストラクタ", 0);
  info_.Kind = kKindArchive;
}

ARCHIVE::~ARCHIVE() { Log("ARCHIVE デストラクタ", 0); }

int ARCHIVE::Open(const std::string& path, const std::string& extension, WindowHandle /*owner*/) {
  if (EqualsIgnoreCase(extension, "REZ")) {
    std::string missingPart;
    const int result = JoinSplitFile(path, missingPart);
    if (!missingPart.empty()) SetInfoText(info_.Codec, missingPart);
    return result;
  }

  const bool isExe = EqualsIgnoreCase(extension, "EXE");
  const bool isYz1 = EqualsIgnoreCase(extension, "YZ1");
  const Archiver* archiver = ArchiverFor(extension);
  if (!isExe && !isYz1 && archiver == nullptr) return kResultUnsupported;

  std::string desktop;
  if (SpecialFolderPath(nullptr, kFolderDesktop, desktop) == 0) return kResultUnknownError;
  const std::string title = ArchiveTitle(path);
  // The command line quotes its paths; a double quote inside one would end the
  // quote early and let the rest be read as switches.
  for (const std::string_view text : {std::string_view(path), std::string_view(desktop), std::string_view(title)}) {
    if (text.find('"') != std::string_view::npos) return kResultUnsupported;
  }

  if (isYz1) return RunYz1(path, desktop, title);
  if (!isExe) return RunArchiver(*archiver, path, desktop, title);

  // A self-extracting archive: every module in turn until one unpacks it.
  for (const Archiver* candidate : {&kUnlha, &kUnzip, &kCab, &kUnrar, &kUngca}) {
    if (RunArchiver(*candidate, path, desktop, title) == kResultNothingToPlay) return kResultNothingToPlay;
  }
  if (RunYz1(path, desktop, title) == kResultNothingToPlay) return kResultNothingToPlay;
  if (RunArchiver(kTar, path, desktop, title) == kResultNothingToPlay) return kResultNothingToPlay;
  return kResultUnsupportedArchive;
}

}  // namespace qorve
