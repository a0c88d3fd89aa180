#pragma once
// Every text of the picture files and the export that a user may see. The errors of the readers
// and writers are the toolkit's (toolkit/messages.h).

// The text shown for a file whose extension selects no reader: SUnsupportedPictureKinds, the file
// name without its folder, then SUnsupportedPictureEnd. "\r" breaks the line in the message box.
inline constexpr const char* SUnsupportedPictureKinds = "読み込めるのはBMP、JPEG、PNG、WebP、HEIC、AVIFファイルです。\r";
inline constexpr const char* SUnsupportedPictureEnd = " は読み込めません。";
