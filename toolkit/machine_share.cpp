#include "toolkit/machine_share.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fstream>
#include <sstream>
#include <vector>

// RFL_SINGLE_THREADED: a build with one thread (the page's engine) reads no limits at all; its
// WebAssembly has no files to read them from.
#include "toolkit/compat.h"

#if defined(__linux__) && !defined(__EMSCRIPTEN__)
#include <sched.h>
#include <unistd.h>
#define RFL_READS_LINUX_LIMITS 1
#endif

namespace {

std::optional<std::string> ReadText(const std::string& path) {
  std::ifstream file(path);
  if (!file) return std::nullopt;
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  return parts;
}

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

bool Contains(const std::vector<std::string>& items, const std::string& item) {
  return std::find(items.begin(), items.end(), item) != items.end();
}

// A whole number that fills the text (surrounding blanks aside); none for "max", -1 or garbage.
std::optional<std::uint64_t> Number(const std::string& text) {
  const std::vector<std::string> words = Words(text);
  if (words.size() != 1 || words[0].empty() || words[0].size() > 19) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : words[0]) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + std::uint64_t(c - '0');
  }
  return value;
}

// A mounted cgroup hierarchy: where it is mounted, which group of the hierarchy appears there, and
// for version 1 the controllers it carries.
struct THierarchy {
  std::string MountPoint;
  std::string MountedGroup;
  std::vector<std::string> Controllers;
  bool Version2 = false;
};

std::vector<THierarchy> MountedHierarchies(const std::string& root) {
  std::vector<THierarchy> found;
  const std::optional<std::string> mounts = ReadText(root + "/proc/self/mountinfo");
  if (!mounts) return found;
  for (const std::string& line : Split(*mounts, '\n')) {
    // ID PARENT MAJOR:MINOR ROOT MOUNTPOINT OPTIONS [OPTIONAL...] - TYPE SOURCE SUPEROPTIONS
    const std::vector<std::string> words = Words(line);
    const auto dash = std::find(words.begin(), words.end(), "-");
    if (words.size() < 5 || dash == words.end() || words.end() - dash < 4) continue;
    const std::string& type = dash[1];
    if (type != "cgroup" && type != "cgroup2") continue;
    found.push_back({words[4], words[3], Split(dash[3], ','), type == "cgroup2"});
  }
  return found;
}

// The process's group in each hierarchy: "0" for version 2, else the controllers' list.
struct TMembership {
  std::string Controllers;
  std::string Group;
};

std::vector<TMembership> Memberships(const std::string& root) {
  std::vector<TMembership> found;
  const std::optional<std::string> groups = ReadText(root + "/proc/self/cgroup");
  if (!groups) return found;
  for (const std::string& line : Split(*groups, '\n')) {
    // ID:CONTROLLERS:PATH, where the path may itself hold colons.
    const std::size_t first = line.find(':');
    const std::size_t second = first == std::string::npos ? first : line.find(':', first + 1);
    if (second == std::string::npos) continue;
    found.push_back({line.substr(first + 1, second - first - 1), line.substr(second + 1)});
  }
  return found;
}

// The folders of the process's group in `hierarchy` and of every group above it that the mount
// shows, from the mount point down.
std::vector<std::string> GroupFolders(const std::string& root, const THierarchy& hierarchy,
                                      const std::vector<TMembership>& memberships) {
  std::vector<std::string> folders;
  const TMembership* member = nullptr;
  for (const TMembership& m : memberships) {
    const bool fits = hierarchy.Version2 ? m.Controllers.empty()
                                         : std::any_of(hierarchy.Controllers.begin(), hierarchy.Controllers.end(),
                                                       [&](const std::string& c) { return Contains(Split(m.Controllers, ','), c); });
    if (fits) member = &m;
  }
  if (member == nullptr) return folders;
  // Without a cgroup namespace a container sees its own group mounted at the mount point and its
  // full path in /proc/self/cgroup: the part below the mounted group is what leads further down.
  std::string below = member->Group;
  const std::string& mounted = hierarchy.MountedGroup;
  if (mounted != "/" && below.compare(0, mounted.size(), mounted) == 0 &&
      (below.size() == mounted.size() || below[mounted.size()] == '/'))
    below = below.substr(mounted.size());
  else if (mounted != "/")
    below.clear();  // a group outside the mounted one: only the mount point's own limits are seen
  if (below.find("/..") != std::string::npos) below.clear();
  std::string folder = root + hierarchy.MountPoint;
  while (!folder.empty() && folder.back() == '/') folder.pop_back();
  std::vector<std::string> parts;
  for (const std::string& part : Split(below, '/'))
    if (!part.empty()) parts.push_back(part);
  folders.push_back(folder);
  for (const std::string& part : parts) folders.push_back(folders.back() + "/" + part);
  return folders;
}

