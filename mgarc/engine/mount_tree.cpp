// The mount's tree: the files extraction would write, laid out for lookups.
// How it works: the plan's fates decide which entries are shown, exactly as
// extract decides them; each shown entry is added by its levels, directories
// made on the way through an open-addressed table keyed by parent and name.
// Finish then sorts every node by parent and name, so that a directory's
// children stand together and a lookup is a binary search, with no table
// kept once the tree is built. When a directory is listed, or a file in it
// first read, a thread of its own fills the kernel's cache with its files (those
// after the one read), which a program going through the tree reads next.
#include "mgarc/engine/mount_tree.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "archive/path_rules.h"
#include "platform/case_folding.h"
#include "platform/text_conversion.h"

namespace mgarc::engine {

namespace {

// Small files that follow the one being read in its directory go to the
// system's cache before they are asked for, so that a tree read file by file
// costs next to no request per file. Each run is bounded, so that little is
// cached that is not read.
constexpr std::uint64_t kFilledFileLimit = 128 * 1024;
constexpr std::uint64_t kFilledBytesLimit = 1024 * 1024;
constexpr std::size_t kFilledFilesLimit = 256;

// Where name stands, or would stand, among the children of directory.
const std::uint32_t* ChildPosition(const MountContents& contents, std::uint32_t directory,
                                   std::string_view name) {
  const MountChildren children = contents.Children(directory);
  return std::lower_bound(children.begin(), children.end(), name,
                          [&contents](std::uint32_t child, std::string_view key) {
                            return std::string_view(contents.Name(child)) < key;
                          });
}

bool Fillable(const MountNode& node) {
  return !node.directory && node.size > 0 && node.size <= kFilledFileLimit;
}

// The fills run on a thread of their own: a fill waits for pages that a
// reader may hold while its own request waits for an answer, which a serving
// thread busy filling could never give.
class ReadAhead final : public MountReadAhead {
 public:
  ReadAhead(const MountContents& contents, MountCacheFill fill)
      : contents_(contents),
        nodes_(contents.nodes()),
        fill_(std::move(fill)),
        filled_(nodes_.size()) {
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
    const auto at = ChildPosition(contents_, directory, contents_.Name(file));
    Wish(directory, static_cast<std::size_t>(at - contents_.Children(directory).begin()) + 1);
  }

  // A directory without a file to fill wishes nothing: it must not take the
  // place of one listed just before it (a listing of a tree ends with its
  // parent's).
  void Listed(std::uint32_t directory) override {
    const MountChildren children = contents_.Children(directory);
    if (std::any_of(children.begin(), children.end(),
                    [this](std::uint32_t child) { return Fillable(nodes_[child]); })) {
      Wish(directory, 0);
    }
  }

 private:
  void Wish(std::uint32_t directory, std::size_t first) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      wish_ = {directory, first};
      pending_ = true;
    }
    wake_.notify_one();
  }

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
    const MountChildren children = contents_.Children(directory);
    std::uint64_t bytes = 0;
    for (std::size_t k = first;
         k < children.size() && k < first + kFilledFilesLimit && bytes < kFilledBytesLimit; ++k) {
      const std::uint32_t index = children[k];
      const MountNode& node = nodes_[index];
      if (!Fillable(node)) continue;
      if (filled_[index].exchange(true)) continue;
      if (!fill_(index)) {
        filled_[index] = false;
        continue;
      }
      bytes += node.size;
    }
  }

  const MountContents& contents_;
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

namespace {

// Why the mount does not show an entry of this fate; none for one it shows.
std::optional<std::string> NotShownReason(EntryFate fate) {
  std::string reason = FateReason(fate, "mount point");
  if (reason.empty()) return std::nullopt;
  return "not shown: " + reason;
}

}  // namespace

MountTree::MountTree() : names_(1, '\0') {
  nodes_.emplace_back();
  nodes_[0].directory = true;
}

void MountTree::Reserve(std::size_t files) {
  nodes_.reserve(2 * files + 1);
}

std::optional<std::string> MountTree::Add(const std::vector<std::string>& levels,
                                          std::uint64_t offset, std::uint64_t size) {
  // The kernel takes a name with '/' or a zero byte for no name at all, and
  // would fail the whole directory that lists it.
  for (const std::string& level : levels) {
    if (level.find_first_of(std::string("/\0", 2)) != std::string::npos) {
      return NotShownReason(EntryFate::kLeaves);
    }
  }
  std::uint32_t at = 0;
  for (std::size_t l = 0; l + 1 < levels.size(); ++l) {
    if (levels[l] == ".") continue;
    std::uint32_t level = Child(at, levels[l], true);
    if (!nodes_[level].directory) return NotShownReason(EntryFate::kNeedsDirectory);
    at = level;
  }
  if (levels.back() == ".") return "not shown: a directory has this name";
  std::uint32_t file = Child(at, levels.back(), false);
  if (nodes_[file].directory) return NotShownReason(EntryFate::kIsDirectory);
  nodes_[file].offset = offset;
  nodes_[file].size = static_cast<std::uint32_t>(size);
  return std::nullopt;
}

