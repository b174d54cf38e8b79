// The tree `mgarc mount` shows: the files extraction would write, found by
// name, and the small files read ahead of the reader.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mgarc/extraction_plan.h"
#include "platform/archive_mount.h"

// Why the mount does not show an entry of this fate; empty for one it shows.
std::string NotShownProblem(EntryFate fate);

class MountTree final : public MountContents {
 public:
  // The root directory alone.
  MountTree();

  // Places a file at levels (in the host's file-name encoding); the problem
  // when it cannot stand there. The plan has settled every clash; a later file
  // of the same name replaces it, and a "." level is the directory it is in,
  // as extraction opens it.
  std::string Add(const std::vector<std::string>& levels, std::uint64_t offset, std::uint64_t size);
  // Puts each directory's children in order, after the last Add.
  void Finish();

  const std::vector<MountNode>& nodes() const override { return nodes_; }
  bool Find(std::uint32_t directory, std::string_view name, std::uint32_t* child) const override;
  std::unique_ptr<MountReadAhead> StartReadAhead(MountCacheFill fill) const override;

 private:
  std::uint32_t Child(std::uint32_t parent, const std::string& name, bool directory);

  std::vector<MountNode> nodes_;
  // While adding: each directory's children by name, in the order Finish gives them.
  std::map<std::pair<std::uint32_t, std::string>, std::uint32_t> children_;
};
