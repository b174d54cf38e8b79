// An archive shown as a read-only directory tree, served straight from the
// archive file (FUSE 3 on Linux; not available on Windows).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_stream.h"

// Small, as there may be 65535 files: names and children are held by the
// contents (MountContents::Name and Children).
struct MountNode {
  std::uint64_t offset = 0;      // files: where the bytes start in the archive
  std::uint32_t size = 0;        // files: how many there are (an entry's size fits)
  std::uint32_t parent = 0;      // index into MountContents::nodes()
  std::uint32_t name = 0;        // where MountContents::Name finds it
  std::uint32_t firstChild = 0;  // directories: where MountContents::Children finds them
  std::uint32_t childCount = 0;
  bool directory = false;
};

// A directory's children, as node indices.
struct MountChildren {
  const std::uint32_t* first = nullptr;
  std::size_t count = 0;

  const std::uint32_t* begin() const { return first; }
  const std::uint32_t* end() const { return first + count; }
  std::size_t size() const { return count; }
  std::uint32_t operator[](std::size_t i) const { return first[i]; }
};

// Puts the bytes of file (a node index) in the system's cache before a reader
// asks for them; false where the system takes none.
using MountCacheFill = std::function<bool(std::uint32_t file)>;

// What fills the cache ahead of the readers while the mount is served; its
// destruction waits for any fill under way, and none runs after it.
class MountReadAhead {
 public:
  virtual ~MountReadAhead() = default;
  // A reader asked for the first bytes of file. Any serving thread calls it.
  virtual void Began(std::uint32_t file) = 0;
  // A reader listed directory, whose files it may read next. Any serving
  // thread calls it.
  virtual void Listed(std::uint32_t directory) = 0;
};

// What a mount shows, made above the platform; it does not change while it is
// served, by several threads at once.
class MountContents {
 public:
  virtual ~MountContents() = default;
  // [0] is the root directory.
  virtual const std::vector<MountNode>& nodes() const = 0;
  // Node node's name: one level, in the host's file-name encoding, ending in a
  // zero byte; "" for the root.
  virtual const char* Name(std::uint32_t node) const = 0;
  // Directory node's children: indices, sorted by name (byte order).
  virtual MountChildren Children(std::uint32_t node) const = 0;
  // The child of directory named name; false when it has none.
  virtual bool Find(std::uint32_t directory, std::string_view name, std::uint32_t* child) const = 0;
  // Starts filling the cache through fill; called once serving runs where it
  // stays (after the move to the background, which threads do not survive).
  virtual std::unique_ptr<MountReadAhead> StartReadAhead(MountCacheFill fill) const = 0;
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

// Mounts contents read-only at settings.mountPoint (an existing directory) and
// serves it until it is unmounted: by `fusermount3 -u`, or, in the foreground,
// by SIGINT, SIGTERM or SIGHUP. mounted() runs once the file system is in
// place, while standard output and error are still the caller's; then, unless
// foreground, the process leaves for the background and the caller's own
// process ends with status 0. False, with the reason, when it could not be
// mounted or serving failed; nothing is left mounted either way.
bool ServeArchiveMount(const MountContents& contents, const MountSettings& settings,
                       const std::function<void()>& mounted, std::string& reason);
