// Out of the box, every picture of the shared corpus that Qt's readers (QtGui's and those of
// qt6-image-formats-plugins) can read gets a thumbnail: the shipped plug-ins and the built-in
// decoders with the settings of a first start. What no reader of Debian's Qt reads (broken
// files, TIFF of 3 to 14 or 24 bits a sample, grey floating-point TIFF, 12-bit JPEG, BMP of
// 2 or 64 bits, OS/2 and Huffman BMP) is not asked for.

#include <gtest/gtest.h>

#include <QImageReader>
#include <filesystem>
#include <map>

#include "catalogue/engine.h"
#include "catalogue/workerpool.h"
#include "catalogue_thumbs/thumbtest.h"
#include "platform/profile.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;

TEST(CorpusThumbnails, EveryPictureQtReadsGetsOneWithDefaultSettings) {
  const fs::path corpus = test::CorpusDir();
  if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
  test::EnsureGuiApp();
  test::Sandbox box;
  Profile::ResetApp();
  Profile profile{box.configFile()};
  CatalogueEngine engine(profile, EngineHooks{nullptr, nullptr, {}, 2, false});
  engine.LoadPlugins();
  const CellSize cell = engine.Doc().ThumbsSize();
  const CellRect rect = test::Rect(0, 0, cell.width, cell.height);

  std::vector<fs::path> folders = {corpus};
  for (const auto &e : fs::recursive_directory_iterator(corpus))
    if (e.is_directory()) folders.push_back(e.path());
  int checked = 0;
  std::string missing;
  for (const fs::path &folder : folders) {
    CRXDoc &doc = engine.Doc();
    doc.ChangeFolder(folder.string(), nullptr, false);
    std::map<const CPicEntry *, int> results;
    engine.Thumbs().SetFinished([&](int, CPicEntry &entry, int result) { results[&entry] = result; });
    for (int i = 0; i < doc.GetEntryCount(); ++i) engine.Thumbs().Ask(i, rect, WorkerPool::kBackground);
    engine.Thumbs().Finish();
    for (int i = 0; i < doc.GetEntryCount(); ++i) {
      const CPicEntry *entry = doc.GetEntry(i);
      const fs::path path = folder / entry->name;
      if (fs::is_directory(path) || QImageReader(QString::fromStdString(path.string())).read().isNull())
        continue;
      ++checked;
      const auto found = results.find(entry);
      if (found == results.end() || found->second != 0)
        missing += "\n  " + path.string() + " (" +
                   (found == results.end() ? std::string("not made") : std::to_string(found->second)) + ")";
    }
  }
  EXPECT_GT(checked, 0);
  EXPECT_TRUE(missing.empty()) << "no thumbnail for:" << missing;
}

}  // namespace
}  // namespace tamro