void MountTree::Finish() {
  std::vector<std::uint32_t>().swap(slots_);
  // Every node but the root is a child: sorted by parent, then name, each
  // directory's children stand together in order.
  children_.resize(nodes_.size() - 1);
  for (std::uint32_t i = 1; i < nodes_.size(); ++i) children_[i - 1] = i;
  std::sort(children_.begin(), children_.end(), [this](std::uint32_t a, std::uint32_t b) {
    if (nodes_[a].parent != nodes_[b].parent) return nodes_[a].parent < nodes_[b].parent;
    return std::string_view(Name(a)) < std::string_view(Name(b));
  });
  for (std::uint32_t k = 0; k < children_.size(); ++k) {
    MountNode& parent = nodes_[nodes_[children_[k]].parent];
    if (parent.childCount++ == 0) parent.firstChild = k;
  }
}

bool MountTree::Find(std::uint32_t directory, std::string_view name, std::uint32_t* child) const {
  const auto found = ChildPosition(*this, directory, name);
  if (found == Children(directory).end() || Name(*found) != name) return false;
  *child = *found;
  return true;
}

std::unique_ptr<MountReadAhead> MountTree::StartReadAhead(MountCacheFill fill) const {
  return std::make_unique<ReadAhead>(*this, std::move(fill));
}

std::size_t MountTree::Slot(std::uint32_t parent, std::string_view name) const {
  const std::size_t mask = slots_.size() - 1;
  std::size_t slot = (std::hash<std::string_view>{}(name) ^
                      static_cast<std::size_t>(parent * 0x9E3779B97F4A7C15ull)) &
                     mask;
  for (; slots_[slot] != 0; slot = (slot + 1) & mask) {
    const MountNode& node = nodes_[slots_[slot]];
    if (node.parent == parent && Name(slots_[slot]) == name) break;
  }
  return slot;
}

std::uint32_t MountTree::Child(std::uint32_t parent, const std::string& name, bool directory) {
  // At most three quarters full, so that a search ends soon.
  if (4 * nodes_.size() >= 3 * slots_.size()) {
    std::vector<std::uint32_t> before(std::max<std::size_t>(slots_.size() * 2, 1024));
    before.swap(slots_);
    for (std::uint32_t node : before) {
      if (node != 0) slots_[Slot(nodes_[node].parent, Name(node))] = node;
    }
  }
  const std::size_t slot = Slot(parent, name);
  if (slots_[slot] != 0) return slots_[slot];
  MountNode node;
  node.name = static_cast<std::uint32_t>(names_.size());
  node.directory = directory;
  node.parent = parent;
  names_.append(name.c_str(), name.size() + 1);
  slots_[slot] = static_cast<std::uint32_t>(nodes_.size());
  nodes_.push_back(node);
  return slots_[slot];
}

std::vector<Problem> PlanMountTree(const ArchiveView& archive, MountTree& tree) {
  NameCodec codec;
  // Extraction's own fates; its division into work items is not needed here,
  // nor the plan once the fates are known.
  std::vector<EntryFate> fates;
  {
    ExtractionPlan plan;
    plan.entries.reserve(archive.entries.size());
    for (const ArchiveEntry& entry : archive.entries) {
      plan.entries.push_back(PlannedEntry{&entry});
    }
    DecideFates(plan, kHostRules, DecodeWith(codec), UppercaseText);
    fates.reserve(plan.entries.size());
    for (const PlannedEntry& planned : plan.entries) fates.push_back(planned.fate);
  }
  tree.Reserve(static_cast<std::size_t>(std::count(fates.begin(), fates.end(), EntryFate::kWrite)));
  std::vector<Problem> problems;
  for (std::size_t i = 0; i < archive.entries.size(); ++i) {
    const ArchiveEntry& entry = archive.entries[i];
    if (fates[i] == EntryFate::kReplacedLater) continue;
    std::optional<std::string> reason = NotShownReason(fates[i]);
    if (!reason) {
      std::vector<std::string> levels = StoredLevels(entry.stored());
      for (std::string& level : levels) level = codec.FileName(level);
      reason = tree.Add(levels, entry.offset, entry.present);
    }
    if (reason) {
      problems.push_back({entry.shown(), std::move(*reason)});
    } else if (std::optional<Problem> cut = CutShortProblem(entry)) {
      problems.push_back(std::move(*cut));
    }
  }
  tree.Finish();
  return problems;
}

}  // namespace mgarc::engine
