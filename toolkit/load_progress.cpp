#include "toolkit/load_progress.h"

#include <algorithm>

namespace {

thread_local TLoadProgressReporter reporter = nullptr;
thread_local void* reporterContext = nullptr;
thread_local int lastPercent = -1;

}  // namespace

TLoadProgressScope::TLoadProgressScope(TLoadProgressReporter Reporter, void* Context)
    : previous_(reporter), previousContext_(reporterContext), previousPercent_(lastPercent) {
  reporter = Reporter;
  reporterContext = Context;
  lastPercent = -1;
}

TLoadProgressScope::~TLoadProgressScope() {
  reporter = previous_;
  reporterContext = previousContext_;
  lastPercent = previousPercent_;
}

bool LoadProgressWanted() { return reporter != nullptr; }

void ReportLoadProgress(double Done, double Total) {
  if (reporter == nullptr || !(Total > 0)) return;
  const int percent = std::clamp(static_cast<int>(Done * 100 / Total), 0, 100);
  if (percent <= lastPercent) return;
  lastPercent = percent;
  reporter(reporterContext, percent);
}
