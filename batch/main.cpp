// rufuremina-batch: the window's final rendering for any number of pictures, from the command line.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>

#include "batch/options.h"
#include "batch/plan.h"
#include "batch/render_picture.h"
#include "batch/report.h"
#include "toolkit/errors.h"
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

// Every picture, each on its own, --jobs of them at once on the shared pool (whose threads also
// render the bands of each final rendering). A picture's failure is caught and reported right there,
// so it never stops the others.
void RenderAll(const TBatchPlan& plan, const TBatchOptions& options, const TUtcClock& clock, TBatchReport& report) {
  SetSharedWorkerPoolSize(options.Jobs);
  SharedWorkerPool().ParallelFor(plan.Pictures.size(), [&](std::size_t i) {
    const TBatchPicture& picture = plan.Pictures[i];
    report.Started(picture.Input);
    try {
      RenderBatchPicture(picture, options.Settings, clock, options.Overwrite);
      report.Written();
    } catch (...) {
      report.Failed(picture.Input, MessageOf(std::current_exception()));
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
    PrintUsageError(stderr, e.what());
    return ExitUsage;
  }

  TBatchReport report(stderr, plan.Pictures.size() + plan.Failures.size(), !options.Quiet && ::isatty(2) == 1,
                      !options.Quiet);
  report.Skipped(plan.Skipped);
  for (const TBatchFailure& failure : plan.Failures) report.Failed(failure.Input, failure.Message);
  if (!options.OutputDir.empty()) {
    std::error_code error;
    std::filesystem::create_directories(options.OutputDir, error);
    for (const std::string& folder : OutputFolders(plan))
      if (!error) std::filesystem::create_directories(folder, error);
    if (error) {
      report.Failed(options.OutputDir, error.message());
      report.Finish();
      return ExitSomeFailed;
    }
  }
  RenderAll(plan, options, clock, report);
  return report.Finish() ? ExitAllWritten : ExitSomeFailed;
}

}  // namespace

int main(int argc, char* argv[]) {
  try {
    const TParsedCommandLine parsed = ParseBatchCommandLine(argc, argv, stdout, stderr);
    if (!parsed.Options) return parsed.ExitStatus;
    return Run(*parsed.Options);
  } catch (...) {
    std::fprintf(stderr, "%s: %s\n", BatchProgramName, MessageOf(std::current_exception()).c_str());
    return ExitSomeFailed;
  }
}
