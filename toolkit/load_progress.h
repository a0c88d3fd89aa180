#pragma once
// How far a picture's decoding has come, for a front end that shows it while a large picture loads
// (the web page, whose engine decodes in a worker). A reporter is set for the current thread by a
// scope around the load; without one, reporting costs a check of a pointer. The decoders report
// whole percentages, each once, rising.

// Called with the percentage done (0 to 100) and the context given to the scope.
using TLoadProgressReporter = void (*)(void* Context, int Percent);

// Sets the current thread's reporter for its lifetime (the previous one comes back after it).
class TLoadProgressScope {
 public:
  TLoadProgressScope(TLoadProgressReporter Reporter, void* Context);
  ~TLoadProgressScope();
  TLoadProgressScope(const TLoadProgressScope&) = delete;
  TLoadProgressScope& operator=(const TLoadProgressScope&) = delete;

 private:
  TLoadProgressReporter previous_;
  void* previousContext_;
  int previousPercent_;
};

// Whether the current thread has a reporter: a decoder may skip working out its progress if not.
bool LoadProgressWanted();
// Reports `Done` of `Total` (as a whole percentage, only when it rose) to the thread's reporter.
void ReportLoadProgress(double Done, double Total);
