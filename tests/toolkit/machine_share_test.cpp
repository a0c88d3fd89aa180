#include "toolkit/machine_share.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

using TFiles = std::vector<std::pair<std::string, std::string>>;

// A fake system under a fresh folder, whose path stands for "/".
struct TFakeSystem {
  TempDir root;
  explicit TFakeSystem(const TFiles& files) {
    for (const auto& [name, text] : files) {
      std::filesystem::create_directories((root.Path() / name).parent_path());
      std::ofstream(root.Path() / name) << text;
    }
  }
  std::string Root() const { return root.Path().string(); }
};

const std::string V2Mount = "30 23 0:26 / /sys/fs/cgroup rw,nosuid - cgroup2 cgroup2 rw,nsdelegate\n";
constexpr std::uint64_t MiB = std::uint64_t(1) << 20;

// The lowest limit of the process's group and the groups above it, as containers and hosts lay
// them out; a sibling's limits and unreadable or unlimited values do not count.
TEST(MachineShare, ReadsTheLowestLimitOfTheProcesssGroups) {
  const struct {
    const char* what;
    TFiles files;
    std::optional<double> cpus;
    std::optional<std::uint64_t> memory;
  } cases[] = {
      {"v2 in a cgroup namespace (docker --cpus 1.5 --memory 2g)",
       {{"proc/self/mountinfo", "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n" + V2Mount},
        {"proc/self/cgroup", "0::/\n"},
        {"sys/fs/cgroup/cpu.max", "150000 100000\n"},
        {"sys/fs/cgroup/memory.max", "2147483648\n"}},
       1.5, 2048 * MiB},
      {"v2 seen from the host: the pod's limits above the container's",
       {{"proc/self/mountinfo", V2Mount},
        {"proc/self/cgroup", "0::/kubepods/pod7/c1\n"},
        {"sys/fs/cgroup/kubepods/pod7/cpu.max", "200000 100000\n"},
        {"sys/fs/cgroup/kubepods/pod7/memory.max", "8589934592\n"},
        {"sys/fs/cgroup/kubepods/pod7/c1/cpu.max", "max 100000\n"},
        {"sys/fs/cgroup/kubepods/pod7/c1/memory.max", "1073741824\n"},
        {"sys/fs/cgroup/kubepods/pod8/cpu.max", "10000 100000\n"}},
       2.0, 1024 * MiB},
      {"v1 without a cgroup namespace: the container's own group mounted",
       {{"proc/self/mountinfo",
         "40 30 0:35 /docker/ab12 /sys/fs/cgroup/cpu,cpuacct ro shared:5 - cgroup cgroup rw,cpu,cpuacct\n"
         "41 30 0:36 /docker/ab12 /sys/fs/cgroup/memory ro - cgroup cgroup rw,memory\n"
         "42 30 0:37 /docker/ab12 /sys/fs/cgroup/systemd ro - cgroup cgroup rw,xattr,name=systemd\n"},
        {"proc/self/cgroup", "7:memory:/docker/ab12\n4:cpu,cpuacct:/docker/ab12\n1:name=systemd:/docker/ab12\n"},
        {"sys/fs/cgroup/cpu,cpuacct/cpu.cfs_quota_us", "50000\n"},
        {"sys/fs/cgroup/cpu,cpuacct/cpu.cfs_period_us", "100000\n"},
        {"sys/fs/cgroup/memory/memory.limit_in_bytes", "536870912\n"}},
       0.5, 512 * MiB},
      {"hybrid: v1 controllers without a quota, an empty v2 hierarchy beside them, garbage",
       {{"proc/self/mountinfo",
         "30 23 0:26 / /sys/fs/cgroup/unified rw - cgroup2 cgroup2 rw\n"
         "40 23 0:35 / /sys/fs/cgroup/cpu rw - cgroup cgroup rw,cpu,cpuacct\n"},
        {"proc/self/cgroup", "4:cpu,cpuacct:/batch\n0::/batch\n"},
        {"sys/fs/cgroup/cpu/batch/cpu.cfs_quota_us", "-1\n"},
        {"sys/fs/cgroup/cpu/batch/cpu.cfs_period_us", "100000\n"},
        {"sys/fs/cgroup/unified/batch/cpu.max", "150000\n"},
        {"sys/fs/cgroup/unified/batch/memory.max", "2G\n"}},
       std::nullopt, std::nullopt},
      {"no control groups at all", {}, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    const TFakeSystem system(c.files);
    const TCgroupLimits limits = ReadCgroupLimits(system.Root());
    EXPECT_EQ(limits.Cpus, c.cpus) << c.what;
    EXPECT_EQ(limits.Memory, c.memory) << c.what;
  }
}

// The cores: the fewer of those allowed and the quota rounded up. Also run under `taskset -c 0`,
// where one core is allowed whatever the quota. The memory: the smaller of the physical memory and
// the limit (v1's "no limit" is a huge number).
TEST(MachineShare, TakesTheSmallerOfWhatTheMachineHasAndTheGroupAllows) {
  const unsigned allowed = CoresAllowed();
  const std::uint64_t physical = PhysicalMemory();
  ASSERT_GE(allowed, 1u);
  ASSERT_GT(physical, 0u);
  const struct {
    const char* cpuMax;
    const char* memoryMax;
    unsigned cores;
    std::uint64_t memory;
  } cases[] = {
      {"max 100000", "max", allowed, physical},
      {"20000 100000", "268435456", 1u, std::min(physical, 256 * MiB)},
      {"100001 100000", "9223372036854771712", std::min(allowed, 2u), physical},
      {"100000000 100000", "max", allowed, physical},
  };
  for (const auto& c : cases) {
    const TFakeSystem system({{"proc/self/mountinfo", V2Mount},
                              {"proc/self/cgroup", "0::/\n"},
                              {"sys/fs/cgroup/cpu.max", c.cpuMax},
                              {"sys/fs/cgroup/memory.max", c.memoryMax}});
    EXPECT_EQ(UsableCores(system.Root()), c.cores) << c.cpuMax;
    EXPECT_EQ(UsableMemory(system.Root()), c.memory) << c.memoryMax;
  }
}

}  // namespace
