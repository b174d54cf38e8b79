// An archive shown as a read-only directory tree, served straight from the
// archive file (FUSE 3 on Linux; not available on Windows).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/file_stream.h"

struct MountNode {
  std::string name;  // one level, in the host's file-name encoding; empty for the root
  bool directory = false;
  std::uint32_t parent = 0;             // index into MountTree::nodes
  std::vector<std::uint32_t> children;  // directories: indices, sorted by name (byte order)
  std::uint64_t offset = 0;             // files: where the bytes start in the archive
  std::uint64_t size = 0;               // files: how many there are
};

// nodes[0] is the root directory.
struct MountTree {
  std::vector<MountNode> nodes;
};

struct MountSettings {
  std::filesystem::path archive;  // opened again to serve reads: it must still be identity
  FileIdentity identity;
  std::int64_t modified = 0;  // every time stamp shown, in seconds since 1970
  std::filesystem::path mountPoint;
  bool foreground = false;
};

// False, with the reason, where this build cannot mount archives.
bool ArchiveMountAvailable(std::string& reason);

// Mounts tree read-only at settings.mountPoint (an existing directory) and
// serves it until it is unmounted: by `fusermount3 -u`, or, in the foreground,
// by SIGINT, SIGTERM or SIGHUP. mounted() runs once the file system is in
// place, while standard output and error are still the caller's; then, unless
// foreground, the process leaves for the background and the caller's own
// process ends with status 0. False, with the reason, when it could not be
// mounted or serving failed; nothing is left mounted either way.
bool ServeArchiveMount(const MountTree& tree, const MountSettings& settings,
                       const std::function<void()>& mounted, std::string& reason);
