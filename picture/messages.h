#pragma once
// Every text of the picture files and the export that a user may see. The errors of the readers
// and writers are the toolkit's (toolkit/messages.h).

// The text shown for a file whose extension selects no reader: SUnsupportedPictureKinds, the file
// name without its folder, then SUnsupportedPictureEnd. "\r" breaks the line in the message box.
inline constexpr const char* SUnsupportedPictureKinds = "読み込めるのはBMP、JPEG、PNG、WebP、HEIC、AVIFファイルです。\r";
inline constexpr const char* SUnsupportedPictureEnd = " は読み込めません。";

// Errors of the readers that decoding libraries serve, each followed by ": " and the library's own
// words where they say more. A file that breaks its format's rules is damaged; a valid file that
// holds nothing the program can show (no primary picture, an unknown codec) is not supported.
inline constexpr const char* SPngDamaged = "PNG ファイルが壊れています";
inline constexpr const char* SWebPDamaged = "WebP ファイルが壊れています";
inline constexpr const char* SHeifDamaged = "HEIF ファイルが壊れています";
inline constexpr const char* SPictureNotSupported = "この画像には対応していません";
