// rufuremina-batch: the window's final rendering for any number of pictures, from the command line.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "batch/interrupts.h"
#include "batch/memory_budget.h"
#include "batch/options.h"
#include "batch/plan.h"
#include "batch/render_picture.h"
#include "batch/report.h"
#include "toolkit/errors.h"
#include "toolkit/safe_file.h"
#include "toolkit/worker_pool.h"

namespace {

// The text of whatever one picture raised.
std::string MessageOf(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const Exception& e) {
    return e.Message();
  } catch (const std::bad_alloc&) {
    return "out of memory";
  } catch (const std::exception& e) {
    return e.what();
  }
}

// What the signal thread needs of a run under way.
struct TRunningBatch {
  std::atomic<bool> Stopping = false;
  std::atomic<TBatchReport*> Report = nullptr;
};

TRunningBatch& RunningBatch() {
  static TRunningBatch running;
  return running;
}

// A signal stops the run: no picture is started any more, the writes in progress are abandoned (their
// temporary files removed; every finished file is whole), and the summary counts what was written.
void StopRun(int signal) {
  TRunningBatch& running = RunningBatch();
  running.Stopping = true;
  AbandonWrites();
  if (TBatchReport* report = running.Report.load()) report->Interrupted(signal);
}

// Every picture, each on its own, --jobs of them at once on the shared pool (whose threads also
// render the bands of each final rendering). A picture's failure is caught and reported right there,
// so it never stops the others.
void RenderAll(const TBatchPlan& plan, const TBatchOptions& options, const TUtcClock& clock, TBatchReport& report) {
  SetSharedWorkerPoolSize(options.Jobs);
  TMemoryBudget budget(options.MemoryBudget);
  const TExistingOutput existing = options.Overwrite              ? TExistingOutput::Replace
                                   : options.OutputFile.empty() ? TExistingOutput::Keep
                                                                : TExistingOutput::Fail;
  SharedWorkerPool().ParallelFor(plan.Pictures.size(), [&](std::size_t i) {
    if (RunningBatch().Stopping) return;
    const TBatchPicture& picture = plan.Pictures[i];
    report.Started(picture.Input);
    try {
      // Counted when the file takes its name, so that a summary printed on a signal is exact.
      if (RenderBatchPicture(picture, options.Settings, clock, existing, budget, [&] { report.Written(); }) ==
          TPictureOutcome::Kept)
        report.Kept(picture.Input, picture.Output);
    } catch (...) {
      report.Failed(picture.Input, MessageOf(std::current_exception()), {picture.Output});
    }
  });
}

int Run(const TBatchOptions& options) {
  TBatchPlan plan;
  TUtcClock clock;
  try {
    clock = PngClock(std::getenv("SOURCE_DATE_EPOCH"));
    plan = PlanBatch(options);
  } catch (const EBatchUsage& e) {
    PrintUsageError(stderr, e.what(), options.Inputs);
    return ExitUsage;
  }

  // Never destroyed: the signal thread may still use it while the process ends.
  TBatchReport& report = *new TBatchReport(stderr, plan.Pictures.size() + plan.Failures.size(),
                                           !options.Quiet && ::isatty(2) == 1, !options.Quiet);
  RunningBatch().Report = &report;
  report.Skipped(plan.Skipped);
  // An empty folder, or one of files that are all skipped, is no success for a script that asked
  // for pictures. Judged on what the inputs hold, not on the part of it this run renders.
  if (plan.Found == 0) report.NoPictureFound();
  for (const TBatchFailure& failure : plan.Failures) report.Failed(failure.Input, failure.Message);
  RenderAll(plan, options, clock, report);
  return report.Finish() ? ExitAllWritten : ExitSomeFailed;
}

}  // namespace

int main(int argc, char* argv[]) {
  HandleInterrupts(StopRun);
  try {
    const TParsedCommandLine parsed = ParseBatchCommandLine(argc, argv, stdout, stderr);
    if (!parsed.Options) return parsed.ExitStatus;
    return Run(*parsed.Options);
  } catch (...) {
    std::fprintf(stderr, "%s: %s\n", BatchProgramName, MessageOf(std::current_exception()).c_str());
    return ExitSomeFailed;
  }
}
