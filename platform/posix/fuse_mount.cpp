// The archive's tree through libfuse 3's low-level interface: inode numbers
// are node indices plus one, so that every request finds its node at once.
#define FUSE_USE_VERSION 312

#include <fcntl.h>
#include <fuse_lowlevel.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

#include "platform/archive_mount.h"

namespace {

// The archive does not change under the mount: the kernel may keep every
// name and attribute for as long as it likes.
constexpr double kForever = 365.0 * 24 * 3600;

struct Served {
  const MountTree* tree = nullptr;
  int archive = -1;
  uid_t owner = 0;
  gid_t group = 0;
  std::int64_t modified = 0;
};

// libfuse's messages: kept while the mount starts, to give the reason of a
// failure in mgarc's own line; after that, on standard error.
std::string* capturedLog = nullptr;

void LogMessage(fuse_log_level, const char* format, va_list arguments) {
  if (capturedLog == nullptr) {
    std::fputs("mgarc: ", stderr);
    std::vfprintf(stderr, format, arguments);
    return;
  }
  char text[512];
  std::vsnprintf(text, sizeof text, format, arguments);
  *capturedLog = text;
}

std::string LastMessage(const std::string& log, const char* otherwise) {
  std::string text = log;
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  if (text.rfind("fuse: ", 0) == 0) text.erase(0, 6);
  return text.empty() ? otherwise : text;
}

const Served& ServedBy(fuse_req_t request) {
  return *static_cast<const Served*>(fuse_req_userdata(request));
}

const MountNode* NodeOf(const Served& served, fuse_ino_t inode) {
  const std::vector<MountNode>& nodes = served.tree->nodes;
  if (inode < FUSE_ROOT_ID || inode - FUSE_ROOT_ID >= nodes.size()) return nullptr;
  return &nodes[inode - FUSE_ROOT_ID];
}

struct stat AttributesOf(const Served& served, fuse_ino_t inode, const MountNode& node) {
  struct stat attributes {};
  attributes.st_ino = inode;
  attributes.st_uid = served.owner;
  attributes.st_gid = served.group;
  attributes.st_blksize = 64 * 1024;
  attributes.st_atim.tv_sec = attributes.st_mtim.tv_sec = attributes.st_ctim.tv_sec =
      static_cast<time_t>(served.modified);
  if (node.directory) {
    attributes.st_mode = S_IFDIR | 0555;
    attributes.st_nlink = 2;
    for (std::uint32_t child : node.children) {
      if (served.tree->nodes[child].directory) ++attributes.st_nlink;
    }
  } else {
    attributes.st_mode = S_IFREG | 0444;
    attributes.st_nlink = 1;
    attributes.st_size = static_cast<off_t>(node.size);
    attributes.st_blocks = static_cast<blkcnt_t>((node.size + 511) / 512);
  }
  return attributes;
}

void Initialize(void*, fuse_conn_info* connection) {
  // The kernel may take the bytes from the archive's own pages, with no copy here.
  if ((connection->capable & FUSE_CAP_SPLICE_WRITE) != 0) {
    connection->want |= FUSE_CAP_SPLICE_WRITE;
  }
}

void Lookup(fuse_req_t request, fuse_ino_t parent, const char* name) {
  const Served& served = ServedBy(request);
  const MountNode* directory = NodeOf(served, parent);
  if (directory == nullptr || !directory->directory) {
    fuse_reply_err(request, ENOTDIR);
    return;
  }
  const std::vector<MountNode>& nodes = served.tree->nodes;
  auto found = std::lower_bound(directory->children.begin(), directory->children.end(), name,
                                [&nodes](std::uint32_t child, const char* key) {
                                  return std::strcmp(nodes[child].name.c_str(), key) < 0;
                                });
  fuse_entry_param entry{};
  entry.entry_timeout = kForever;  // a name that is missing stays missing: cached as such
  if (found != directory->children.end() && nodes[*found].name == name) {
    entry.ino = *found + FUSE_ROOT_ID;
    entry.attr = AttributesOf(served, entry.ino, nodes[*found]);
    entry.attr_timeout = kForever;
  }
  fuse_reply_entry(request, &entry);
}

void GetAttributes(fuse_req_t request, fuse_ino_t inode, fuse_file_info*) {
  const Served& served = ServedBy(request);
  const MountNode* node = NodeOf(served, inode);
  if (node == nullptr) {
    fuse_reply_err(request, ENOENT);
    return;
  }
  struct stat attributes = AttributesOf(served, inode, *node);
  fuse_reply_attr(request, &attributes, kForever);
}

void Open(fuse_req_t request, fuse_ino_t inode, fuse_file_info* file) {
  const MountNode* node = NodeOf(ServedBy(request), inode);
  if (node == nullptr || node->directory) {
    fuse_reply_err(request, node == nullptr ? ENOENT : EISDIR);
    return;
  }
  // The mount is read-only, so the kernel refuses writes first; this is the fallback.
  if ((file->flags & O_ACCMODE) != O_RDONLY) {
    fuse_reply_err(request, EROFS);
    return;
  }
  file->keep_cache = 1;
  file->noflush = 1;
  fuse_reply_open(request, file);
}

void Read(fuse_req_t request, fuse_ino_t inode, std::size_t size, off_t offset, fuse_file_info*) {
  const Served& served = ServedBy(request);
  const MountNode* node = NodeOf(served, inode);
  if (node == nullptr || node->directory) {
    fuse_reply_err(request, node == nullptr ? ENOENT : EISDIR);
    return;
  }
  auto start = static_cast<std::uint64_t>(offset);
  if (offset < 0 || start >= node->size) {
    fuse_reply_buf(request, nullptr, 0);
    return;
  }
  // Straight from the archive: libfuse preads it, or splices it where the
  // kernel allows, and no copy of the entry stays behind.
  fuse_bufvec data{};
  data.count = 1;
  data.buf[0].size = static_cast<std::size_t>(std::min<std::uint64_t>(size, node->size - start));
  data.buf[0].flags =
      static_cast<fuse_buf_flags>(FUSE_BUF_IS_FD | FUSE_BUF_FD_SEEK | FUSE_BUF_FD_RETRY);
  data.buf[0].fd = served.archive;
  data.buf[0].pos = static_cast<off_t>(node->offset + start);
  fuse_reply_data(request, &data, static_cast<fuse_buf_copy_flags>(0));
}

void OpenDirectory(fuse_req_t request, fuse_ino_t inode, fuse_file_info* file) {
  const MountNode* node = NodeOf(ServedBy(request), inode);
  if (node == nullptr || !node->directory) {
    fuse_reply_err(request, node == nullptr ? ENOENT : ENOTDIR);
    return;
  }
  file->cache_readdir = 1;
  file->keep_cache = 1;
  fuse_reply_open(request, file);
}

void ReadDirectory(fuse_req_t request, fuse_ino_t inode, std::size_t size, off_t offset,
                   fuse_file_info*) {
  const Served& served = ServedBy(request);
  const MountNode* node = NodeOf(served, inode);
  if (node == nullptr || !node->directory) {
    fuse_reply_err(request, node == nullptr ? ENOENT : ENOTDIR);
    return;
  }
  std::vector<char> buffer(size);
  std::size_t used = 0;
  // Positions 0 and 1 are "." and "..", then the children in order.
  const std::size_t count = node->children.size() + 2;
  for (auto at = static_cast<std::size_t>(offset < 0 ? 0 : offset); at < count; ++at) {
    struct stat attributes {};
    const char* name = at == 0 ? "." : "..";
    std::uint32_t index = at == 0 ? static_cast<std::uint32_t>(inode - FUSE_ROOT_ID) : node->parent;
    if (at >= 2) {
      index = node->children[at - 2];
      name = served.tree->nodes[index].name.c_str();
    }
    attributes.st_ino = index + FUSE_ROOT_ID;
    attributes.st_mode = served.tree->nodes[index].directory ? S_IFDIR : S_IFREG;
    std::size_t needed = fuse_add_direntry(request, buffer.data() + used, size - used, name,
                                           &attributes, static_cast<off_t>(at + 1));
    if (needed > size - used) break;
    used += needed;
  }
  fuse_reply_buf(request, buffer.data(), used);
}

// Options are split at commas, so a path's commas and backslashes are escaped.
std::string EscapedOption(const std::string& value) {
  std::string escaped;
  for (char c : value) {
    if (c == ',' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

std::string SystemText(int error) {
  return std::system_category().message(error);
}

// Everything a started session holds, released in reverse order.
class Session {
 public:
  ~Session() {
    if (session_ == nullptr) return;
    if (mounted_) fuse_session_unmount(session_);
    if (signals_) fuse_remove_signal_handlers(session_);
    fuse_session_destroy(session_);
  }
  fuse_session* session_ = nullptr;
  bool signals_ = false;
  bool mounted_ = false;
};

class LogCapture {
 public:
  explicit LogCapture(std::string& into) {
    capturedLog = &into;
    fuse_set_log_func(LogMessage);
  }
  ~LogCapture() { capturedLog = nullptr; }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
};

}  // namespace

bool ArchiveMountAvailable(std::string&) {
  return true;
}

bool ServeArchiveMount(const MountTree& tree, const MountSettings& settings,
                       const std::function<void()>& mounted, std::string& reason) {
  // An absolute path: the background process leaves the working directory,
  // and unmounts by this path.
  std::error_code error;
  const std::filesystem::path mountPoint = std::filesystem::canonical(settings.mountPoint, error);
  if (error) {
    reason = error.message();
    return false;
  }
  if (!std::filesystem::is_directory(mountPoint, error)) {
    reason = SystemText(ENOTDIR);
    return false;
  }

  Served served;
  served.tree = &tree;
  served.owner = getuid();
  served.group = getgid();
  served.modified = settings.modified;
  served.archive = open(settings.archive.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat archive {};
  if (served.archive < 0 || fstat(served.archive, &archive) != 0) {
    reason = "cannot open the archive: " + SystemText(errno);
    if (served.archive >= 0) close(served.archive);
    return false;
  }
  struct ArchiveCloser {
    int fd;
    ~ArchiveCloser() { close(fd); }
  } closer{served.archive};
  if (!(FileIdentity{archive.st_dev, archive.st_ino} == settings.identity)) {
    reason = "the archive was replaced while it was being read";
    return false;
  }

  fuse_lowlevel_ops operations{};
  operations.init = Initialize;
  operations.lookup = Lookup;
  operations.getattr = GetAttributes;
  operations.open = Open;
  operations.read = Read;
  operations.opendir = OpenDirectory;
  operations.readdir = ReadDirectory;

  const std::string options =
      "ro,default_permissions,subtype=mgarc,fsname=" +
      EscapedOption(std::filesystem::absolute(settings.archive, error).string());
  std::vector<std::string> words = {"mgarc", "-o", options};
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  fuse_args arguments = FUSE_ARGS_INIT(static_cast<int>(argv.size()), argv.data());

  std::string log;
  Session session;
  {
    LogCapture capture(log);
    session.session_ = fuse_session_new(&arguments, &operations, sizeof operations, &served);
    fuse_opt_free_args(&arguments);
    if (session.session_ == nullptr) {
      reason = LastMessage(log, "cannot start the file system");
      return false;
    }
    if (fuse_set_signal_handlers(session.session_) != 0) {
      reason = LastMessage(log, "cannot handle signals");
      return false;
    }
    session.signals_ = true;
    if (fuse_session_mount(session.session_, mountPoint.c_str()) != 0) {
      reason = LastMessage(log, "cannot mount");
      return false;
    }
    session.mounted_ = true;
  }
  mounted();
  std::fflush(stdout);
  std::fflush(stderr);
  if (fuse_daemonize(settings.foreground ? 1 : 0) != 0) {
    reason = "cannot go to the background";
    return false;
  }
  fuse_loop_config* loop = fuse_loop_cfg_create();
  int result = loop == nullptr ? -ENOMEM : fuse_session_loop_mt(session.session_, loop);
  if (loop != nullptr) fuse_loop_cfg_destroy(loop);
  // A signal ends the loop with its number; only a failure gives a negative one.
  if (result < 0) {
    reason = "the file system stopped: " + SystemText(-result);
    return false;
  }
  return true;
}
