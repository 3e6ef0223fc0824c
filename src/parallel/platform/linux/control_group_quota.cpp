// The CPU quota of the process's control group, read from the kernel's files: /proc/self/cgroup
// names the group, /sys/fs/cgroup (v2) or the v1 cpu hierarchy's mount point holds its limits.
#include "parallel/platform/control_group_quota.hpp"

#include <algorithm>
#include <fstream>
#include <limits>
#include <sstream>
#include <string_view>
#include <vector>

#include "parallel/pool_size.hpp"

namespace obrivane::parallel::platform {
namespace {

std::optional<std::string> read_file(const std::string& path) {
  std::ifstream file(path);
  if (!file) return std::nullopt;
  std::ostringstream contents;
  contents << file.rdbuf();
  if (file.bad()) return std::nullopt;
  return contents.str();
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find(separator, start);
    if (end == std::string_view::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

std::string_view trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool lists(std::string_view comma_separated, std::string_view item) {
  for (std::string_view entry : split(comma_separated, ',')) {
    if (entry == item) return true;
  }
  return false;
}

std::optional<std::uint64_t> parse_count(std::string_view text) {
  const std::string owned(text);
  return parse_thread_count(owned.c_str());
}

// The directory one level up, or nothing at the file-system root.
std::optional<std::string> parent_directory(const std::string& directory) {
  const std::size_t slash = directory.find_last_of('/');
  if (slash == std::string::npos || directory == "/") return std::nullopt;
  return slash == 0 ? std::string("/") : directory.substr(0, slash);
}

std::string join_path(const std::string& directory, std::string_view relative) {
  if (relative.empty()) return directory;
  return directory + "/" + std::string(relative);
}

enum class CgroupVersion { v1, v2 };

struct CgroupMembership {
  CgroupVersion version;
  std::string path;  // relative to the hierarchy root, without a leading slash
};

// Each line of /proc/self/cgroup is "id:controllers:path"; v2 has an empty controller list. A v1
// line naming the cpu controller wins over the v2 line, because it names its controllers.
std::optional<CgroupMembership> find_cpu_cgroup(std::string_view table) {
  std::optional<CgroupMembership> found;
  for (std::string_view line : split(table, '\n')) {
    const std::size_t first = line.find(':');
    if (first == std::string_view::npos) continue;
    const std::size_t second = line.find(':', first + 1);
    if (second == std::string_view::npos) continue;
    const std::string_view controllers = line.substr(first + 1, second - first - 1);
    std::string_view path = line.substr(second + 1);
    CgroupVersion version;
    if (controllers.empty()) {
      version = CgroupVersion::v2;
    } else if (lists(controllers, "cpu")) {
      version = CgroupVersion::v1;
    } else {
      continue;
    }
    if (found && version == CgroupVersion::v2) continue;
    if (!path.empty() && path.front() == '/') path.remove_prefix(1);
    found = CgroupMembership{version, std::string(path)};
  }
  return found;
}

std::optional<std::size_t> smaller(std::optional<std::size_t> quota, std::uint64_t limit,
                                   std::uint64_t period) {
  if (period == 0) return quota;
  const auto whole_cpus = static_cast<std::size_t>(limit / period);
  return quota ? std::min(*quota, whole_cpus) : whole_cpus;
}

// cpu.max holds "limit period" on its first line, or "max period" when there is no limit.
std::optional<std::size_t> quota_v2(const std::string& root, const std::string& group) {
  std::string directory = join_path(root, group);
  if (!read_file(join_path(directory, "cgroup.controllers"))) return std::nullopt;
  std::optional<std::size_t> quota;
  while (true) {
    if (const auto contents = read_file(join_path(directory, "cpu.max"))) {
      const std::vector<std::string_view> fields = split(split(*contents, '\n').front(), ' ');
      if (fields.size() >= 2) {
        const auto limit = parse_count(fields[0]);
        const auto period = parse_count(fields[1]);
        if (limit && period) quota = smaller(quota, *limit, *period);
      }
    }
    if (directory.size() <= root.size()) return quota;
    const auto parent = parent_directory(directory);
    if (!parent) return quota;
    directory = *parent;
  }
}

// The mount point of a v1 hierarchy with the cpu controller, and the group path below it. Each
// mountinfo line reads "id parent major:minor root mount-point options ... - type source
// super-options"; a bind mount of a subtree (root other than "/") must contain our group.
std::optional<std::pair<std::string, std::string>> find_v1_cpu_mount(std::string_view mountinfo,
                                                                     const std::string& group) {
  for (std::string_view line : split(mountinfo, '\n')) {
    const std::vector<std::string_view> fields = split(trim(line), ' ');
    if (fields.size() < 7) continue;
    const std::string_view super_options = fields[fields.size() - 1];
    const std::string_view type = fields[fields.size() - 3];
    if (type != "cgroup" || !lists(super_options, "cpu")) continue;
    std::string_view mounted_root = fields[3];
    if (mounted_root.empty() || mounted_root.front() != '/') continue;
    mounted_root.remove_prefix(1);
    std::string_view relative = group;
    if (!mounted_root.empty()) {
      if (relative.substr(0, mounted_root.size()) != mounted_root) continue;
      relative.remove_prefix(mounted_root.size());
      if (!relative.empty() && relative.front() != '/') continue;
      if (!relative.empty()) relative.remove_prefix(1);
    }
    return std::pair{std::string(fields[4]), std::string(relative)};
  }
  return std::nullopt;
}

// cpu.cfs_quota_us is -1 when there is no limit, which is no count and is skipped.
std::optional<std::size_t> quota_v1(const std::string& mountinfo_path, const std::string& group) {
  const auto mountinfo = read_file(mountinfo_path);
  if (!mountinfo) return std::nullopt;
  const auto mount = find_v1_cpu_mount(*mountinfo, group);
  if (!mount) return std::nullopt;
  const std::string& mount_point = mount->first;
  std::string directory = join_path(mount_point, mount->second);
  std::optional<std::size_t> quota;
  while (true) {
    const auto limit_text = read_file(join_path(directory, "cpu.cfs_quota_us"));
    const auto period_text = read_file(join_path(directory, "cpu.cfs_period_us"));
    if (limit_text && period_text) {
      const auto limit = parse_count(trim(*limit_text));
      const auto period = parse_count(trim(*period_text));
      if (limit && period) quota = smaller(quota, *limit, *period);
    }
    if (directory.size() <= mount_point.size()) return quota;
    const auto parent = parent_directory(directory);
    if (!parent) return quota;
    directory = *parent;
  }
}

}  // namespace

std::optional<std::size_t> cgroup_cpu_quota(const CgroupFiles& files) {
  const auto table = read_file(files.proc_self_cgroup);
  if (!table) return std::nullopt;
  const auto membership = find_cpu_cgroup(*table);
  if (!membership) return std::nullopt;
  return membership->version == CgroupVersion::v1 ? quota_v1(files.proc_self_mountinfo, membership->path)
                                                  : quota_v2(files.cgroup2_root, membership->path);
}

}  // namespace obrivane::parallel::platform
