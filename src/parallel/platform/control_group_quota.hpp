// The CPU quota of the process's control group (containers, batch systems), which limits the
// parallelism available to it on Linux.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace obrivane::parallel::platform {

// Where the control-group configuration of the process is read from; the defaults are the
// kernel's own files, tests point them at a prepared directory tree.
struct CgroupFiles {
  std::string proc_self_cgroup = "/proc/self/cgroup";
  std::string proc_self_mountinfo = "/proc/self/mountinfo";
  std::string cgroup2_root = "/sys/fs/cgroup";
};

// Whole CPUs granted by the CPU quota of the process's control group (quota / period, rounded
// down; the smallest limit along the path to the hierarchy root), or nothing when no quota is
// set or it cannot be read. A v1 hierarchy with a cpu controller takes precedence over v2.
std::optional<std::size_t> cgroup_cpu_quota(const CgroupFiles& files = {});

}  // namespace obrivane::parallel::platform
