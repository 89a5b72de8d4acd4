// Out of the box, every picture of the shared corpus that ImageMagick reads gets a thumbnail:
// the shipped plug-ins and the built-in decoders with the settings of a first start. What
// ImageMagick 6 does not read (judged once with `convert-im6 file[0] null:`) is listed below
// and not asked for; the few that Tamro refuses on purpose are listed with the reason.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "catalogue/engine.h"
#include "catalogue/workerpool.h"
#include "catalogue_thumbs/thumbtest.h"
#include "platform/profile.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;

// Corpus files ImageMagick cannot read, relative to the corpus.
const std::set<std::string> kImageMagickRefuses = {
    "bmp-bmpsuite/b/badbitcount.bmp",
    "bmp-bmpsuite/b/badfilesize.bmp",
    "bmp-bmpsuite/b/badpalettesize.bmp",
    "bmp-bmpsuite/b/badplanes.bmp",
    "bmp-bmpsuite/b/badwidth.bmp",
    "bmp-bmpsuite/b/pal8badindex.bmp",
    "bmp-bmpsuite/b/reallybig.bmp",
    "bmp-bmpsuite/b/shortfile.bmp",
    "bmp-bmpsuite/q/pal1huffmsb.bmp",
    "bmp-bmpsuite/q/pal2.bmp",
    "bmp-bmpsuite/q/pal2color.bmp",
    "bmp-bmpsuite/q/pal4rlecut.bmp",
    "bmp-bmpsuite/q/pal8os2-hs.bmp",
    "bmp-bmpsuite/q/pal8os2-sz.bmp",
    "bmp-bmpsuite/q/pal8os2v2-40sz.bmp",
    "bmp-bmpsuite/q/pal8os2v2-sz.bmp",
    "bmp-bmpsuite/q/pal8oversizepal.bmp",
    "bmp-bmpsuite/q/pal8rlecut.bmp",
    "bmp-bmpsuite/q/rgb24jpeg.bmp",
    "bmp-bmpsuite/q/rgb24png.bmp",
    "bmp-bmpsuite/q/rgb24rle24.bmp",
    "bmp-bmpsuite/q/rgba32abf.bmp",
    "bmp-bmpsuite/q/rgba64.bmp",
    "bmp-bmpsuite/x/ba-bm.bmp",
    "bmp-pillow/l2rgb_read.bmp",
    "bmp-pillow/mmap_error.bmp",
    "gif-pillow/zero_width.gif",
    "gif-wuffs/artificial-gif/no-frames.gif",
    "gif-wuffs/artificial-gif/pixel-data-none.gif",
    "gif-wuffs/artificial-gif/pixel-data-not-enough.gif",
    "gif-wuffs/artificial-gif/zero-width-frame.gif",
    "gif-wuffs/hippopotamus.interlaced.truncated.gif",
    "jpeg-jpeg-decoder/crashtest/derive-huffman-codes-overflow.jpg",
    "jpeg-jpeg-decoder/crashtest/empty.jpg",
    "jpeg-jpeg-decoder/crashtest/invalid-dimensions.jpg",
    "jpeg-jpeg-decoder/crashtest/invalid-prediction-shift.jpg",
    "jpeg-jpeg-decoder/crashtest/max_size.jpg",
    "jpeg-jpeg-decoder/crashtest/missing-frame-image-1410.jpg",
    "jpeg-jpeg-decoder/crashtest/missing-sof.jpg",
    "jpeg-jpeg-decoder/crashtest/missing-sos.jpg",
    "jpeg-jpeg-decoder/crashtest/null_height.jpg",
    "jpeg-libjpeg-turbo/monkey12.jpg",
    "tiff-image-tiff/misc/big_g4.tif",
    "tiff-libtiff/ojpeg_single_strip_no_rowsperstrip.tiff",
    "tiff-libtiff/testfax3_bug_513.tiff",
    "tiff-libtiffpic/text.tif",
};

// Files ImageMagick reads and Tamro refuses on purpose, and why.
const std::map<std::string, std::string> kTamroRefuses = {
    {"bmp-bmpsuite/b/badheadersize.bmp", "an information header of 66 bytes, which no BMP version has"},
    {"bmp-bmpsuite/q/rgb32h52.bmp", "a 52-byte information header: the built-in reader takes 40, Qt's not this one"},
    {"bmp-bmpsuite/q/rgba32h56.bmp", "a 56-byte information header: the built-in reader takes 40, Qt's not this one"},
    {"bmp-bmpsuite/q/pal8os2v2-16.bmp", "a 16-byte OS/2 2.x header, which neither the built-in reader nor Qt's takes"},
};

TEST(CorpusThumbnails, EveryPictureImageMagickReadsGetsOneWithDefaultSettings) {
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
  std::map<std::string, int> results;  // by path relative to the corpus
  for (const fs::path &folder : folders) {
    CRXDoc &doc = engine.Doc();
    doc.ChangeFolder(folder.string(), nullptr, false);
    std::map<const CPicEntry *, int> made;
    engine.Thumbs().SetFinished([&](int, CPicEntry &entry, int result) { made[&entry] = result; });
    for (int i = 0; i < doc.GetEntryCount(); ++i) engine.Thumbs().Ask(i, rect, WorkerPool::kBackground);
    engine.Thumbs().Finish();
    for (int i = 0; i < doc.GetEntryCount(); ++i) {
      const CPicEntry *entry = doc.GetEntry(i);
      const auto found = made.find(entry);
      results[fs::relative(folder / entry->name, corpus).string()] = found == made.end() ? -100 : found->second;
    }
  }
  int checked = 0;
  std::string missing;
  for (const auto &e : fs::recursive_directory_iterator(corpus)) {
    const std::string name = fs::relative(e.path(), corpus).string();
    if (!e.is_regular_file() || e.path().extension() == ".txt" || kImageMagickRefuses.count(name) ||
        kTamroRefuses.count(name))
      continue;
    ++checked;
    const auto found = results.find(name);
    if (found == results.end() || found->second != 0)
      missing += "\n  " + name + " (" + (found == results.end() ? std::string("not listed") : std::to_string(found->second)) + ")";
  }
  EXPECT_GT(checked, 500);
  EXPECT_LE(kTamroRefuses.size(), 10u);
  EXPECT_TRUE(missing.empty()) << "no thumbnail for:" << missing;
}

}  // namespace
}  // namespace tamro
