#include "mgarc/mount_tree.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// Small files that follow the one being read in its directory go to the
// system's cache before they are asked for, so that a tree read file by file
// costs next to no request per file. Each run is bounded, so that little is
// cached that is not read.
constexpr std::uint64_t kFilledFileLimit = 128 * 1024;
constexpr std::uint64_t kFilledBytesLimit = 1024 * 1024;
constexpr std::size_t kFilledFilesLimit = 256;

// Where name stands, or would stand, among the children of directory.
std::vector<std::uint32_t>::const_iterator ChildPosition(const std::vector<MountNode>& nodes,
                                                         std::uint32_t directory,
                                                         std::string_view name) {
  const std::vector<std::uint32_t>& children = nodes[directory].children;
  return std::lower_bound(children.begin(), children.end(), name,
                          [&nodes](std::uint32_t child, std::string_view key) {
                            return std::string_view(nodes[child].name) < key;
                          });
}

// The fills run on a thread of their own: a fill waits for pages that a
// reader may hold while its own request waits for an answer, which a serving
// thread busy filling could never give.
class ReadAhead final : public MountReadAhead {
 public:
  ReadAhead(const std::vector<MountNode>& nodes, MountCacheFill fill)
      : nodes_(nodes), fill_(std::move(fill)), filled_(nodes.size()) {
    thread_ = std::thread([this] { Run(); });
  }
  ~ReadAhead() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // Fills the files that follow file in its directory; a newer wish replaces
  // one not yet begun, as the reader has moved on.
  void Began(std::uint32_t file) override {
    filled_[file] = true;
    const std::uint32_t directory = nodes_[file].parent;
    const auto at = ChildPosition(nodes_, directory, nodes_[file].name);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      wish_ = {directory, static_cast<std::size_t>(at - nodes_[directory].children.begin()) + 1};
      pending_ = true;
    }
    wake_.notify_one();
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return pending_ || stopping_; });
      if (stopping_) return;
      pending_ = false;
      auto [directory, first] = wish_;
      lock.unlock();
      Fill(directory, first);
      lock.lock();
    }
  }

  // Fills the files of directory from its child number first on.
  void Fill(std::uint32_t directory, std::size_t first) {
    const std::vector<std::uint32_t>& children = nodes_[directory].children;
    std::uint64_t bytes = 0;
    for (std::size_t k = first;
         k < children.size() && k < first + kFilledFilesLimit && bytes < kFilledBytesLimit; ++k) {
      const std::uint32_t index = children[k];
      const MountNode& node = nodes_[index];
      if (node.directory || node.size == 0 || node.size > kFilledFileLimit) continue;
      if (filled_[index].exchange(true)) continue;
      if (!fill_(index)) {
        filled_[index] = false;
        continue;
      }
      bytes += node.size;
    }
  }

  const std::vector<MountNode>& nodes_;
  MountCacheFill fill_;
  std::vector<std::atomic<bool>> filled_;  // by node: its bytes went to the cache unasked
  std::mutex mutex_;
  std::condition_variable wake_;
  std::pair<std::uint32_t, std::size_t> wish_;
  bool pending_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace

std::string NotShownProblem(EntryFate fate) {
  std::string reason = FateReason(fate, "mount point");
  return reason.empty() ? reason : "not shown: " + reason;
}

MountTree::MountTree() {
  nodes_.emplace_back();
  nodes_[0].directory = true;
}

std::string MountTree::Add(const std::vector<std::string>& levels, std::uint64_t offset,
                           std::uint64_t size) {
  // The kernel takes a name with '/' or a zero byte for no name at all, and
  // would fail the whole directory that lists it.
  for (const std::string& level : levels) {
    if (level.find_first_of(std::string("/\0", 2)) != std::string::npos) {
      return NotShownProblem(EntryFate::kLeaves);
    }
  }
  std::uint32_t at = 0;
  for (std::size_t l = 0; l + 1 < levels.size(); ++l) {
    if (levels[l] == ".") continue;
    std::uint32_t level = Child(at, levels[l], true);
    if (!nodes_[level].directory) return NotShownProblem(EntryFate::kNeedsDirectory);
    at = level;
  }
  if (levels.back() == ".") return "not shown: a directory has this name";
  std::uint32_t file = Child(at, levels.back(), false);
  if (nodes_[file].directory) return NotShownProblem(EntryFate::kIsDirectory);
  nodes_[file].offset = offset;
  nodes_[file].size = size;
  return {};
}

void MountTree::Finish() {
  // The map's order is each directory's children sorted by name.
  for (const auto& [key, child] : children_) nodes_[key.first].children.push_back(child);
  children_.clear();
}

bool MountTree::Find(std::uint32_t directory, std::string_view name, std::uint32_t* child) const {
  const auto found = ChildPosition(nodes_, directory, name);
  if (found == nodes_[directory].children.end() || nodes_[*found].name != name) return false;
  *child = *found;
  return true;
}

std::unique_ptr<MountReadAhead> MountTree::StartReadAhead(MountCacheFill fill) const {
  return std::make_unique<ReadAhead>(nodes_, std::move(fill));
}

std::uint32_t MountTree::Child(std::uint32_t parent, const std::string& name, bool directory) {
  auto [slot, added] =
      children_.try_emplace({parent, name}, static_cast<std::uint32_t>(nodes_.size()));
  if (added) {
    MountNode node;
    node.name = name;
    node.directory = directory;
    node.parent = parent;
    nodes_.push_back(std::move(node));
  }
  return slot->second;
}
