#pragma once
// Every text of the PNG library that a user may see. Its error messages are English.

// An IDAT size outside 256..100000 (two blanks before "max").
inline constexpr const char* SIdatSizeError = "Write PNG Param: Err IDAT Size(min:256  max:100000)";
// Any failure of the encoding itself: an empty image, a row or the end of the compressed stream
// that could not be written.
inline constexpr const char* SWriteImageError = "Write Image (PNG): Write Error";

// The picture format as the picture registry, and so the save dialog's filter, names it.
inline constexpr const char* SPNGExtension = "PNG";
inline constexpr const char* SPNGFormat = "PNG Format";
