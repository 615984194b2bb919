#include "settings/desktop/mime_database.h"

#include "platform/system/folders.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

extern char** environ;

namespace qorve {
namespace {

constexpr OwnMimeType kOwnTypes[] = {
    // The database names ".spc" a certificate; to the player it is a SNES sound image.
    {"spc", "audio/x-spc", "SPC sound image", nullptr, true},
    {"mio", "audio/x-mio", "MIO audio", nullptr, false},
    {"vqf", "audio/x-twinvq", "TwinVQ audio", nullptr, false},
    {"xm", "audio/x-xm", "FastTracker II module", nullptr, false},
    {"mod", "audio/x-mod", "Amiga module", nullptr, false},
    {"s3m", "audio/x-s3m", "Scream Tracker 3 module", nullptr, false},
    {"it", "audio/x-it", "Impulse Tracker module", nullptr, false},
    {"stm", "audio/x-stm", "Scream Tracker module", nullptr, false},
    // The database counts these among the Amiga modules.
    {"mtm", "audio/x-mod", "Amiga module", nullptr, false},
    {"669", "audio/x-mod", "Amiga module", nullptr, false},
    {"ult", "audio/x-mod", "Amiga module", nullptr, false},
    {"rmi", "audio/midi", nullptr, nullptr, false},
    {"jif", "image/jpeg", nullptr, nullptr, false},
    {"jfif", "image/jpeg", nullptr, nullptr, false},
    {"lzh", "application/x-lha", "LHA archive", nullptr, false},
    {"gca", "application/x-gca-compressed", "GCA archive", nullptr, false},
    {"yz1", "application/x-yz1", "YZ1 archive", nullptr, false},
    {"rez", "application/x-rez", "REZ split-file control file", nullptr, false},
    {"lst", "audio/x-qorve-playlist", "QORVE playlist", "text/plain", false},
};

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

const OwnMimeType* OwnTypeOf(std::string_view extension) {
  const std::string lower = Lower(extension);
  for (const OwnMimeType& own : kOwnTypes) {
    if (lower == own.extension) return &own;
  }
  return nullptr;
}

// Types of the strongest "*.ext" globs of every globs2 file, user folder first.
std::vector<std::string> DatabaseTypesOf(const std::string& lowerExtension) {
  const std::string pattern = "*." + lowerExtension;
  int bestWeight = -1;
  std::vector<std::string> best;
  for (const std::filesystem::path& folder : DataFolders()) {
    std::ifstream globs(folder / "mime" / "globs2");
    std::string line;
    while (std::getline(globs, line)) {
      if (line.empty() || line.front() == '#') continue;
      // weight:type:pattern[:flags]
      const std::size_t first = line.find(':');
      const std::size_t second = first == std::string::npos ? first : line.find(':', first + 1);
      if (second == std::string::npos) continue;
      const std::size_t third = line.find(':', second + 1);
      const std::string glob = line.substr(second + 1, third == std::string::npos ? third : third - second - 1);
      const bool caseSensitive = third != std::string::npos && line.find("cs", third) != std::string::npos;
      if (caseSensitive ? glob != pattern : Lower(glob) != pattern) continue;
      const int weight = std::atoi(line.substr(0, first).c_str());
      std::string type = line.substr(first + 1, second - first - 1);
      if (weight > bestWeight) {
        bestWeight = weight;
        best.clear();
      }
      if (weight == bestWeight && std::find(best.begin(), best.end(), type) == best.end()) {
        best.push_back(std::move(type));
      }
    }
  }
  return best;
}

std::string XmlEscaped(std::string_view text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

std::string PackageXml(const std::vector<std::string>& extensions) {
  // One element per type, all of its wanted globs inside.
  std::map<std::string, std::vector<const OwnMimeType*>> byType;
  for (const std::string& extension : extensions) {
    if (const OwnMimeType* own = OwnTypeOf(extension)) byType[own->mimeType].push_back(own);
  }
  std::ostringstream xml;
  xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
  for (const auto& [type, owns] : byType) {
    xml << "  <mime-type type=\"" << XmlEscaped(type) << "\">\n";
    const OwnMimeType& first = *owns.front();
    if (first.comment) xml << "    <comment>" << XmlEscaped(first.comment) << "</comment>\n";
    if (first.subClassOf) xml << "    <sub-class-of type=\"" << XmlEscaped(first.subClassOf) << "\"/>\n";
    for (const OwnMimeType* own : owns) {
      // Above the database's usual 50, so that an overridden meaning loses.
      xml << "    <glob pattern=\"*." << own->extension << "\"" << (own->overridesDatabase ? " weight=\"60\"" : "")
          << "/>\n";
    }
    xml << "  </mime-type>\n";
  }
  xml << "</mime-info>\n";
  return xml.str();
}

bool RunUpdateMimeDatabase(const std::filesystem::path& mimeFolder) {
  std::string program = "update-mime-database";
  std::string folder = mimeFolder.string();
  char* argv[] = {program.data(), folder.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

std::span<const OwnMimeType> OwnMimeTypes() { return kOwnTypes; }

std::vector<std::filesystem::path> DataFolders() {
  std::vector<std::filesystem::path> folders{DataHomeFolder()};
  const char* dirs = std::getenv("XDG_DATA_DIRS");
  std::string_view list = dirs && *dirs ? dirs : "/usr/local/share:/usr/share";
  while (!list.empty()) {
    const std::size_t end = list.find(':');
    const std::string_view folder = list.substr(0, end);
    if (!folder.empty() && folder.front() == '/') folders.emplace_back(folder);
    if (end == std::string_view::npos) break;
    list.remove_prefix(end + 1);
  }
  return folders;
}

std::vector<std::string> MimeTypesOfExtension(std::string_view extension) {
  if (extension.empty() || extension.find_first_of("/*?[") != std::string_view::npos) return {};
  const OwnMimeType* own = OwnTypeOf(extension);
  if (own && own->overridesDatabase) return {own->mimeType};
  std::vector<std::string> types = DatabaseTypesOf(Lower(extension));
  if (types.empty() && own) types.emplace_back(own->mimeType);
  return types;
}

bool UpdateOwnMimePackage(const std::vector<std::string>& extensions) {
  const std::filesystem::path mimeFolder = DataHomeFolder() / "mime";
  const std::filesystem::path package = mimeFolder / "packages" / "qorve.xml";
  std::error_code error;
  bool wanted = false;
  for (const std::string& extension : extensions) wanted = wanted || OwnTypeOf(extension) != nullptr;
  if (!wanted) {
    if (!std::filesystem::exists(package, error)) return true;
    std::filesystem::remove(package, error);
    if (error) return false;
    return RunUpdateMimeDatabase(mimeFolder);
  }
  const std::string xml = PackageXml(extensions);
  std::ifstream current(package, std::ios::binary);
  std::ostringstream old;
  old << current.rdbuf();
  if (current && old.str() == xml) return true;
  std::filesystem::create_directories(package.parent_path(), error);
  {
    std::ofstream out(package, std::ios::binary | std::ios::trunc);
    out << xml;
    if (!out.flush()) return false;
  }
  return RunUpdateMimeDatabase(mimeFolder);
}

}  // namespace qorve
