#pragma once
// The folder of pictures most batch tests start from, and a look at a folder's files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tests/batch/run_batch.h"
#include "tests/picture/bmp_builder.h"
#include "tests/support/jpeg_writer.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

// Every file below a folder with its bytes, to see that a run changed nothing.
inline std::vector<std::pair<std::string, std::vector<std::uint8_t>>> Snapshot(const fs::path& folder) {
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    files.emplace_back(entry.path().string(), entry.is_regular_file() ? FileBytes(entry.path()) : std::vector<std::uint8_t>{});
  std::sort(files.begin(), files.end());
  return files;
}

class BatchTest : public testing::Test {
 protected:
  TempDir dir;
  std::string photos = dir / "photos";

  void SetUp() override {
    fs::create_directory(photos);
    PutFile(photos + "/a.JPG", EncodeJPEG(QuadrantSamples(64, 48, 40, 20)));
    BmpBuilder bmp;  // 3 x 2, 24 bits
    bmp.pixels = {10, 20, 200, 30, 40, 50, 200, 20, 10, 0, 0, 0, 90, 90, 90, 250, 250, 250, 0, 0, 0, 0, 0, 0};
    PutFile(photos + "/b.bmp", bmp.Bytes());
    PutFile(photos + "/damaged.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 'n', 'o', 't', ' ', 'a', ' ', 'J', 'P', 'E', 'G'});
    PutFile(photos + "/notes.txt", {'h', 'i'});
    PutFile(dir / "pic.gif", EncodeJPEG(QuadrantSamples(16, 16, 8, 8)));
  }
};
