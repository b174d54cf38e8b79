// What the window shows of an archive, decided without a window, so that it
// is tested on any host: the directories as a tree, the files of one
// directory (or, with a filter, those below it that match) as rows sorted by
// any column, and the counts the status bar gives. It rests on the tree the
// mount shows: the files `mgarc extract` would write, by the same rules.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "mgarc/engine/archive_view.h"
#include "mgarc/engine/entry_names.h"
#include "mgarc/engine/mount_tree.h"

namespace mgarc::window {

enum class Column { kName, kSize, kType, kOffset };

// Files shown, and their bytes.
struct Totals {
  std::size_t files = 0;
  std::uint64_t bytes = 0;
};

class BrowserModel {
 public:
  static constexpr std::uint32_t kRoot = 0;

  // A name as the host's file calls take it (code page 932 on Windows), as
  // UTF-8.
  using ShownName = std::function<std::string(std::string_view)>;

  // The archive's tree; the entries extraction would not write are problems().
  BrowserModel(const engine::ArchiveView& archive, const ShownName& shown);

  const engine::MountTree& tree() const { return tree_; }
  const std::vector<engine::Problem>& problems() const { return problems_; }
  // Every file of the archive, and its bytes.
  Totals whole() const { return whole_; }

  // The directories in directory, in name order: the tree's branches.
  std::vector<std::uint32_t> Subdirectories(std::uint32_t directory) const;
  // The files directory holds; with patterns (extract's), every file below
  // directory whose path one matches. In name order.
  std::vector<std::uint32_t> Files(std::uint32_t directory,
                                   const std::vector<std::string>& patterns,
                                   const engine::FoldCase& fold) const;
  // Puts rows in the column's order, the path deciding between equals;
  // names compare folded, as the host's file names do.
  void Sort(std::vector<std::uint32_t>& rows, Column column, bool ascending,
            const engine::FoldCase& fold) const;

  // The node's name (UTF-8), and its path below the root with '/' between
  // levels, as list shows it and extract's patterns match it.
  std::string_view Name(std::uint32_t node) const {
    const std::uint32_t begin = node == 0 ? 0 : nameEnds_[node - 1];
    return std::string_view(names_).substr(begin, nameEnds_[node] - begin);
  }
  std::string Path(std::uint32_t node) const;
  std::uint64_t Size(std::uint32_t node) const { return tree_.nodes()[node].size; }
  std::uint64_t Offset(std::uint32_t node) const { return tree_.nodes()[node].offset; }
  // The sum of rows' files.
  Totals Count(const std::vector<std::uint32_t>& rows) const;

 private:
  void FilesBelow(std::uint32_t directory, const std::vector<std::string>& patterns,
                  const engine::FoldCase& fold, std::vector<std::uint32_t>& files) const;

  engine::MountTree tree_;
  std::string names_;                    // every node's UTF-8 name, one after another
  std::vector<std::uint32_t> nameEnds_;  // by node: where its name ends in names_
  std::vector<engine::Problem> problems_;
  Totals whole_;
};

// The type column: a name's extension in upper case ("WAV" for "a.wav"), ""
// for a name without one.
std::string TypeOf(std::string_view name);

}  // namespace mgarc::window
