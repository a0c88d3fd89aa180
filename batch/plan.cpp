#include "batch/plan.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "batch/messages.h"
#include "toolkit/errors.h"
#include "toolkit/strings.h"

namespace fs = std::filesystem;

namespace {

// The plan's listing of folders: each folder's pictures relative to the named folder, the entries
// that are skipped, and one failure for every folder that cannot be read, whose siblings are still
// listed. Only regular files (or links to them) are taken; FIFOs and devices are never opened, so
// listing cannot wait on them.
class TFolderLister {
 public:
  TFolderLister(const fs::path& top, bool recursive, TBatchPlan& plan) : top_(top), recursive_(recursive), plan_(plan) {}

  std::vector<fs::path> List() {
    ListFolder(top_);
    std::sort(pictures_.begin(), pictures_.end(),
              [](const fs::path& a, const fs::path& b) { return a.generic_string() < b.generic_string(); });
    return std::move(pictures_);
  }

 private:
  void ListFolder(const fs::path& folder) {
    std::error_code error;
    fs::directory_iterator entries(folder, error), end;
    std::vector<fs::path> subfolders;
    for (; !error && entries != end; entries.increment(error)) {
      const fs::directory_entry& entry = *entries;
      std::error_code ignored;
      // A link to a folder is not followed (a loop of links would never end); a real subfolder is
      // entered with --recursive, else skipped like any other entry that is no picture.
      if (!entry.is_symlink(ignored) && entry.is_directory(ignored)) {
        if (recursive_)
          subfolders.push_back(entry.path());
        else
          ++plan_.Skipped;
      } else if (entry.is_regular_file(ignored) && PictureKindOf(entry.path().filename().string()) != TPictureKind::None) {
        pictures_.push_back(entry.path().lexically_relative(top_));
      } else {
        ++plan_.Skipped;
      }
    }
    if (error) {
      ++plan_.Found;
      plan_.Failures.push_back({folder.string(), FormatMessage(SFolderUnreadable, error.message())});
    }
    for (const fs::path& subfolder : subfolders) ListFolder(subfolder);
  }

  const fs::path top_;
  const bool recursive_;
  TBatchPlan& plan_;
  std::vector<fs::path> pictures_;
};

// The same file whatever way it is named: by its place in the file system, or its normalised
// absolute name while it does not exist.
struct TFileIdentity {
  dev_t Device = 0;
  ino_t Inode = 0;
  std::string Name;
  friend auto operator<=>(const TFileIdentity&, const TFileIdentity&) = default;
};

TFileIdentity IdentityOf(const std::string& fileName) {
  struct stat st {};
  if (::stat(fileName.c_str(), &st) == 0) return {st.st_dev, st.st_ino, {}};
  return {0, 0, fs::absolute(fileName).lexically_normal().string()};
}

std::string OutputName(const fs::path& folder, const fs::path& relative, TExportFormat format) {
  fs::path name = relative;
  name.replace_extension(FormatExtension(format));
  return (folder / name).string();
}

// Where two or more pictures of a run would write one file (IMG_1.HEIC and IMG_1.JPG in a phone's
// folder), each of them writes under its name with its source extension kept in front of the
// output's: IMG_1.heic.png and IMG_1.jpg.png.
void KeepSourceExtensionsWhereOutputsMeet(std::vector<TBatchPicture>& pictures) {
  std::map<TFileIdentity, std::vector<TBatchPicture*>> byOutput;
  for (TBatchPicture& picture : pictures) byOutput[IdentityOf(picture.Output)].push_back(&picture);
  for (auto& [output, sharing] : byOutput) {
    if (sharing.size() < 2) continue;
    for (TBatchPicture* picture : sharing) {
      const fs::path output = picture->Output;
      picture->Output =
          fs::path(output).replace_extension(LowerAscii(fs::path(picture->Input).extension().string()) +
                                             output.extension().string())
              .string();
    }
  }
}

}  // namespace

TBatchPlan PlanBatch(const TBatchOptions& options) {
  TBatchPlan plan;
  const TExportFormat format = options.Settings.Format;
  for (const std::string& input : options.Inputs) {
    // stat, not open: a FIFO or a device is recognised without waiting on it. An input that cannot
    // be looked at is left to the reader, whose message says that it cannot be opened.
    struct stat st {};
    const bool known = ::stat(input.c_str(), &st) == 0;
    if (known && S_ISDIR(st.st_mode)) {
      if (!options.OutputFile.empty())
        throw EBatchUsage("-o writes one file, but " + input + " is a folder: use --output-dir");
      const std::vector<fs::path> listed = TFolderLister(input, options.Recursive, plan).List();
      plan.Found += listed.size();
      for (const fs::path& relative : listed) {
        const std::string name = (fs::path(input) / relative).string();
        plan.Pictures.push_back(
            {name, OutputName(options.OutputDir, relative, format), PictureKindOf(name), relative.generic_string()});
      }
      continue;
    }
    ++plan.Found;  // a named input that is no folder is a picture, or fails
    // A named file that is no picture belongs to its shard, as a picture would.
    if (known && !S_ISREG(st.st_mode)) {
      if (InShard(options.Shard, input)) plan.Failures.push_back({input, NotAFileMessage(st.st_mode)});
      continue;
    }
    const TPictureKind kind = PictureKindOf(input);
    if (kind == TPictureKind::None) {
      if (InShard(options.Shard, input)) plan.Failures.push_back({input, UnsupportedPictureMessage(input)});
      continue;
    }
    const std::string output = options.OutputFile.empty()
                                   ? OutputName(options.OutputDir, fs::path(input).filename(), format)
                                   : options.OutputFile;
    plan.Pictures.push_back({input, output, kind, input});
  }
  if (options.OutputFile.empty()) KeepSourceExtensionsWhereOutputsMeet(plan.Pictures);

  // Checked before anything is written: a run either writes every file it can or none of these.
  // Under --output-dir a picture that would replace one of the run's inputs (a PNG rendered into its
  // own folder) fails alone; -o names that one file, so naming an input there is the user's slip.
  std::set<TFileIdentity> inputs;
  for (const TBatchPicture& picture : plan.Pictures) inputs.insert(IdentityOf(picture.Input));
  std::map<TFileIdentity, const TBatchPicture*> outputs;
  std::vector<TBatchPicture> writable;
  for (const TBatchPicture& picture : plan.Pictures) {
    const TFileIdentity output = IdentityOf(picture.Output);
    if (inputs.count(output) != 0) {
      if (!options.OutputFile.empty())
        throw EBatchUsage(picture.Input + " would write " + picture.Output + ", which is an input picture");
      if (InShard(options.Shard, picture.ShardName))
        plan.Failures.push_back({picture.Input, FormatMessage(SOutputReplacesInput, picture.Output)});
      continue;
    }
    const auto [first, added] = outputs.emplace(output, &picture);
    if (!added)
      throw EBatchUsage(first->second->Input + " and " + picture.Input + " would both write " + picture.Output);
    // The pictures of other shards are left out here, not skipped: other runs render them.
    if (InShard(options.Shard, picture.ShardName)) writable.push_back(picture);
  }
  plan.Pictures = std::move(writable);
  return plan;
}

std::string NotAFileMessage(mode_t mode) {
  const char* kind = S_ISFIFO(mode)   ? SKindFifo
                     : S_ISCHR(mode)  ? SKindCharDevice
                     : S_ISBLK(mode)  ? SKindBlockDevice
                     : S_ISSOCK(mode) ? SKindSocket
                                      : SKindOther;
  return FormatMessage(SNotAPictureFile, kind);
}
