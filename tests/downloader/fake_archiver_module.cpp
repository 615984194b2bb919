// Stands in for an archiver module (UNLHA32.so, UNZIP32.so) in the tests: its
// command entry appends "<entry>\t<command line>\n" to $QORVE_FAKE_ARCHIVER_LOG
// and creates "<ARCHIVE STEM>.DLL" in the destination folder named by the
// second quoted word (a trailing "\" dropped), holding the entry's name.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#ifndef FAKE_ENTRY
#error FAKE_ENTRY names the command entry
#endif
#define FAKE_TEXT2(x) #x
#define FAKE_TEXT(x) FAKE_TEXT2(x)

extern "C" __attribute__((visibility("default"))) int FAKE_ENTRY(void*, const char* commandLine, char* output,
                                                                 uint32_t outputSize) {
  if (const char* log = std::getenv("QORVE_FAKE_ARCHIVER_LOG")) {
    if (std::FILE* f = std::fopen(log, "a")) {
      std::fprintf(f, "%s\t%s\n", FAKE_TEXT(FAKE_ENTRY), commandLine);
      std::fclose(f);
    }
  }
  std::vector<std::string> quoted;
  const std::string line = commandLine;
  for (std::size_t at = line.find('"'); at != std::string::npos;) {
    const std::size_t end = line.find('"', at + 1);
    if (end == std::string::npos) break;
    quoted.push_back(line.substr(at + 1, end - at - 1));
    at = line.find('"', end + 1);
  }
  if (quoted.size() >= 2) {
    std::string destination = quoted[1];
    if (!destination.empty() && destination.back() == '\\') destination.pop_back();
    std::string stem = quoted[0].substr(quoted[0].find_last_of('/') + 1);
    stem = stem.substr(0, stem.find('.'));
    for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (std::FILE* f = std::fopen((destination + "/" + stem + ".DLL").c_str(), "wb")) {
      std::fputs(FAKE_TEXT(FAKE_ENTRY), f);
      std::fclose(f);
    }
  }
  if (outputSize > 0) output[0] = '\0';
  return 0;
}
