#pragma once
// Progress of a long operation, as pictures report it while they are saved and the resampler while
// it resizes.
#include <cstdint>
#include <functional>
#include <string>

#include "toolkit/graphics_types.h"

// Stage of a long operation; an 8-bit value, so other values may still travel in it.
enum TProgressStage : std::uint8_t { psStarting, psRunning, psEnding };

// A progress handler: Sender is the object that reports (the image being written, or whatever the
// resampler's caller named), PercentDone runs 0..100, R is the part to redraw (always empty here)
// and Msg a text.
using TProgressEvent = std::function<void(const void* Sender, TProgressStage Stage, std::uint8_t PercentDone,
                                          bool RedrawNow, const TRect& R, const std::string& Msg)>;
