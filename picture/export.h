#pragma once
// The export and copy commands once their file name is known: each takes a fresh final rendering,
// turns it into what its file or the clipboard receives, and releases every image it made on every
// path, also when a step fails.
#include <functional>
#include <memory>
#include <string>

#include "picture/png/RFLPNG.h"
#include "toolkit/bitmap.h"
#include "toolkit/clipboard.h"
#include "toolkit/safe_file.h"
#include "toolkit/stream.h"

// Runs the final rendering and returns a new 32-bit copy of it, owned by the caller. The window
// passes its TakeRendering with WithAlpha true, which also shows the final rendering.
using TRenderingSource = std::function<std::unique_ptr<TBitmap>()>;

// The PNG picture that the PNG export saves: the rendering with its alpha. `clock` answers the time
// that tIME carries when the picture is saved.
std::unique_ptr<TRFLPNG> RenderingPNG(TBitmap rendering, TUtcClock clock = CurrentUtcTime);

// The files the exports write, from the 32-bit final rendering.
enum class TExportFormat {
  BMP24,  // over black, no alpha
  BMP32,  // the fourth bytes carry alpha
  PNG,    // with alpha
};

// Writes the file of `format` to `stream`: the bytes that the window's export of that format writes
// (a PNG's tIME from `clock`).
void WriteRendering(const TBitmap& rendering, TExportFormat format, TStream& stream,
                    const TUtcClock& clock = CurrentUtcTime);
// WriteRendering's PNG of `rendering`, byte for byte, for a rendering whose rows are made while
// the file is written: awaitRow(y) returns once row y is final (it is called for each row, in
// order, before the row is read; what it raises stops the writing).
void WriteRenderingPNGAsRowsArrive(const TBitmap& rendering, const std::function<void(int row)>& awaitRow,
                                   TStream& stream, const TUtcClock& clock = CurrentUtcTime);
// The same as a file, written whole or not at all (WriteFileSafely).
void SaveRendering(const TBitmap& rendering, TExportFormat format, const std::string& fileName,
                   const TUtcClock& clock = CurrentUtcTime, TExistingFile existing = TExistingFile::Replace);

// A 24-bit BMP of the rendering over black. The clipboard is not touched.
void ExportBMP24(const TRenderingSource& takeRendering, const std::string& fileName);
// A 32-bit BMP whose fourth bytes carry the rendering's alpha. The clipboard is not touched.
void ExportBMP32(const TRenderingSource& takeRendering, const std::string& fileName);
// A PNG with the rendering's alpha; then the 32-bit rendering, as stored, replaces the clipboard.
// When the clipboard cannot be used, the file has already been written.
void ExportPNG(const TRenderingSource& takeRendering, const std::string& fileName, TClipboard& clipboard);
// The rendering over black, as a 24-bit bitmap, replaces the clipboard.
void CopyToClipboard(const TRenderingSource& takeRendering, TClipboard& clipboard);
