#include "automation/process.h"

namespace cfg {

std::vector<std::string> splitCommandLine(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;  // "" is an empty argument
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

bool ChildProcess::wordsToStart(std::string_view commandLine, std::vector<std::string>& words,
                                std::string* error) const {
  if (pid_ > 0) {
    if (error) *error = "un programma e` gia` in esecuzione";
    return false;
  }
  words = splitCommandLine(commandLine);
  if (words.empty() || words[0].empty()) {
    if (error) *error = "riga di comando vuota";
    return false;
  }
  return true;
}

}  // namespace cfg
