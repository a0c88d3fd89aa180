// Reads a program file's product name and version the way the About box does, so that a test can
// check the version table of a program that is not running (an installed or unpacked one).
#include <exception>
#include <iostream>

#include "toolkit/version_info.h"

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::cerr << "usage: version_lookup PROGRAM-FILE\n";
    return 2;
  }
  try {
    std::cout << ReadVersionString(argv[1], VersionProductName) << '\n'
              << ReadVersionString(argv[1], VersionProductVersion) << '\n';
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return 1;
  }
  return 0;
}
