#pragma once
// What the user is told when libjpeg refuses a file: a sentence for the refusals people meet (a
// 12-bit or lossless file, a file that is no JPEG, an empty one), and SJPEGError with libjpeg's
// message number for the rest.
#include <string>

std::string JPEGRefusalText(int messageCode);
