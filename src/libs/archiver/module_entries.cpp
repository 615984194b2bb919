#include "module_entries.h"

#include "archiver_api.h"
#include "command_line.h"

#include <cstring>
#include <locale.h>
#include <string>

namespace qorve::archiver {
namespace {

// libarchive converts names between the archive's character set and the
// thread's locale; a UTF-8 locale for the call makes that conversion an exact
// one whatever locale the host program runs in. Names without a character set
// arrive as their raw bytes and are decoded by MemberNameToUtf8.
class Utf8LocaleForCall {
 public:
  Utf8LocaleForCall() {
    locale_ = newlocale(LC_ALL_MASK, "C.UTF-8", nullptr);
    if (locale_ != nullptr) previous_ = uselocale(locale_);
  }
  ~Utf8LocaleForCall() {
    if (locale_ == nullptr) return;
    uselocale(previous_);
    freelocale(locale_);
  }
  Utf8LocaleForCall(const Utf8LocaleForCall&) = delete;
  Utf8LocaleForCall& operator=(const Utf8LocaleForCall&) = delete;

 private:
  locale_t locale_ = nullptr;
  locale_t previous_ = nullptr;
};

void Report(char* output, uint32_t size, const std::string& text) {
  if (output == nullptr || size == 0) return;
  const std::size_t length = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(output, text.data(), length);
  output[length] = '\0';
}

// "l": the listing in one line, decoding only what no header tells.
int ListCommand(ArchiveFamily family, const ArchiverCommand& command, char* output, uint32_t outputSize) {
  const ArchiveListing listing = ListArchive(family, command.archive, ListingDepth::Sizes);
  if (!listing.opened) {
    Report(output, outputSize, "cannot read archive");
    return kCommandCannotRead;
  }
  std::string text = "format=" + listing.format + " members=" + std::to_string(listing.members) +
                     " bytes=" + std::to_string(listing.bytes);
  if (!listing.problem.empty()) text += ": " + listing.problem;
  Report(output, outputSize, text);
  if (listing.overLimit) return kCommandLimitExceeded;
  return listing.complete ? kCommandOk : kCommandCannotRead;
}

}  // namespace

int CheckArchiveEntry(ArchiveFamily family, const char* path, int /*mode*/) {
  if (path == nullptr) return 0;
  Utf8LocaleForCall locale;
  return ArchiveIsReadable(family, path) ? 1 : 0;
}

int RunCommandEntry(ArchiveFamily family, const char* commandLine, char* output, uint32_t outputSize) {
  Utf8LocaleForCall locale;
  const ArchiverCommand command = ParseArchiverCommand(commandLine != nullptr ? commandLine : "");
  if (!command.archive.empty() && command.command == "l") return ListCommand(family, command, output, outputSize);
  if (command.archive.empty() || (command.command != "x" && command.command != "e")) {
    Report(output, outputSize, "bad command line");
    return kCommandBadCommandLine;
  }
  ExtractRequest request;
  request.archive = command.archive;
  request.destination = command.destination;
  request.patterns = command.patterns;
  request.keepFolders = command.command == "x"
                            ? !command.HasSwitch("-j")
                            : command.HasSwitch("-d") || command.HasSwitch("-x") || command.HasSwitch("-x1");
  const ExtractReport report = ExtractArchive(family, request);

  if (!report.archiveOpened) {
    Report(output, outputSize, "cannot read archive");
    return kCommandCannotRead;
  }
  if (report.overLimit) {
    Report(output, outputSize, "refused: " + report.firstProblem);
    return kCommandLimitExceeded;
  }
  if (!report.destinationOk) {
    Report(output, outputSize, "cannot write destination");
    return kCommandCannotWrite;
  }
  std::string text = std::to_string(report.written) + " written, " + std::to_string(report.refused) + " refused, " +
                     std::to_string(report.failed) + " failed";
  if (!report.firstProblem.empty()) text += ": " + report.firstProblem;
  Report(output, outputSize, text);
  if (!report.archiveRead) return kCommandCannotRead;
  if (report.failed > 0) return kCommandCannotWrite;
  if (report.refused > 0) return kCommandSomeRefused;
  return kCommandOk;
}

}  // namespace qorve::archiver
