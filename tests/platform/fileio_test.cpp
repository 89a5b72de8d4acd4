#include "platform/fileio.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/mounts.h"
#include "support/sandbox.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;

TEST(FileIo, ReadsRegularFilesOnlyAndNeverBlocksOnAFifo) {
  test::Sandbox box;
  const std::string file = box.write("a.bin", "0123456789").string();
  std::string out;
  ASSERT_TRUE(ReadFileHead(file, 4, out));
  EXPECT_EQ(out, "0123");
  ASSERT_TRUE(ReadFileHead(file, 100, out));
  EXPECT_EQ(out, "0123456789");
  EXPECT_FALSE(ReadRegularFile(file, out, 9)) << "over the limit";
  EXPECT_EQ(errno, EFBIG);

  // A FIFO with no writer would block a plain open for ever.
  const std::string fifo = box.path("DIRINFO.RXI").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(ReadFileHead(fifo, 16, out));
  EXPECT_FALSE(ReadRegularFile(fifo, out));
  EXPECT_FALSE(OpenRegularFile(box.root().string()));
  EXPECT_EQ(errno, EISDIR);
}

TEST(FileIo, AtomicReplaceKeepsModeAndLeavesNoTemporary) {
  test::Sandbox box;
  const std::string path = box.write("notes", "old").string();
  ::chmod(path.c_str(), 0640);
  const fs::perms kept = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  ASSERT_TRUE(ReplaceFileAtomically(path, "new"));
  EXPECT_EQ(test::ReadFile(path), "new");
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, kept);

  const std::string fresh = box.path("fresh").string();
  ASSERT_TRUE(ReplaceFileAtomically(fresh, "x"));
  struct stat st {};
  ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, NewFileMode());

  {
    AtomicFile abandoned(path);
    ASSERT_TRUE(abandoned.Write("half"));
    EXPECT_TRUE(IsTamroTempName(fs::path(abandoned.tempPath()).filename().string()));
  }
  EXPECT_EQ(test::ReadFile(path), "new") << "an uncommitted write changes nothing";
  {
    // A finished file holds no descriptor and goes into place, with the old mode, only on Commit.
    AtomicFile later(path);
    ASSERT_TRUE(later.Write("later") && later.Finish());
    EXPECT_FALSE(later.Write("more"));
    EXPECT_EQ(test::ReadFile(path), "new");
    ASSERT_TRUE(later.Commit());
  }
  EXPECT_EQ(test::ReadFile(path), "later");
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, kept);
  {
    AtomicFile dropped(path);
    ASSERT_TRUE(dropped.Write("dropped") && dropped.Finish());
  }
  EXPECT_EQ(test::ReadFile(path), "later");

  // Nothing there, or a dangling link, may be replaced; a read-only file may not.
  EXPECT_TRUE(MayReplace(box.path("missing").string()));
  fs::create_symlink(box.path("nowhere"), box.path("dangling"));
  EXPECT_TRUE(MayReplace(box.path("dangling").string()));
  fs::remove(box.path("dangling"));
  if (::geteuid() != 0) {
    const std::string locked = box.write("locked", "x").string();
    ::chmod(locked.c_str(), 0444);
    EXPECT_FALSE(MayReplace(locked));
    fs::remove(locked);
  }
  EXPECT_EQ(test::FileNames(box.root()), (std::vector<std::string>{"fresh", "notes"}))
      << "no temporary file left behind";
}

TEST(FileIo, FullDiskFailsTheCommitAndKeepsTheOldFile) {
  test::Sandbox box;
  const fs::path dir = box.path("small");
  test::TmpfsMount mount(dir, "16k");
  if (!mount.ok()) GTEST_SKIP() << mount.reason();
  const std::string path = (dir / "sheet.bmp").string();
  ASSERT_TRUE(ReplaceFileAtomically(path, "previous"));
  EXPECT_FALSE(ReplaceFileAtomically(path, std::string(64 * 1024, 'x')));
  EXPECT_EQ(test::ReadFile(path), "previous");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace tamro
