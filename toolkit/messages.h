#pragma once
// Every text of the toolkit that a user may see: error messages, format descriptions. Other code and
// comments name these constants instead of repeating their words.

// Stream and file errors. In the file patterns "%s" is replaced by the file name.
inline constexpr const char* SReadError = "ストリームからの読み込みエラー";
inline constexpr const char* SWriteError = "ストリームへの書き込みエラー";
inline constexpr const char* SFOpenError = "ファイル %s は開けません";
inline constexpr const char* SFCreateError = "ファイル %s を作成できません";
// A name that leads to a pipe, a device or a socket: nothing there can be read as a picture.
inline constexpr const char* SFNotRegularFile = "ファイル %s は通常のファイルではありません";
// A write into the file that failed; SDiskFull follows after ": " when the disk is full.
inline constexpr const char* SFWriteError = "ファイル %s に書き込めません";
inline constexpr const char* SDiskFull = "ディスクの空き容量が足りません";
// A write that was asked to keep an existing file met one.
inline constexpr const char* SFileExists = "ファイル %s は既に存在します";

// Image errors. The size texts are followed by the size at fault in brackets where it is known.
inline constexpr const char* SInvalidBitmap = "ビットマップイメージが不正です";
inline constexpr const char* SNegativeImageSize = "画像の大きさが負です";
inline constexpr const char* SImageTooLarge = "画像が大きすぎます";
// "%s" is replaced by the row number.
inline constexpr const char* SRowOutOfRange = "行番号 %s は画像の範囲外です";
inline constexpr const char* SCannotConvertPixelFormat = "この画素形式への変換はできません";
inline constexpr const char* SCannotDrawOnPixelFormat = "この画素形式の画像には描画できません";
inline constexpr const char* SAlphaImageRequired = "アルファ付き 32 ビット画像が必要です";

// Arithmetic faults: a division by zero, and an operation without a defined result.
inline constexpr const char* SZeroDivide = "0 による浮動小数点数除算";
inline constexpr const char* SInvalidOp = "無効な浮動小数点演算";

// "%d" is libjpeg's message number: the text of the decoder's refusals that have no sentence below.
inline constexpr const char* SJPEGError = "JPEG エラー #%d";
// The decoder's common refusals.
inline constexpr const char* SJPEGTwelveBit = "12ビットのJPEGには対応していません";
inline constexpr const char* SJPEGUnsupportedKind = "この種類のJPEGには対応していません";
inline constexpr const char* SJPEGNotJPEG = "JPEG ファイルではありません";
inline constexpr const char* SFileEmpty = "ファイルが空です";
// A JPEG file whose scans would cost far more to decode than a picture of its size.
inline constexpr const char* SJPEGTooManyScans = "JPEG のスキャン数が多すぎます";

// "%s" is replaced by the source's class name, then by the target's.
inline constexpr const char* SAssignError = "%s を %s に代入できません";

// A worker pool asked to work with no thread at all.
inline constexpr const char* SNoWorkerThreads = "スレッド数は 1 以上にしてください";

inline constexpr const char* SCannotOpenClipboard = "クリップボードを開くことができません";

// The failure of a version lookup in a table that has no usable translation.
inline constexpr const char* SVersionInfoFailed = "情報の取得に失敗しました";

// The description of a summary filter entry that lists the patterns of several formats.
inline constexpr const char* SAllFilter = "すべてのファイル";
// Descriptions of the platform's picture formats.
inline constexpr const char* SVMetafiles = "メタファイル";
inline constexpr const char* SVEnhMetafiles = "拡張メタファイル";
inline constexpr const char* SVIcons = "アイコン";
inline constexpr const char* SVBitmaps = "ビットマップ";
inline constexpr const char* SJPEGImageFile = "JPEG イメージファイル";
