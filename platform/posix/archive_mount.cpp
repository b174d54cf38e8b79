// The mount's contents through libfuse 3's low-level interface: inode numbers
// are node indices plus one, so that every request finds its node at once.
#define FUSE_USE_VERSION 312

#include "platform/archive_mount.h"

#include <fcntl.h>
#include <fuse_lowlevel.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace {

// The archive does not change under the mount: the kernel may keep every
// name and attribute for as long as it likes.
constexpr double kForever = 365.0 * 24 * 3600;

// What one mount serves, and the archive it reads from (closed with it).
struct Served {
  explicit Served(const MountContents& shown) : contents(shown) {}
  ~Served() {
    if (archive >= 0) close(archive);
  }
  Served(const Served&) = delete;
  Served& operator=(const Served&) = delete;

  const MountContents& contents;
  const std::vector<MountNode>& nodes = contents.nodes();
  int archive = -1;
  uid_t owner = 0;
  gid_t group = 0;
  std::int64_t modified = 0;
  std::atomic<bool> kernelOpens{false};  // the kernel opens files and directories without asking
  fuse_session* session = nullptr;
  std::unique_ptr<MountReadAhead> readAhead;  // while the loop runs
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

// length bytes of the archive from position at on, as libfuse takes them:
// it preads them, or splices them where the kernel allows, and no copy of the
// entry stays behind.
fuse_bufvec ArchiveBytes(const Served& served, std::uint64_t at, std::size_t length) {
  fuse_bufvec data{};
  data.count = 1;
  data.buf[0].size = length;
  data.buf[0].flags =
      static_cast<fuse_buf_flags>(FUSE_BUF_IS_FD | FUSE_BUF_FD_SEEK | FUSE_BUF_FD_RETRY);
  data.buf[0].fd = served.archive;
  data.buf[0].pos = static_cast<off_t>(at);
  return data;
}

// The archive's bytes that the fills read last: the files filled one after
// another lie one after another, so one read serves many small ones.
class FillWindow {
 public:
  // length bytes from at on, or nullptr when they cannot be read.
  const char* Bytes(int archive, std::uint64_t at, std::size_t length) {
    if (at < start_ || at + length > start_ + held_) {
      if (length > kSize) return nullptr;
      const ssize_t got = pread(archive, bytes_.get(), kSize, static_cast<off_t>(at));
      start_ = at;
      held_ = got > 0 ? static_cast<std::size_t>(got) : 0;
      if (length > held_) return nullptr;
    }
    return bytes_.get() + (at - start_);
  }

  static constexpr std::size_t kSize = 256 * 1024;

 private:
  std::unique_ptr<char[]> bytes_{new char[kSize]};  // left unfilled
  std::uint64_t start_ = 0;
  std::size_t held_ = 0;
};

// Puts a file's bytes in the kernel's cache unasked (from the fills' one
// thread). A file the kernel does not know yet takes none: it asks when it
// needs them.
bool FillCache(const Served& served, std::uint32_t index, FillWindow& window) {
  const MountNode& node = served.nodes[index];
  const auto size = static_cast<std::size_t>(node.size);
  fuse_bufvec data = ArchiveBytes(served, node.offset, size);
  if (const char* bytes = window.Bytes(served.archive, node.offset, size)) {
    data.buf[0].flags = static_cast<fuse_buf_flags>(0);
    data.buf[0].mem = const_cast<char*>(bytes);
  }
  return fuse_lowlevel_notify_store(served.session, index + FUSE_ROOT_ID, 0, &data,
                                    static_cast<fuse_buf_copy_flags>(0)) == 0;
}

Served& ServedBy(fuse_req_t request) {
  return *static_cast<Served*>(fuse_req_userdata(request));
}

const MountNode* NodeOf(const Served& served, fuse_ino_t inode) {
  const std::vector<MountNode>& nodes = served.nodes;
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
    for (std::uint32_t child :
         served.contents.Children(static_cast<std::uint32_t>(inode - FUSE_ROOT_ID))) {
      if (served.nodes[child].directory) ++attributes.st_nlink;
    }
  } else {
    attributes.st_mode = S_IFREG | 0444;
    attributes.st_nlink = 1;
    attributes.st_size = static_cast<off_t>(node.size);
    attributes.st_blocks = static_cast<blkcnt_t>((std::uint64_t{node.size} + 511) / 512);
  }
  return attributes;
}

void Initialize(void* data, fuse_conn_info* connection) {
  // The kernel may take the bytes from the archive's own pages, with no copy here.
  if ((connection->capable & FUSE_CAP_SPLICE_WRITE) != 0) {
    connection->want |= FUSE_CAP_SPLICE_WRITE;
  }
  // Every listing gives the attributes too, so that no name needs a lookup of its own.
  connection->want &= ~FUSE_CAP_READDIRPLUS_AUTO;
  const unsigned noOpens = FUSE_CAP_NO_OPEN_SUPPORT | FUSE_CAP_NO_OPENDIR_SUPPORT;
  static_cast<Served*>(data)->kernelOpens = (connection->capable & noOpens) == noOpens;
}

