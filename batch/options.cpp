#include "batch/options.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <cstdio>
#include <string_view>

#include "batch/terminal_text.h"
#include "toolkit/machine_share.h"
#include "toolkit/strings.h"
#include "toolkit/version_info.h"

namespace {

// The program file, whose version table --version reads.
constexpr const char* OwnProgramFile = "/proc/self/exe";

// Largest --jobs: far more threads than cores only cost memory.
constexpr int MaxJobs = 256;

std::optional<int> WholeNumber(const std::string& text) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

// A whole number from `low` to `high`. The message names the range; CLI11 puts the option's name
// in front of it.
CLI::Validator InRange(int low, int high) {
  const std::string range = std::to_string(low) + ".." + std::to_string(high);
  return CLI::Validator(
      [low, high, range](std::string& text) -> std::string {
        const auto value = WholeNumber(text);
        if (value && *value >= low && *value <= high) return {};
        return "must be a whole number in " + range + ", not '" + text + "'";
      },
      "");
}

// WIDTHxHEIGHT. The window's output area is dragged from 32 to 512 on each side; the batch goes on
// to sizes for large screens, where its memory still grows with the output only.
constexpr int MinOutputSide = 32;
constexpr int MaxOutputSide = 4096;

std::optional<std::pair<int, int>> OutputSize(const std::string& text) {
  const std::size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return std::nullopt;
  const auto width = WholeNumber(text.substr(0, x)), height = WholeNumber(text.substr(x + 1));
  if (!width || !height) return std::nullopt;
  for (int side : {*width, *height})
    if (side < MinOutputSide || side > MaxOutputSide) return std::nullopt;
  return std::pair{*width, *height};
}

CLI::Validator OutputSizeValidator() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        if (OutputSize(text)) return {};
        return "must be WIDTHxHEIGHT with each side in " + std::to_string(MinOutputSide) + ".." +
               std::to_string(MaxOutputSide) + ", not '" + text + "'";
      },
      "");
}

std::string VersionLine() {
  return std::string(BatchProgramName) + " " + ReadVersionString(OwnProgramFile, VersionProductVersion);
}

// The extension of a file name's last part, lower-cased, with its dot; empty when the name has none
// or is nothing but it.
std::string ExtensionOf(const std::string& fileName) {
  const std::string name = LowerAscii(SplitFileName(fileName).Name);
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
}

// A size in bytes: a whole number of mebibytes, or of kibi-, mebi- or gibibytes with K, M or G.
std::optional<std::uint64_t> MemorySize(const std::string& text) {
  std::string digits = text;
  std::uint64_t unit = std::uint64_t(1) << 20;
  if (!digits.empty()) {
    const char last = LowerAscii(digits.back());
    const std::uint64_t units[] = {std::uint64_t(1) << 10, std::uint64_t(1) << 20, std::uint64_t(1) << 30};
    if (const std::size_t at = std::string_view("kmg").find(last); at != std::string_view::npos) {
      unit = units[at];
      digits.pop_back();
    }
  }
  std::uint64_t value = 0;
  const char* end = digits.data() + digits.size();
  const auto [stop, error] = std::from_chars(digits.data(), end, value);
  if (digits.empty() || error != std::errc() || stop != end || value == 0 || value > (std::uint64_t(1) << 50) / unit)
    return std::nullopt;
  return value * unit;
}

CLI::Validator MemorySizeValidator() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        if (MemorySize(text)) return {};
        return "must be a size such as 512M or 4G, not '" + text + "'";
      },
      "");
}

const char* const Usage =
    "Usage: rufuremina-batch [SETTINGS] [--format FORMAT] (-o FILE | --output-dir FOLDER) FILE|FOLDER...\n\n";

const char* const Description =
    "Renders the final rendering of the ルフレミナ window (the picture standing on the floor line with\n"
    "its fading reflection) for any number of BMP, JPEG, PNG, WebP, HEIC/HEIF and AVIF pictures,\n"
    "with the settings found in the window, and writes the same files as the window's exports. A\n"
    "folder contributes its .bmp, .jpg, .jpeg, .png, .webp, .heic, .heif and .avif files (any letter\n"
    "case, sorted by name); its other entries (other files, subfolders without --recursive, FIFOs,\n"
    "devices) are skipped and counted. Under --output-dir a run can be\n"
    "repeated: the outputs that already exist are kept and counted as kept. Pictures that would\n"
    "write the same file keep their extension in its name (IMG_1.HEIC and IMG_1.JPG write\n"
    "IMG_1.heic.png and IMG_1.jpg.png); a picture whose output would replace one of the run's\n"
    "inputs fails on its own.\n"
    "Each setting is one control of the window, named in brackets as the window names it.\n";

// The usage line first and then the description, as manual-page tools expect them.
class TBatchHelpFormatter : public CLI::Formatter {
 public:
  std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode mode) const override {
    return std::string(Usage) + Description + make_positionals(app) + make_groups(app, mode) + "\n" +
           make_footer(app);
  }
};

