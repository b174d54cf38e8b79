// The tree `mgarc mount` shows: the files extraction would write, found by
// name, and the small files read ahead of the reader.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mgarc/engine/archive_view.h"
#include "mgarc/engine/extraction_plan.h"
#include "mgarc/engine/observer.h"
#include "platform/archive_mount.h"

namespace mgarc::engine {

class MountTree final : public MountContents {
 public:
  // The root directory alone.
  MountTree();

  // Room for files files, given before the first Add: the nodes need not move
  // as they grow (most files bring no directory of their own).
  void Reserve(std::size_t files);
  // Places a file at levels (in the host's file-name encoding); the problem
  // when it cannot stand there. The plan has settled every clash; a later file
  // of the same name replaces it, and a "." level is the directory it is in,
  // as extraction opens it.
  std::optional<std::string> Add(const std::vector<std::string>& levels, std::uint64_t offset,
                                 std::uint64_t size);
  // Puts each directory's children in order, after the last Add.
  void Finish();

  const std::vector<MountNode>& nodes() const override { return nodes_; }
  const char* Name(std::uint32_t node) const override { return names_.data() + nodes_[node].name; }
  MountChildren Children(std::uint32_t node) const override {
    return {children_.data() + nodes_[node].firstChild, nodes_[node].childCount};
  }
  bool Find(std::uint32_t directory, std::string_view name, std::uint32_t* child) const override;
  std::unique_ptr<MountReadAhead> StartReadAhead(MountCacheFill fill) const override;

 private:
  std::uint32_t Child(std::uint32_t parent, const std::string& name, bool directory);
  std::size_t Slot(std::uint32_t parent, std::string_view name) const;

  std::vector<MountNode> nodes_;
  std::string names_;                    // each node's name and a zero byte
  std::vector<std::uint32_t> children_;  // every directory's children, one after another
  // While adding: the nodes by parent and name, an open-addressed table (0 for none).
  std::vector<std::uint32_t> slots_;
};

// Fills tree with the files `mgarc extract` would write here, from archive's
// entries; each entry it leaves out is a problem about that entry.
std::vector<Problem> PlanMountTree(const ArchiveView& archive, MountTree& tree);

}  // namespace mgarc::engine
