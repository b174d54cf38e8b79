// Windows has no FUSE: mgarc.exe says so instead of mounting.
#include "platform/archive_mount.h"

bool ArchiveMountAvailable(std::string& reason) {
  reason = "not available on Windows";
  return false;
}

bool ServeArchiveMount(const MountContents&, const MountSettings&, const std::function<void()>&,
                       std::string& reason) {
  reason = "not available on Windows";
  return false;
}