const char* const Footer =
    "Exit status:\n"
    "  0  every picture asked for was written or, under --output-dir, kept (also --help and\n"
    "     --version)\n"
    "  1  at least one picture or folder failed; the others were written, and each failure was\n"
    "     reported on standard error as FILE: message. Also a run that found no picture at all\n"
    "     (an empty folder, or only entries it skips): it says \"no picture found (N skipped)\"\n"
    "  2  usage error: an unknown option, a value out of range, no output or two, two inputs that\n"
    "     would write the same file even with their extensions kept, -o naming an input;\n"
    "     nothing was written\n"
    "  130, 143  stopped by SIGINT (Ctrl+C) or SIGTERM: no new picture was started, no partial\n"
    "     file was left, and the summary says what was written\n"
    "\n"
    "Environment:\n"
    "  SOURCE_DATE_EPOCH  seconds since 1970-01-01 00:00:00 UTC: PNG files carry this time in their\n"
    "                     tIME chunk instead of the current time, so that two runs write identical files\n"
    "\n"
    "Examples:\n"
    "  rufuremina-batch --picture-size 4 --tilt -2 --output-size 512x384 --output-dir out photos\n";

}  // namespace

std::string FormatExtension(TExportFormat format) { return format == TExportFormat::PNG ? ".png" : ".bmp"; }

std::uint64_t DefaultMemoryBudget() {
  const std::uint64_t memory = UsableMemory();
  // Without an answer, room for a few photos of a modern camera.
  if (memory == 0) return std::uint64_t(1) << 30;
  return memory / 4;
}

void PrintUsageError(std::FILE* err, const std::string& message, const std::vector<std::string>& names) {
  std::fprintf(err, "%s: %s\nRun '%s --help' for the options.\n", BatchProgramName,
               OneLineMessage(message, names).c_str(), BatchProgramName);
}

