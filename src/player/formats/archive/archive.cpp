#include "player/formats/archive/archive.h"

#include "common/log.h"
#include "libs/archiver/archiver_api.h"
#include "platform/system/folders.h"
#include "platform/system/shared_module.h"
#include "platform/system/text.h"
#include "player/formats/archive/rez_joiner.h"

#include <array>
#include <atomic>
#include <charconv>
#include <cstring>
#include <optional>
#include <string_view>
#include <system_error>

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

// Lists the archive without writing anything (probing).
constexpr std::string_view kListLine = R"(l "%s")";

constexpr std::size_t kOutputSize = 256;

std::atomic<bool> probing{false};

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

// The value after "key=" in a module's listing report, if it is a number.
std::optional<uint64_t> ListedNumber(std::string_view report, std::string_view key) {
  const std::size_t at = report.find(key);
  if (at == std::string_view::npos) return std::nullopt;
  const char* begin = report.data() + at + key.size();
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(begin, report.data() + report.size(), value);
  if (error != std::errc() || end == begin) return std::nullopt;
  return value;
}

void ReadListing(std::string_view report, ArchiveProbe& probe) {
  if (report.starts_with("format=")) {
    const std::string_view rest = report.substr(7);
    probe.format = std::string(rest.substr(0, rest.find(' ')));
  }
  probe.members = ListedNumber(report, " members=").value_or(0);
  probe.unpackedBytes = ListedNumber(report, " bytes=").value_or(0);
}

struct ArchiverOutcome {
  int result;
  bool accepted;  // the module's check took the file
};

// One module's check and command. While probing the command only lists the
// archive into `probe`.
ArchiverOutcome RunArchiver(const Archiver& archiver, const std::string& path, const std::string& desktop,
                            const std::string& title, ArchiveProbe* probe) {
  SharedModule module;
  if (!module.Load(archiver.module)) return {kResultLibraryNotFound, false};
  const auto command = module.EntryAs<archiver::CommandEntry>(archiver.commandEntry);
  const auto check = module.EntryAs<archiver::CheckEntry>(archiver.checkEntry);
  if (command == nullptr || check == nullptr) return {kResultLibraryNotFound, false};
  if (check(path.c_str(), archiver.checkMode) == 0) return {kResultBrokenFile, false};
  const std::string line = probe != nullptr ? FormatCommandLine(kListLine, {path, "", ""})
                                            : FormatCommandLine(archiver.commandLine, {path, desktop, title});
  std::array<char, kOutputSize> output{};
  const int status = command(nullptr, line.c_str(), output.data(), static_cast<uint32_t>(output.size()));
  const std::string report(output.data(), strnlen(output.data(), output.size()));
  // An archive past the bounds (a bomb, or more than the free space), or one
  // whose data turns out broken, is a file the module cannot handle.
  if (status == archiver::kCommandLimitExceeded || status == archiver::kCommandCannotRead) {
    Log(std::string("書庫を展開できません ") + archiver.module + ": " + report, status);
    return {kResultBrokenFile, true};
  }
  if (probe != nullptr) ReadListing(report, *probe);
  return {kResultNothingToPlay, true};
}

// YZ1 is served by YZ1 when it is there, else by UNYZ1.
ArchiverOutcome RunYz1(const std::string& path, const std::string& desktop, const std::string& title,
                       ArchiveProbe* probe) {
  const ArchiverOutcome outcome = RunArchiver(kYz1, path, desktop, title, probe);
  if (outcome.result != kResultLibraryNotFound) return outcome;
  return RunArchiver(kUnyz1, path, desktop, title, probe);
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

// What joining the split file would do, found by reading only: the control
// file's names and the parts' sizes. The codes are the joiner's.
int ProbeSplitFile(const std::string& controlPath, ArchiveProbe& probe, std::string& missingPart) {
  RezPlan plan;
  const int result = PlanSplitFile(controlPath, plan, missingPart);
  if (!plan.controlRead) return result;
  probe.format = "REZ";
  probe.output = TextToUtf8(plan.control.outputName);
  for (const std::string& name : plan.control.partNames) probe.parts.push_back(TextToUtf8(name));
  probe.members = plan.control.partNames.size();
  probe.unpackedBytes = plan.joinedBytes;
  return result;
}

}  // namespace

ARCHIVE::ARCHIVE() {
  Log("ARCHIVE コンストラクタ", 0);
  info_.Kind = kKindArchive;
}

ARCHIVE::~ARCHIVE() { Log("ARCHIVE デストラクタ", 0); }

void ARCHIVE::SetProbing(bool on) { probing.store(on); }

int ARCHIVE::Open(const std::string& path, const std::string& extension, WindowHandle /*owner*/) {
  probe_ = ArchiveProbe();
  const bool probe = probing.load();
  if (EqualsIgnoreCase(extension, "REZ")) {
    std::string missingPart;
    const int result = probe ? ProbeSplitFile(path, probe_, missingPart) : JoinSplitFile(path, missingPart);
    if (!missingPart.empty()) SetInfoText(info_.Codec, missingPart);
    if (probe) SetInfoText(info_.Format, probe_.format);
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

  ArchiveProbe* listing = probe ? &probe_ : nullptr;
  int result = kResultUnsupportedArchive;
  if (isYz1) {
    result = RunYz1(path, desktop, title, listing).result;
  } else if (!isExe) {
    result = RunArchiver(*archiver, path, desktop, title, listing).result;
  } else {
    // A self-extracting archive: every module in turn until one takes it. One
    // that takes it but stops (too large, broken) answers for the file.
    for (const Archiver* candidate : {&kUnlha, &kUnzip, &kCab, &kUnrar, &kUngca, &kYz1, &kTar}) {
      const ArchiverOutcome outcome = candidate == &kYz1 ? RunYz1(path, desktop, title, listing)
                                                         : RunArchiver(*candidate, path, desktop, title, listing);
      if (outcome.accepted) {
        result = outcome.result;
        break;
      }
    }
  }
  if (probe && result == kResultNothingToPlay) SetInfoText(info_.Format, probe_.format);
  return result;
}

}  // namespace qorve
