#pragma once
// Small text helpers: ASCII letter case, and splitting a file name at its last '/'.
#include <string>
#include <string_view>

// 'A' to 'Z' become 'a' to 'z'; every other byte (also those of UTF-8 sequences) stays.
char LowerAscii(char c);
std::string LowerAscii(std::string_view text);

// A file name split after its last '/': the folder keeps its slash and is empty when there is none,
// so that Folder + Name gives the file name back.
struct TFileNameParts {
  std::string Folder;
  std::string Name;
};
TFileNameParts SplitFileName(const std::string& fileName);
