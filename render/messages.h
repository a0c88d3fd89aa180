#pragma once
// Every text of the renderer that a user may see; its size errors are the toolkit's.

// The enlarged final rendering could not be shrunk back to the output size (memory ran out while
// the average was computed). The window's picture stays the preview it showed.
inline constexpr const char* SFinalShrinkFailed =
    "最終レンダリングを出力の大きさに縮小できません";
