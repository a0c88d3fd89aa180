#include "batch/plan.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

namespace fs = std::filesystem;

namespace {

// The pictures of a folder, relative to it, sorted by name; other files are counted as skipped.
// Subfolders count only with `recursive`, and then every file below them.
std::vector<fs::path> FolderPictures(const fs::path& folder, bool recursive, std::size_t& skipped) {
  std::vector<fs::path> pictures;
  const auto take = [&](const fs::directory_entry& entry) {
    std::error_code error;
    if (!entry.is_regular_file(error)) return;
    if (PictureKindOf(entry.path().filename().string()) == TPictureKind::None)
      ++skipped;
    else
      pictures.push_back(entry.path().lexically_relative(folder));
  };
  if (recursive) {
    for (const auto& entry : fs::recursive_directory_iterator(folder)) take(entry);
  } else {
    for (const auto& entry : fs::directory_iterator(folder)) take(entry);
  }
  std::sort(pictures.begin(), pictures.end(),
            [](const fs::path& a, const fs::path& b) { return a.generic_string() < b.generic_string(); });
  return pictures;
}

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

}  // namespace

TBatchPlan PlanBatch(const TBatchOptions& options) {
  TBatchPlan plan;
  const TExportFormat format = options.Settings.Format;
  for (const std::string& input : options.Inputs) {
    std::error_code error;
    if (fs::is_directory(input, error)) {
      if (!options.OutputFile.empty())
        throw EBatchUsage("-o writes one file, but " + input + " is a folder: use --output-dir");
      try {
        for (const fs::path& relative : FolderPictures(input, options.Recursive, plan.Skipped)) {
          const std::string name = (fs::path(input) / relative).string();
          plan.Pictures.push_back({name, OutputName(options.OutputDir, relative, format), PictureKindOf(name)});
        }
      } catch (const fs::filesystem_error& e) {
        plan.Failures.push_back({input, e.code().message()});
      }
      continue;
    }
    const TPictureKind kind = PictureKindOf(input);
    if (kind == TPictureKind::None) {
      plan.Failures.push_back({input, UnsupportedPictureMessage(input)});
      continue;
    }
    const std::string output = options.OutputFile.empty()
                                   ? OutputName(options.OutputDir, fs::path(input).filename(), format)
                                   : options.OutputFile;
    plan.Pictures.push_back({input, output, kind});
  }

  // Checked before anything is written: a run either writes every file it can or none of these.
  std::set<TFileIdentity> inputs;
  for (const TBatchPicture& picture : plan.Pictures) inputs.insert(IdentityOf(picture.Input));
  std::map<TFileIdentity, const TBatchPicture*> outputs;
  for (const TBatchPicture& picture : plan.Pictures) {
    const TFileIdentity output = IdentityOf(picture.Output);
    if (inputs.count(output) != 0)
      throw EBatchUsage(picture.Input + " would write " + picture.Output + ", which is an input picture");
    const auto [first, added] = outputs.emplace(output, &picture);
    if (!added)
      throw EBatchUsage(first->second->Input + " and " + picture.Input + " would both write " + picture.Output);
  }
  return plan;
}

std::vector<std::string> OutputFolders(const TBatchPlan& plan) {
  std::set<std::string> folders;
  for (const TBatchPicture& picture : plan.Pictures) {
    const fs::path parent = fs::path(picture.Output).parent_path();
    if (!parent.empty()) folders.insert(parent.string());
  }
  return {folders.begin(), folders.end()};
}