TParsedCommandLine ParseBatchCommandLine(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  TBatchOptions options;
  TBatchSettings& s = options.Settings;
  options.Jobs = std::min(unsigned(MaxJobs), UsableCores());
  int jobs = int(options.Jobs);
  std::string format, outputSize = "256x256", memory, shard;
  bool uniform = false;

  CLI::App app("", BatchProgramName);
  app.formatter(std::make_shared<TBatchHelpFormatter>());
  app.footer(Footer);
  app.set_help_flag("-h,--help", "Print this help and exit");
  app.set_version_flag("--version", VersionLine, "Print the version and exit");
  app.get_formatter()->column_width(26);

  app.add_option("inputs", options.Inputs, "Picture files (.bmp, .jpg, .jpeg, .png, .webp, .heic, .heif, .avif) and folders")->type_name("FILE|FOLDER");

  // "[name] what it does, range (default)": the name is the window's caption of the control.
  const auto setting = [&](const char* option, int& value, int low, int high, const std::string& help,
                           const char* group) {
    app.add_option(option, value,
                   help + ", " + std::to_string(low) + ".." + std::to_string(high) + " (default " +
                       std::to_string(value) + ")")
        ->check(InRange(low, high))
        ->type_name("N")
        ->group(group);
  };
  const char* picture = "Picture settings (the window's group 画像)";
  setting("--picture-size", s.Scene.CameraZ, 1, 10, "[大きさ] size of the picture and its reflection", picture);
  setting("--camera-height", s.Scene.CameraY, -5, 5, "[位置] height of the camera; slants the picture's base",
          picture);
  setting("--tilt", s.Scene.Yaw, -5, 5, "[傾き] turn about the upright axis, about 10 degrees a step", picture);
  const char* reflection = "Reflection settings (the window's group 反射)";
  setting("--opacity", s.Reflection.OpacityPosition, 0, 10, "[不透明度] opacity of the reflection", reflection);
  setting("--length", s.Reflection.LengthPosition, 0, 10, "[長さ] length of the reflection's fade", reflection);
  setting("--distance", s.Scene.Margin, 0, 10, "[距離] gap between the picture and its reflection", reflection);
  app.add_flag("--uniform", uniform,
               "[設定 > グラデーション turned off] a reflection of even opacity instead of the fade "
               "(default: the fade)")
      ->group(reflection);

  const char* output = "Output";
  app.add_option("--output-size", outputSize,
                 "[出力サイズ, set by dragging the edges of the output area] size of the rendering, each "
                 "side 32..4096 (default 256x256); the window's output area reaches 32..512")
      ->check(OutputSizeValidator())
      ->type_name("WxH")
      ->group(output);
  app.add_option("--format", format,
                 "png: PNG with alpha [PNG形式で書き出し]; bmp32: 32-bit BMP with alpha "
                 "[アルファ付きBMP形式で書き出し]; bmp24: 24-bit BMP over black [BMP形式で書き出し] (default: "
                 "bmp24 for -o *.bmp, else png)")
      ->check(CLI::IsMember({"png", "bmp32", "bmp24"}))
      ->type_name("FORMAT")
      ->group(output);
  app.add_option("-o,--output", options.OutputFile,
                 "The file to write, for a single input picture: *.png or *.bmp, which sets the format "
                 "when --format is not given; an existing file fails without --overwrite")
      ->type_name("FILE")
      ->group(output);
  app.add_option("--output-dir", options.OutputDir,
                 "The folder to write into, made when the first file is written: each picture under its "
                 "own name with the format's extension; existing files are kept and counted as kept")
      ->type_name("FOLDER")
      ->group(output);
  app.add_flag("-r,--recursive", options.Recursive,
               "Also take the pictures in the folders' subfolders, keeping the subfolders under --output-dir")
      ->group(output);
  app.add_flag("--overwrite", options.Overwrite,
               "Replace existing files, keeping their permissions but not setuid, setgid or sticky")
      ->group(output);

  const char* running = "Running";
  app.add_option("-j,--jobs", jobs,
                 "Pictures rendered at once, 1.." + std::to_string(MaxJobs) +
                     " (default: the cores it may run on, fewer where its control group's CPU quota allows "
                     "less, rounded up)")
      ->check(InRange(1, MaxJobs))
      ->type_name("N")
      ->group(running);
  app.add_option("--memory", memory,
                 "Most memory the pictures decoded at once may take, such as 512M or 4G; a larger picture "
                 "waits for others to finish, one that alone needs more fails (default: a quarter of the "
                 "machine's memory, or of its control group's memory limit where that is smaller)")
      ->check(MemorySizeValidator())
      ->type_name("SIZE")
      ->group(running);
  app.add_option("--shard", shard,
                 "Render only shard K of N (K from 0 to N-1): the pictures whose name, relative to the folder "
                 "it was found in (a file named here: the name as given), has a 64-bit FNV-1a hash that is K "
                 "modulo N; N runs, one for each K, render every picture once (such as a Kubernetes Indexed "
                 "Job's JOB_COMPLETION_INDEX); not with -o")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            if (ParseShard(text)) return {};
            return "must be K/N with N at least 1 and K from 0 to N-1, not '" + text + "'";
          },
          ""))
      ->type_name("K/N")
      ->group(running);
  app.add_flag("-q,--quiet", options.Quiet, "No progress line and no summary; failures are still reported")
      ->group(running);

  try {
    app.parse(argc, argv);
    if (options.Inputs.empty()) throw EBatchUsage("name at least one picture file or folder");
    if (options.OutputFile.empty() == options.OutputDir.empty())
      throw EBatchUsage("give exactly one of -o FILE and --output-dir FOLDER");
    if (!options.OutputFile.empty() && options.Inputs.size() != 1)
      throw EBatchUsage("-o writes one file: name exactly one input picture, or use --output-dir");
    if (!options.OutputFile.empty() && !shard.empty())
      throw EBatchUsage("--shard splits the pictures of --output-dir runs; -o writes one file");
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), out);
    return {};
  } catch (const CLI::CallForVersion& e) {
    std::fprintf(out, "%s\n", e.what());
    return {};
  } catch (const CLI::ParseError& e) {
    PrintUsageError(err, e.what());
    return {std::nullopt, ExitUsage};
  } catch (const EBatchUsage& e) {
    PrintUsageError(err, e.what());
    return {std::nullopt, ExitUsage};
  }

  s.GradientEnabled = !uniform;
  std::tie(s.OutputWidth, s.OutputHeight) = *OutputSize(outputSize);
  options.Jobs = unsigned(jobs);
  if (!shard.empty()) options.Shard = *ParseShard(shard);
  options.MemoryBudget = memory.empty() ? DefaultMemoryBudget() : *MemorySize(memory);
  // -o names the file, so its extension says the format unless --format does; then they must agree.
  const std::string extension = options.OutputFile.empty() ? std::string() : ExtensionOf(options.OutputFile);
  if (format.empty() && !options.OutputFile.empty()) {
    if (extension != ".png" && extension != ".bmp") {
      PrintUsageError(err, "-o " + options.OutputFile + ": name a .png or .bmp file, or give --format", {options.OutputFile});
      return {std::nullopt, ExitUsage};
    }
    format = extension == ".bmp" ? "bmp24" : "png";
  }
  if (format.empty()) format = "png";
  s.Format = format == "bmp24" ? TExportFormat::BMP24 : format == "bmp32" ? TExportFormat::BMP32 : TExportFormat::PNG;
  if (!options.OutputFile.empty() && extension != FormatExtension(s.Format)) {
    PrintUsageError(err, "-o " + options.OutputFile + ": a " + format + " file must be named *" + FormatExtension(s.Format),
                    {options.OutputFile});
    return {std::nullopt, ExitUsage};
  }
  return {std::move(options), ExitAllWritten};
}
