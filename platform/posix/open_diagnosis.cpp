#include "platform/posix/open_diagnosis.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace plat::posix {

namespace {

// Services known to open new serial ports on their own: ModemManager probes every new one for
// a modem; brltty claims some USB-serial converters for braille displays.
constexpr const char* kPortGrabbers[] = {"ModemManager", "brltty"};

bool IsPid(const std::string& name) {
  return !name.empty() && name.size() < 10 &&
         std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<std::string> RunningGrabbers(const SysCalls& sys, const std::string& proc) {
  std::vector<std::string> running;
  for (const std::string& pid : Processes(sys, proc)) {
    const std::string name = ProgramName(sys, proc, pid);
    for (const char* grabber : kPortGrabbers) {
      if (name == grabber && std::find(running.begin(), running.end(), name) == running.end()) {
        running.push_back(name);
      }
    }
  }
  return running;
}

std::string UserName(const SysCalls& sys, uid_t uid) {
  std::string name;
  gid_t primary = 0;
  if (sys.UserById(uid, &name, &primary)) return name;
  return std::to_string(uid);
}

bool SessionHasGroup(const SysCalls& sys, gid_t gid) {
  if (sys.Getegid() == gid) return true;
  const int count = sys.Getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  const int got = sys.Getgroups(count, groups.data());
  if (got < 0) return false;
  groups.resize(static_cast<std::size_t>(got));
  return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

OpenFailure PermissionFailure(const SysCalls& sys, const std::string& path, OpenFailure failure) {
  struct stat node {};
  if (sys.Stat(path.c_str(), &node) != 0) return failure;
  const uid_t uid = sys.Getuid();
  std::string user;
  gid_t primary = 0;
  const bool knownUser = sys.UserById(uid, &user, &primary);
  failure.user = knownUser ? user : std::to_string(uid);
  std::string group;
  std::vector<std::string> members;
  const bool knownGroup = sys.GroupById(node.st_gid, &group, &members);
  failure.group = knownGroup ? group : std::to_string(node.st_gid);

  const bool groupMayUse = (node.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
  if (groupMayUse && node.st_gid != 0 && !SessionHasGroup(sys, node.st_gid)) {
    const bool member =
        (knownUser && primary == node.st_gid) ||
        (knownUser && std::find(members.begin(), members.end(), user) != members.end());
    failure.cause = member ? OpenFailure::Cause::GroupNotActive : OpenFailure::Cause::NotInGroup;
    return failure;
  }
  failure.cause = OpenFailure::Cause::NoAccess;
  failure.owner = UserName(sys, node.st_uid);
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(node.st_mode & 07777));
  failure.mode = mode;
  return failure;
}

}  // namespace

std::vector<std::string> Processes(const SysCalls& sys, const std::string& proc) {
  std::vector<std::string> entries;
  if (sys.ListDirectory(proc.c_str(), &entries) != 0) return {};
  std::vector<std::string> pids;
  for (const std::string& entry : entries) {
    if (IsPid(entry)) pids.push_back(entry);
  }
  std::sort(pids.begin(), pids.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  return pids;
}

std::string ProgramName(const SysCalls& sys, const std::string& proc, const std::string& pid) {
  return ReadSmallFile(sys, proc + "/" + pid + "/comm").value_or("?");
}


OpenFailure DiagnoseOpenFailure(const SysCalls& sys, const HostPaths& paths,
                                const std::string& path, int err, DWORD code) {
  OpenFailure failure;
  failure.code = code;
  failure.path = path;
  switch (err) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
      failure.cause = OpenFailure::Cause::Gone;
      return failure;
    case EACCES:
    case EPERM:
      return PermissionFailure(sys, path, failure);
    case EBUSY:
    case EWOULDBLOCK: {
      struct stat node {};
      std::vector<OpenFailure::Holder> holders;
      if (sys.Stat(path.c_str(), &node) == 0) holders = FindHolders(sys, paths.proc, node.st_rdev);
      return HeldFailure(sys, paths, path, code, std::move(holders));
    }
    default:
      return failure;
  }
}

OpenFailure HeldFailure(const SysCalls& sys, const HostPaths& paths, const std::string& path,
                        DWORD code, std::vector<OpenFailure::Holder> holders) {
  OpenFailure failure;
  failure.cause = OpenFailure::Cause::Held;
  failure.code = code;
  failure.path = path;
  failure.holders = std::move(holders);
  if (failure.holders.empty()) failure.suspects = RunningGrabbers(sys, paths.proc);
  return failure;
}

std::vector<OpenFailure::Holder> FindHolders(const SysCalls& sys, const std::string& proc,
                                             dev_t rdev) {
  std::vector<OpenFailure::Holder> holders;
  const std::string self = std::to_string(sys.Getpid());
  for (const std::string& pid : Processes(sys, proc)) {
    if (pid == self) continue;
    const std::string fdDir = proc + "/" + pid + "/fd";
    std::vector<std::string> fds;
    if (sys.ListDirectory(fdDir.c_str(), &fds) != 0) continue;  // another user's process
    for (const std::string& fd : fds) {
      const std::string link = fdDir + "/" + fd;
      // Only descriptors of device files are looked at further (a stat of anything else, a
      // file on a stuck network mount say, could block).
      char target[16];
      const ssize_t n = sys.Readlink(link.c_str(), target, sizeof target);
      if (n < 5 || std::string(target, 5) != "/dev/") continue;
      struct stat opened {};
      if (sys.Stat(link.c_str(), &opened) != 0 || !S_ISCHR(opened.st_mode) ||
          opened.st_rdev != rdev) {
        continue;
      }
      holders.push_back({ProgramName(sys, proc, pid), std::stoi(pid)});
      break;
    }
  }
  return holders;
}

OpenFailure::Holder ThisProgram(const SysCalls& sys, const std::string& proc) {
  const int pid = sys.Getpid();
  return {ProgramName(sys, proc, std::to_string(pid)), pid};
}

}  // namespace plat::posix
