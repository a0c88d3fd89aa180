#pragma once
// What decoding a picture will cost in memory, told by its header before any pixel is decoded: the
// batch charges it to its memory budget.
#include <cstdint>

#include "picture/loading.h"
#include "toolkit/stream.h"

// The bytes that decoding the picture of `kind` at the stream's position will hold at its peak: its
// pixels at 32 bits and, for a progressive JPEG, libjpeg's buffer of every coefficient. 0 when the
// header says nothing usable (the reader then refuses the file from those same bytes). The stream is
// put back where it was.
std::uint64_t DecodingBytes(TStream& stream, TPictureKind kind);
