// rufuremina-batch --shard K/N: N runs split a folder between them, each picture rendered by exactly
// one of them, with the same bytes as a single run.
#include "tests/batch/batch_fixture.h"

#include <map>

namespace {

using ShardTest = BatchTest;

// A 1 x 1 picture whose colour tells it apart.
std::vector<std::uint8_t> TinyBmp(int seed) {
  BmpBuilder bmp;
  bmp.width = 1;
  bmp.height = 1;
  bmp.pixels = {std::uint8_t(seed), std::uint8_t(seed / 7), std::uint8_t(255 - seed), 0};
  return bmp.Bytes();
}

// Every file below `folder`, by its path relative to it.
std::map<std::string, std::vector<std::uint8_t>> FilesBelow(const fs::path& folder) {
  std::map<std::string, std::vector<std::uint8_t>> files;
  if (!fs::exists(folder)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) files[entry.path().lexically_relative(folder).generic_string()] = FileBytes(entry.path());
  return files;
}

TEST_F(ShardTest, MalformedShardsAndShardsOfOneFileAreUsageErrors) {
  const std::string out = dir / "out";
  for (const char* shard : {"4/4", "0/0", "1", "1/4/2"}) {
    const TBatchRun run = RunBatch({"--shard", shard, "--output-dir", out, photos});
    EXPECT_EQ(run.Status, 2) << shard;
    EXPECT_NE(run.Err.find("must be K/N with N at least 1 and K from 0 to N-1, not '" + std::string(shard) + "'"),
              std::string::npos) << run.Err;
  }
  EXPECT_EQ(RunBatch({"--shard", "0/1", "-o", dir / "one.png", photos + "/b.bmp"}).Status, 2);
  EXPECT_FALSE(fs::exists(out));
  EXPECT_FALSE(fs::exists(dir / "one.png"));
}

// The shard of a picture is the FNV-1a hash of its path below the folder it was found in, so that
// another tool (or a person) can tell which run renders it, wherever the folder is mounted.
TEST_F(ShardTest, APictureBelongsToTheShardOfItsPathBelowItsFolder) {
  const std::string folder = dir / "shots";
  fs::create_directories(folder + "/sub");
  // Their hashes modulo 4: a.bmp 1, b.bmp 0, sub/c.bmp 2, 写真.bmp 2.
  for (const char* name : {"a.bmp", "b.bmp", "sub/c.bmp", "写真.bmp"}) PutFile(folder + "/" + name, TinyBmp(name[0]));
  const std::map<int, std::vector<std::string>> expected = {
      {0, {"b.png"}}, {1, {"a.png"}}, {2, {"sub/c.png", "写真.png"}}, {3, {}}};
  for (const auto& [shard, names] : expected) {
    const std::string out = dir / ("out" + std::to_string(shard));
    const TBatchRun run =
        RunBatch({"-r", "--output-size", "32x32", "--shard", std::to_string(shard) + "/4", "--output-dir", out, folder});
    EXPECT_EQ(run.Status, 0) << run.Err;
    std::vector<std::string> written;
    for (const auto& [name, bytes] : FilesBelow(out)) written.push_back(name);
    EXPECT_EQ(written, names) << "shard " << shard;
    // Pictures of other shards are no skipped entries, and the count is this shard's own.
    EXPECT_TRUE(run.Err.starts_with(std::to_string(names.size()) + " written, 0 kept, 0 skipped, 0 failed ("))
        << run.Err;
  }
}

TEST_F(ShardTest, FourShardsWriteEachFileOnceAndTogetherWhatOneRunWrites) {
  const std::string folder = dir / "many";
  fs::create_directories(folder + "/deeper");
  for (int i = 0; i < 200; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, i % 5 == 0 ? "deeper/%03d.bmp" : "%03d.bmp", i);
    PutFile(folder + "/" + name, TinyBmp(i));
  }
  PutFile(dir / "named.bmp", TinyBmp(201));  // named on the command line: its name as given counts
  const std::vector<std::string> common = {"-r", "--output-size", "32x32", "--format", "bmp24"};
  const auto run = [&](const std::string& out, const std::vector<std::string>& extra) {
    std::vector<std::string> arguments = common;
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    arguments.insert(arguments.end(), {"--output-dir", out, folder, dir / "named.bmp"});
    const TBatchRun result = RunBatch(arguments);
    EXPECT_EQ(result.Status, 0) << result.Err;
    return FilesBelow(out);
  };
  const auto whole = run(dir / "whole", {});
  ASSERT_EQ(whole.size(), 201u);
  std::map<std::string, std::vector<std::uint8_t>> together;
  for (int shard = 0; shard < 4; ++shard) {
    const auto part = run(dir / ("shard" + std::to_string(shard)), {"--shard", std::to_string(shard) + "/4"});
    EXPECT_FALSE(part.empty()) << "shard " << shard;
    for (const auto& [name, bytes] : part)
      EXPECT_TRUE(together.emplace(name, bytes).second) << name << " written by two shards";
  }
  EXPECT_TRUE(together == whole) << together.size() << " files from the shards, " << whole.size() << " from one run";
  // --shard 0/1 is the whole run.
  EXPECT_TRUE(run(dir / "one", {"--shard", "0/1"}) == whole);
}

}  // namespace