void Lookup(fuse_req_t request, fuse_ino_t parent, const char* name) {
  const Served& served = ServedBy(request);
  const MountNode* directory = NodeOf(served, parent);
  if (directory == nullptr || !directory->directory) {
    fuse_reply_err(request, ENOTDIR);
    return;
  }
  fuse_entry_param entry{};
  entry.entry_timeout = kForever;  // a name that is missing stays missing: cached as such
  std::uint32_t child = 0;
  if (served.contents.Find(static_cast<std::uint32_t>(parent - FUSE_ROOT_ID), name, &child)) {
    entry.ino = child + FUSE_ROOT_ID;
    entry.attr = AttributesOf(served, entry.ino, served.nodes[child]);
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
  // Where the kernel can, it opens files itself from now on, keeping their
  // cache: no more requests on open and close.
  if (ServedBy(request).kernelOpens) {
    fuse_reply_err(request, ENOSYS);
    return;
  }
  file->keep_cache = 1;
  file->noflush = 1;
  fuse_reply_open(request, file);
}

void Read(fuse_req_t request, fuse_ino_t inode, std::size_t size, off_t offset, fuse_file_info*) {
  Served& served = ServedBy(request);  // the request is gone once answered
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
  const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(size, node->size - start));
  // An archive cut short since the mount has lost these bytes: a read of
  // them fails rather than showing a file that ends early.
  struct stat info {};
  if (fstat(served.archive, &info) != 0 ||
      static_cast<std::uint64_t>(info.st_size) < node->offset + start + length) {
    fuse_reply_err(request, EIO);
    return;
  }
  fuse_bufvec data = ArchiveBytes(served, node->offset + start, length);
  fuse_reply_data(request, &data, static_cast<fuse_buf_copy_flags>(0));
  if (start == 0 && served.readAhead != nullptr) {
    served.readAhead->Began(static_cast<std::uint32_t>(inode - FUSE_ROOT_ID));
  }
}

void OpenDirectory(fuse_req_t request, fuse_ino_t inode, fuse_file_info* file) {
  const MountNode* node = NodeOf(ServedBy(request), inode);
  if (node == nullptr || !node->directory) {
    fuse_reply_err(request, node == nullptr ? ENOENT : ENOTDIR);
    return;
  }
  if (ServedBy(request).kernelOpens) {
    fuse_reply_err(request, ENOSYS);
    return;
  }
  file->cache_readdir = 1;
  file->keep_cache = 1;
  fuse_reply_open(request, file);
}

// Lists a directory from position offset on: "." and ".." first, then the
// children in order; with plus, each with its attributes, as a lookup gives them.
void List(fuse_req_t request, fuse_ino_t inode, std::size_t size, off_t offset, bool plus) {
  const Served& served = ServedBy(request);
  const MountNode* node = NodeOf(served, inode);
  if (node == nullptr || !node->directory) {
    fuse_reply_err(request, node == nullptr ? ENOENT : ENOTDIR);
    return;
  }
  const std::vector<MountNode>& nodes = served.nodes;
  std::vector<char> buffer(size);
  std::size_t used = 0;
  const MountChildren children =
      served.contents.Children(static_cast<std::uint32_t>(inode - FUSE_ROOT_ID));
  const std::size_t count = children.size() + 2;
  for (auto at = static_cast<std::size_t>(offset < 0 ? 0 : offset); at < count; ++at) {
    const char* name = at == 0 ? "." : "..";
    std::uint32_t index = at == 0 ? static_cast<std::uint32_t>(inode - FUSE_ROOT_ID) : node->parent;
    if (at >= 2) {
      index = children[at - 2];
      name = served.contents.Name(index);
    }
    fuse_entry_param entry{};
    entry.ino = index + FUSE_ROOT_ID;
    entry.attr = AttributesOf(served, entry.ino, nodes[index]);
    entry.attr_timeout = entry.entry_timeout = kForever;
    char* place = buffer.data() + used;
    const auto next = static_cast<off_t>(at + 1);
    std::size_t needed =
        plus ? fuse_add_direntry_plus(request, place, size - used, name, &entry, next)
             : fuse_add_direntry(request, place, size - used, name, &entry.attr, next);
    if (needed > size - used) break;
    used += needed;
  }
  fuse_reply_buf(request, buffer.data(), used);
  // The kernel knows the files a listing with attributes named: their bytes
  // can go to its cache before the reader, which lists before it reads, asks.
  if (plus && offset > 0 && served.readAhead != nullptr) {
    served.readAhead->Listed(static_cast<std::uint32_t>(inode - FUSE_ROOT_ID));
  }
}

