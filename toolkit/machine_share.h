#pragma once
// The share of the machine this process is given: the cores it may run on and the processor time
// and memory that its control groups allow. A container limited to 1 CPU and 2 GB on a 64-core host
// sees the host's 64 cores and all its memory through the usual calls; sizing threads and buffers
// from those would start 64 threads that the quota throttles and fill memory until the kernel's
// out-of-memory killer ends the process.
#include <cstdint>
#include <optional>
#include <string>

// The limits that the process's control groups (version 2, or version 1's cpu and memory
// controllers) and every group above them set; empty where none is set.
struct TCgroupLimits {
  std::optional<double> Cpus;            // processor time per wall-clock time, as from 0.5 or 2
  std::optional<std::uint64_t> Memory;   // bytes
};

// Reads the limits from /proc/self/mountinfo, /proc/self/cgroup and the cgroup file system.
// `root` stands in front of every path: empty for the real system, a folder holding proc/self/ and
// the mounted hierarchies for tests.
TCgroupLimits ReadCgroupLimits(const std::string& root = "");

// The cores the calling thread may run on (its affinity mask: taskset, a cpuset); at least 1.
unsigned CoresAllowed();

// The machine's physical memory in bytes; 0 where the system does not say.
std::uint64_t PhysicalMemory();

// The whole cores' worth of work the process can do at once: the cores it may run on, fewer where
// the CPU quota allows less (rounded up); at least 1, and 1 in a build without threads.
unsigned UsableCores(const std::string& root = "");

// The memory the process may take: the physical memory, less where a control group's limit is
// lower; 0 where neither is known.
std::uint64_t UsableMemory(const std::string& root = "");
