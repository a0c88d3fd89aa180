#include "resample/progress.h"

#include <utility>

#include "resample/messages.h"

namespace {

// The one pump of the process; the window installs it once at start-up.
TMessagePump& Pump() {
  static TMessagePump pump;
  return pump;
}

const char* StageSuffix(TProgressStage stage) {
  switch (stage) {
    case psStarting: return SResizeStarting;
    case psRunning: return SResizeRunning;
    case psEnding: return SResizeEnding;
  }
  return "";
}

}  // namespace

ResizeProgressInfo MakeResizeProgressInfo(const void* Sender, const std::string& Caption, TProgressEvent OnProgress) {
  return ResizeProgressInfo{std::move(OnProgress), Sender, Caption};
}

void SendResizeProgress(const void* Sender, TProgressStage Stage, std::uint8_t PercentDone,
                        const TProgressEvent& OnProgress, const std::string& Caption) {
  if (!OnProgress) return;
  const std::string Msg = Caption + StageSuffix(Stage);
  OnProgress(Sender, Stage, PercentDone, /*RedrawNow=*/false, TRect{0, 0, 0, 0}, Msg);
  // Copied so that a pump which replaces itself while it runs stays alive until it returns.
  if (const TMessagePump pump = Pump()) pump();
}

void ReportResizeProgress(const ResizeProgressInfo& Info, std::int32_t Percent) {
  SendResizeProgress(Info.Sender, psRunning, static_cast<std::uint8_t>(Percent & 0xFF), Info.OnProgress, Info.Caption);
}

TMessagePump SetMessagePump(TMessagePump pump) { return std::exchange(Pump(), std::move(pump)); }