void ReadDirectory(fuse_req_t request, fuse_ino_t inode, std::size_t size, off_t offset,
                   fuse_file_info*) {
  List(request, inode, size, offset, false);
}

void ReadDirectoryPlus(fuse_req_t request, fuse_ino_t inode, std::size_t size, off_t offset,
                       fuse_file_info*) {
  List(request, inode, size, offset, true);
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

// Takes an absolute mount point, as the background process leaves the
// working directory and unmounts by this path, and opens the archive that
// the tree was made from: false, with the reason, when either fails.
bool OpenAndCheck(const MountSettings& settings, Served& served, std::filesystem::path& mountPoint,
                  std::string& reason) {
  std::error_code error;
  mountPoint = std::filesystem::canonical(settings.mountPoint, error);
  if (error) {
    reason = error.message();
    return false;
  }
  if (!std::filesystem::is_directory(mountPoint, error)) {
    reason = SystemText(ENOTDIR);
    return false;
  }
  // A second file system mounted there would hide the first until unmounted.
  struct stat at {};
  struct stat above {};
  if (stat(mountPoint.c_str(), &at) == 0 && stat((mountPoint / "..").c_str(), &above) == 0 &&
      (at.st_dev != above.st_dev || at.st_ino == above.st_ino)) {
    reason = "already a mount point";
    return false;
  }
  served.owner = getuid();
  served.group = getgid();
  served.modified = settings.modified;
  served.archive = open(settings.archive.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat archive {};
  if (served.archive < 0 || fstat(served.archive, &archive) != 0) {
    reason = "cannot open the archive: " + SystemText(errno);
    return false;
  }
  if (!(FileIdentity{archive.st_dev, archive.st_ino} == settings.identity)) {
    reason = "the archive was replaced while it was being read";
    return false;
  }
  return true;
}

// Creates the session, with its signal handlers, and mounts it at mountPoint;
// false, with libfuse's reason, when a step fails.
bool StartSession(Session& session, Served& served, const std::filesystem::path& archive,
                  const std::filesystem::path& mountPoint, std::string& reason) {
  fuse_lowlevel_ops operations{};
  operations.init = Initialize;
  operations.lookup = Lookup;
  operations.getattr = GetAttributes;
  operations.open = Open;
  operations.read = Read;
  operations.opendir = OpenDirectory;
  operations.readdir = ReadDirectory;
  operations.readdirplus = ReadDirectoryPlus;

  std::error_code error;
  const std::string options = "ro,default_permissions,subtype=mgarc,fsname=" +
                              EscapedOption(std::filesystem::absolute(archive, error).string());
  std::vector<std::string> words = {"mgarc", "-o", options};
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  fuse_args arguments = FUSE_ARGS_INIT(static_cast<int>(argv.size()), argv.data());

  std::string log;
  LogCapture capture(log);
  session.session_ = fuse_session_new(&arguments, &operations, sizeof operations, &served);
  served.session = session.session_;
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
  return true;
}

// Answers requests, reading ahead as files are read, until the file system is
// unmounted; false, with the reason, when serving failed.
bool Serve(Session& session, Served& served, std::string& reason) {
  int result = -ENOMEM;
  FillWindow window;  // the fills run on one thread
  {
    // The signals that unmount go to the loop's threads, which they wake, and
    // not to the thread that reads ahead.
    sigset_t blocked, before;
    sigemptyset(&blocked);
    for (int signal : {SIGHUP, SIGINT, SIGTERM}) sigaddset(&blocked, signal);
    pthread_sigmask(SIG_BLOCK, &blocked, &before);
    served.readAhead = served.contents.StartReadAhead(
        [&served, &window](std::uint32_t file) { return FillCache(served, file, window); });
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    fuse_loop_config* loop = fuse_loop_cfg_create();
    if (loop != nullptr) result = fuse_session_loop_mt(session.session_, loop);
    if (loop != nullptr) fuse_loop_cfg_destroy(loop);
    served.readAhead.reset();
  }
  // A signal ends the loop with its number; only a failure gives a negative one.
  if (result < 0) {
    reason = "the file system stopped: " + SystemText(-result);
    return false;
  }
  return true;
}

}  // namespace

bool ArchiveMountAvailable(std::string&) {
  return true;
}

bool ServeArchiveMount(const MountContents& contents, const MountSettings& settings,
                       const std::function<void()>& mounted, std::string& reason) {
  Served served(contents);
  std::filesystem::path mountPoint;
  if (!OpenAndCheck(settings, served, mountPoint, reason)) return false;
  Session session;
  if (!StartSession(session, served, settings.archive, mountPoint, reason)) return false;
  mounted();
  std::fflush(stdout);
  std::fflush(stderr);
  if (fuse_daemonize(settings.foreground ? 1 : 0) != 0) {
    reason = "cannot go to the background";
    return false;
  }
  return Serve(session, served, reason);
}
