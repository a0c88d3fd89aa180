// libheif and its codecs are loaded by the runs that read a HEIF or AVIF picture, and only by them:
// the dynamic loader's own account of each run (glibc's LD_DEBUG=files, written to files of the
// test's folder) names every library the process opened, at its start or later.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/batch/batch_fixture.h"
#include "tests/support/cutout_files.h"

namespace {

// Whether the loader's account of the runs in `folder` names `library`.
bool Opened(const std::string& folder, const std::string& library) {
  bool any = false;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::ifstream in(entry.path());
    std::stringstream text;
    text << in.rdbuf();
    if (text.str().find("file=" + library) != std::string::npos) any = true;
  }
  return any;
}

TEST_F(BatchTest, OnlyHeifAndAvifPicturesLoadLibheif) {
  struct TCase {
    std::string file;
    bool heif;
  };
  std::vector<TCase> cases{{photos + "/a.JPG", false}, {photos + "/b.bmp", false}};
  for (const TCutoutKind& kind : CutoutKinds) {
    const std::string file = dir / (std::string("cut") + kind.Extension);
    ASSERT_TRUE(WriteCutout(kind, file)) << kind.Name;
    const std::string name = kind.Name;
    cases.push_back({file, name == "HEIC" || name == "HEIF" || name == "AVIF"});
  }
  for (const TCase& c : cases) {
    const std::string account = dir / "loader";
    fs::remove_all(account);
    fs::create_directory(account);
    const TBatchRun run = RunBatch({"-q", "--overwrite", "-o", dir / "out.png", c.file},
                                   {{"LD_DEBUG", "files"}, {"LD_DEBUG_OUTPUT", account + "/run"}});
    ASSERT_EQ(run.Status, 0) << c.file << ": " << run.Err;
    // The account is there and names what every run loads.
    ASSERT_TRUE(Opened(account, "libc.so.6")) << c.file;
    EXPECT_EQ(Opened(account, "libheif.so.1"), c.heif) << c.file;
    EXPECT_EQ(Opened(account, "libde265.so"), c.heif) << c.file;
  }
}

}  // namespace
