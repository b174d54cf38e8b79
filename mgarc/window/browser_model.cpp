// The window's view of an archive: the mount's tree, listed and sorted.
#include "mgarc/window/browser_model.h"

#include <algorithm>
#include <tuple>

#include "platform/case_folding.h"

namespace mgarc::window {

BrowserModel::BrowserModel(const engine::ArchiveView& archive, const ShownName& shown) {
  problems_ = engine::PlanMountTree(archive, tree_);
  const std::vector<MountNode>& nodes = tree_.nodes();
  nameEnds_.reserve(nodes.size());
  for (std::uint32_t node = 0; node < nodes.size(); ++node) {
    names_ += shown(tree_.Name(node));
    nameEnds_.push_back(static_cast<std::uint32_t>(names_.size()));
    if (nodes[node].directory) continue;
    ++whole_.files;
    whole_.bytes += nodes[node].size;
  }
}

std::vector<std::uint32_t> BrowserModel::Subdirectories(std::uint32_t directory) const {
  std::vector<std::uint32_t> found;
  for (std::uint32_t child : tree_.Children(directory)) {
    if (tree_.nodes()[child].directory) found.push_back(child);
  }
  return found;
}

std::vector<std::uint32_t> BrowserModel::Files(std::uint32_t directory,
                                               const std::vector<std::string>& patterns,
                                               const engine::FoldCase& fold) const {
  std::vector<std::uint32_t> files;
  if (patterns.empty()) {
    for (std::uint32_t child : tree_.Children(directory)) {
      if (!tree_.nodes()[child].directory) files.push_back(child);
    }
    return files;
  }
  FilesBelow(directory, patterns, fold, files);
  return files;
}

void BrowserModel::FilesBelow(std::uint32_t directory, const std::vector<std::string>& patterns,
                              const engine::FoldCase& fold,
                              std::vector<std::uint32_t>& files) const {
  for (std::uint32_t child : tree_.Children(directory)) {
    if (tree_.nodes()[child].directory) {
      FilesBelow(child, patterns, fold, files);
      continue;
    }
    const std::string path = Path(child);
    if (std::any_of(patterns.begin(), patterns.end(), [&](const std::string& pattern) {
          return engine::GlobMatches(pattern, path, fold);
        })) {
      files.push_back(child);
    }
  }
}

void BrowserModel::Sort(std::vector<std::uint32_t>& rows, Column column, bool ascending,
                        const engine::FoldCase& fold) const {
  // Each row's keys, made once rather than at every comparison.
  struct Keyed {
    std::uint32_t node;
    std::string text;  // the folded name or the type
    std::uint64_t number;
    std::string path;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(rows.size());
  for (std::uint32_t node : rows) {
    Keyed key{node, {}, 0, Path(node)};
    if (column == Column::kName) key.text = fold(Name(node));
    if (column == Column::kType) key.text = TypeOf(Name(node));
    if (column == Column::kSize) key.number = Size(node);
    if (column == Column::kOffset) key.number = Offset(node);
    keyed.push_back(std::move(key));
  }
  std::sort(keyed.begin(), keyed.end(), [ascending](const Keyed& a, const Keyed& b) {
    auto first = std::tie(a.text, a.number);
    auto second = std::tie(b.text, b.number);
    if (first != second) return ascending ? first < second : second < first;
    return a.path < b.path;
  });
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = keyed[i].node;
}

std::string BrowserModel::Path(std::uint32_t node) const {
  std::vector<std::string_view> levels;
  for (std::uint32_t at = node; at != kRoot; at = tree_.nodes()[at].parent) {
    levels.push_back(Name(at));
  }
  std::string path;
  for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
    if (!path.empty()) path += '/';
    path += *level;
  }
  return path;
}

Totals BrowserModel::Count(const std::vector<std::uint32_t>& rows) const {
  Totals totals;
  for (std::uint32_t node : rows) {
    ++totals.files;
    totals.bytes += Size(node);
  }
  return totals;
}

std::string TypeOf(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return {};
  return UppercaseAscii(name.substr(dot + 1));
}

}  // namespace mgarc::window
