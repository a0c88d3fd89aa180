#include "toolkit/strings.h"

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = LowerAscii(c);
  return lower;
}

TFileNameParts SplitFileName(const std::string& fileName) {
  const std::size_t slash = fileName.find_last_of('/');
  if (slash == std::string::npos) return {{}, fileName};
  return {fileName.substr(0, slash + 1), fileName.substr(slash + 1)};
}
