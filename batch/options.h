#pragma once
// The batch renderer's command line: one option per control of the window, with the window's
// ranges and start values, the inputs and where the files go.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "batch/shard.h"
#include "picture/export.h"
#include "render/reflection.h"
#include "scene/scene.h"

// The program's name, as it prefixes its messages and its version line.
inline constexpr const char* BatchProgramName = "rufuremina-batch";

// A command line that cannot be carried out as given. Nothing has been read or written when it is
// raised.
class EBatchUsage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What the window's controls hold when it exports: the sliders, the gradient command and the output
// size, and the export command's format.
struct TBatchSettings {
  TSceneSliders Scene;            // 大きさ, 位置, 傾き, 距離
  TReflectionSliders Reflection;  // 不透明度, 長さ
  bool GradientEnabled = true;    // グラデーション
  int OutputWidth = 256;          // 出力サイズ
  int OutputHeight = 256;
  TExportFormat Format = TExportFormat::PNG;
};

struct TBatchOptions {
  TBatchSettings Settings;
  std::vector<std::string> Inputs;  // files and folders, as named
  std::string OutputFile;           // -o: the one file to write, or empty
  std::string OutputDir;            // --output-dir, or empty
  bool Recursive = false;
  bool Overwrite = false;
  bool Quiet = false;
  unsigned Jobs = 1;
  TShard Shard;                     // --shard: the part of the inputs this run renders
  // The most bytes the pictures being decoded at once may declare (their 32-bit pixels and the
  // decoder's own buffers); a picture that would pass it waits until others are done.
  std::uint64_t MemoryBudget = 0;
};

// The exit statuses. An interrupted run exits as a shell reports a command stopped by that signal.
inline constexpr int ExitAllWritten = 0;
inline constexpr int ExitSomeFailed = 1;
inline constexpr int ExitUsage = 2;
constexpr int ExitInterrupted(int signal) { return 128 + signal; }

// The options, or the status to exit with at once: --help and --version print to `out` and give
// ExitAllWritten; a usage error prints its message to `err` and gives ExitUsage.
struct TParsedCommandLine {
  std::optional<TBatchOptions> Options;
  int ExitStatus = ExitAllWritten;
};
TParsedCommandLine ParseBatchCommandLine(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

// The extension the files of `format` take, with its dot.
std::string FormatExtension(TExportFormat format);

// The default memory budget: a quarter of the memory the process may take (the machine's, or its
// control group's limit where lower), so that a run of many large pictures leaves room for
// everything else the machine does.
std::uint64_t DefaultMemoryBudget();

// Prints a usage error as every usage error of the program is printed, on one line, with `names`
// quoted where they hold control characters (and any other control character escaped).
void PrintUsageError(std::FILE* err, const std::string& message, const std::vector<std::string>& names = {});
