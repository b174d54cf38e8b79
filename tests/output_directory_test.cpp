// The output directory's own guard: a name handed to it is one level.
#include "platform/output_directory.h"

#include <gtest/gtest.h>

#include <string>

#include "test_archive.h"

namespace {

TEST(OutputDirectory, ANameThatIsNotOneLevelIsRefused) {
  TempDir dir;
  WriteFile(dir / "target", "keep");
  OutputDirectory root;
  ASSERT_TRUE(root.OpenRoot(dir / "out"));
  for (const std::string& name : {std::string("../target"), std::string("a/b"),
                                  std::string("a\0b", 3), std::string(), std::string("..")}) {
    OutputDirectory level;
    EXPECT_EQ(root.OpenLevel(name, level), PlaceOutcome::kNotOneLevel) << name;
    OutputFile file;
    EXPECT_EQ(root.CreateEntryFile(name, false, FileIdentity{}, file), PlaceOutcome::kNotOneLevel)
        << name;
  }
  EXPECT_EQ(ListTree(dir.path()), (std::vector<std::string>{"out/", "target"}));
  EXPECT_EQ(ReadFile(dir / "target"), "keep");
}

}  // namespace