void KeepLower(std::optional<double>& limit, double value) {
  if (!limit || value < *limit) limit = value;
}
void KeepLower(std::optional<std::uint64_t>& limit, std::uint64_t value) {
  if (!limit || value < *limit) limit = value;
}

// cpu.max: "QUOTA PERIOD", or "max PERIOD" without a quota.
void ReadVersion2(const std::string& folder, TCgroupLimits& limits) {
  if (const auto cpu = ReadText(folder + "/cpu.max")) {
    const std::vector<std::string> words = Words(*cpu);
    if (words.size() == 2) {
      const auto quota = Number(words[0]), period = Number(words[1]);
      if (quota && period && *quota > 0 && *period > 0) KeepLower(limits.Cpus, double(*quota) / double(*period));
    }
  }
  if (const auto memory = ReadText(folder + "/memory.max"))
    if (const auto bytes = Number(*memory); bytes && *bytes > 0) KeepLower(limits.Memory, *bytes);
}

// cpu.cfs_quota_us is -1 without a quota; memory.limit_in_bytes is a huge number without a limit,
// which the comparison with the physical memory sets aside.
void ReadVersion1(const std::string& folder, const THierarchy& hierarchy, TCgroupLimits& limits) {
  if (Contains(hierarchy.Controllers, "cpu")) {
    const auto quota = ReadText(folder + "/cpu.cfs_quota_us"), period = ReadText(folder + "/cpu.cfs_period_us");
    if (quota && period) {
      const auto q = Number(*quota), p = Number(*period);
      if (q && p && *q > 0 && *p > 0) KeepLower(limits.Cpus, double(*q) / double(*p));
    }
  }
  if (Contains(hierarchy.Controllers, "memory"))
    if (const auto memory = ReadText(folder + "/memory.limit_in_bytes"))
      if (const auto bytes = Number(*memory); bytes && *bytes > 0) KeepLower(limits.Memory, *bytes);
}

}  // namespace

TCgroupLimits ReadCgroupLimits(const std::string& root) {
  TCgroupLimits limits;
#if defined(__EMSCRIPTEN__)
  // The web engine has no file system to read (a read would fail inside the runtime) and no
  // control groups: nothing limits it but its own memory.
  (void)root;
  return limits;
#else
  const std::vector<TMembership> memberships = Memberships(root);
  for (const THierarchy& hierarchy : MountedHierarchies(root)) {
    if (!hierarchy.Version2 && !Contains(hierarchy.Controllers, "cpu") && !Contains(hierarchy.Controllers, "memory"))
      continue;
    // A group and every group above it limit the process: the lowest limit counts.
    for (const std::string& folder : GroupFolders(root, hierarchy, memberships)) {
      if (hierarchy.Version2)
        ReadVersion2(folder, limits);
      else
        ReadVersion1(folder, hierarchy, limits);
    }
  }
  return limits;
#endif
}

#if defined(RFL_READS_LINUX_LIMITS)

unsigned CoresAllowed() {
  // The mask's size grows until it holds every core the system numbers.
  for (int size = 1024; size <= (1 << 20); size *= 2) {
    cpu_set_t* set = CPU_ALLOC(size);
    if (set == nullptr) break;
    const std::size_t bytes = CPU_ALLOC_SIZE(size);
    CPU_ZERO_S(bytes, set);
    const int status = ::sched_getaffinity(0, bytes, set);
    const int count = CPU_COUNT_S(bytes, set);
    CPU_FREE(set);
    if (status == 0) return unsigned(std::max(count, 1));
    if (errno != EINVAL) break;
  }
  const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? unsigned(online) : 1;
}

std::uint64_t PhysicalMemory() {
  const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGE_SIZE);
  return pages > 0 && pageSize > 0 ? std::uint64_t(pages) * std::uint64_t(pageSize) : 0;
}

#else

unsigned CoresAllowed() { return 1; }
std::uint64_t PhysicalMemory() { return 0; }

#endif

unsigned UsableCores(const std::string& root) {
#if defined(RFL_SINGLE_THREADED)
  (void)root;
  return 1;
#else
  unsigned cores = CoresAllowed();
  // A quota of 1.5 CPUs keeps two threads busy for three quarters of the time each: two threads
  // use it whole, one would leave a third of it unused.
  if (const std::optional<double> cpus = ReadCgroupLimits(root).Cpus)
    cores = std::min(cores, unsigned(std::max(1.0, std::ceil(std::min(*cpus, 1e6)))));
  return std::max(cores, 1u);
#endif
}

std::uint64_t UsableMemory(const std::string& root) {
  const std::uint64_t physical = PhysicalMemory();
  const std::optional<std::uint64_t> limit = ReadCgroupLimits(root).Memory;
  if (!limit) return physical;
  return physical == 0 ? *limit : std::min(physical, *limit);
}
