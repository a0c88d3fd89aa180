#pragma once
// Every text of the resampler that a user may see.

// Suffixes of a progress message after the caller's caption, by stage.
inline constexpr const char* SResizeStarting = " 処理開始";
inline constexpr const char* SResizeRunning = " 処理中";
inline constexpr const char* SResizeEnding = " 処理完了";

// Bilinear sampling of a source without pixels.
inline constexpr const char* SEmptySourceImage = "空の画像からは画素を読めません";
