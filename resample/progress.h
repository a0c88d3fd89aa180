#pragma once
// Progress reporting of the resampler: the event a caller may attach to a resize, the record that
// carries it through the sampling modes, and the message-pump hook that keeps the window alive
// while a long resize runs.
#include <cstdint>
#include <functional>
#include <string>

#include "toolkit/progress_event.h"

// What a resize reports through. An empty OnProgress means nothing is reported.
struct ResizeProgressInfo {
  TProgressEvent OnProgress;     // the caller's handler, or empty
  const void* Sender = nullptr;  // passed through unchanged as the event's Sender
  std::string Caption;           // prefix of every progress message
};

ResizeProgressInfo MakeResizeProgressInfo(const void* Sender, const std::string& Caption, TProgressEvent OnProgress);

// Sends one message: with OnProgress empty it returns at once. Otherwise Msg is Caption followed by
// the stage's suffix (SResizeStarting, SResizeRunning, SResizeEnding; none for another value), the
// event is called with RedrawNow false and R (0, 0, 0, 0), and then the message pump runs once. The
// resampler itself only ever sends psRunning.
void SendResizeProgress(const void* Sender, TProgressStage Stage, std::uint8_t PercentDone,
                        const TProgressEvent& OnProgress, const std::string& Caption);

// SendResizeProgress of the running stage with the low 8 bits of Percent.
void ReportResizeProgress(const ResizeProgressInfo& Info, std::int32_t Percent);

// The message pump: handles the window events waiting at that moment (the window sets it to Qt's
// processEvents). Empty by default. It runs only after a progress message has been delivered, so
// a resize without an event never re-enters the window. Returns the previous pump.
using TMessagePump = std::function<void()>;
TMessagePump SetMessagePump(TMessagePump pump);
