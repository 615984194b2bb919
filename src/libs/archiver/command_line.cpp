#include "command_line.h"

#include <cctype>

namespace qorve::archiver {
namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

struct Word {
  std::string text;
  bool quoted = false;  // a quoted word is never a switch ("-name" is a file)
};

std::vector<Word> SplitWords(std::string_view line) {
  std::vector<Word> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    Word word;
    bool inQuotes = false;
    while (i < line.size() && (inQuotes || !IsBlank(line[i]))) {
      if (line[i] == '"') {
        inQuotes = !inQuotes;
        word.quoted = true;
      } else {
        word.text.push_back(line[i]);
      }
      ++i;
    }
    words.push_back(std::move(word));
  }
  return words;
}

bool EndsInSeparator(std::string_view text) {
  return !text.empty() && (text.back() == '/' || text.back() == '\\');
}

std::string WithoutTrailingSeparators(std::string text) {
  while (text.size() > 1 && EndsInSeparator(text)) text.pop_back();
  if (text == "\\") text = "/";
  return text;
}

bool MatchFrom(std::string_view name, std::string_view pattern) {
  // Iterative glob with one backtracking point (the last "*").
  std::size_t n = 0;
  std::size_t p = 0;
  std::size_t starPattern = std::string_view::npos;
  std::size_t starName = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(name[n]))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starPattern = p++;
      starName = n;
    } else if (starPattern != std::string_view::npos) {
      p = starPattern + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

bool ArchiverCommand::HasSwitch(std::string_view name) const {
  for (const std::string& s : switches) {
    if (EqualNoCase(s, name)) return true;
  }
  return false;
}

ArchiverCommand ParseArchiverCommand(std::string_view line) {
  ArchiverCommand result;
  std::vector<Word> words = SplitWords(line);
  std::size_t first = 0;
  if (!words.empty() && !words[0].quoted) {
    std::string_view head = words[0].text;
    if (head.size() == 2 && head[0] == '-') head.remove_prefix(1);
    if (head.size() == 1 && std::isalpha(static_cast<unsigned char>(head[0]))) {
      result.command = std::string(1, Lower(head[0]));
      first = 1;
    }
  }
  int operands = 0;
  for (std::size_t i = first; i < words.size(); ++i) {
    Word& word = words[i];
    if (!word.quoted && word.text.size() > 1 && word.text[0] == '-') {
      result.switches.push_back(std::move(word.text));
      continue;
    }
    if (word.text.empty()) continue;
    if (operands == 0) {
      result.archive = std::move(word.text);
    } else if (operands == 1 && EndsInSeparator(word.text)) {
      result.destination = WithoutTrailingSeparators(std::move(word.text));
    } else {
      result.patterns.push_back(std::move(word.text));
    }
    ++operands;
  }
  return result;
}

bool MatchesPattern(std::string_view name, std::string_view pattern) {
  if (pattern == "*" || pattern == "*.*") return true;
  return MatchFrom(name, pattern);
}

}  // namespace qorve::archiver
