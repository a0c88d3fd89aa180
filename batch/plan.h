#pragma once
// What a run will do, worked out before anything is written: every picture with the file it goes
// to, the named inputs that are no pictures, the folders that cannot be read, and the entries met in
// folders that are skipped.
#include <sys/types.h>

#include <string>
#include <vector>

#include "batch/options.h"
#include "picture/loading.h"

struct TBatchPicture {
  std::string Input;   // as named on the command line, or below a named folder
  std::string Output;
  TPictureKind Kind = TPictureKind::None;
  std::string ShardName;  // what --shard hashes: the path below its folder, or the name as given
};

// A picture or folder that fails before anything is read, with the message to report.
struct TBatchFailure {
  std::string Input;
  std::string Message;
};

struct TBatchPlan {
  std::vector<TBatchPicture> Pictures;  // in the order of the command line, each folder's sorted by name
  std::vector<TBatchFailure> Failures;
  std::size_t Skipped = 0;              // entries of folders that are no pictures
  // The pictures and failing inputs found, counted where they are found, before anything is set
  // aside: a run that found none fails, while one that leaves some to other runs does not.
  std::size_t Found = 0;
};

// Lists the inputs' pictures of the run's shard and the file each one writes. Pictures of a run
// that would write the same file each keep their source extension in its name (IMG_1.heic.png,
// IMG_1.jpg.png). Under --output-dir a picture whose output is one of the run's inputs is a failure
// of its own. Throws EBatchUsage, before anything is written, when two pictures would still write
// the same file (in any shard, so that no two shards write one file), when -o names an input, and
// when -o is given a folder.
TBatchPlan PlanBatch(const TBatchOptions& options);

// The failure message of an input that is neither a regular file nor a folder, by its stat mode.
std::string NotAFileMessage(mode_t mode);
