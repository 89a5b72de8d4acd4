// The thumbnail parts that work on the whole folder document: the thumbnail settings, rebuilding, saving the
// folder information and the document's hooks.

#include <gtest/gtest.h>

#include <filesystem>

#include "catalogue/cellpainter.h"
#include "catalogue/rxdoc.h"
#include "catalogue/thumbbuilder.h"
#include "catalogue/thumboption.h"
#include "catalogue/thumbstore.h"
#include "catalogue_thumbs/thumbtest.h"
#include "platform/profile.h"

namespace tamro {
namespace {

namespace fs = std::filesystem;
using test::PlainPicture;

struct Recorder : UpdateObserver {
  std::vector<std::pair<int, long>> hints;
  void OnUpdate(UpdateObserver *, int hint, const UpdateArgument &arg) override {
    hints.emplace_back(hint, arg.value);
  }
};

class DocTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnsureGuiApp();
    folder = box.root() / "pics";
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::cyan};
    for (int i = 0; i < 5; ++i)
      box.write("pics/p" + std::to_string(i) + ".png", PlainPicture(80, 60, colours[i]));
  }

  void Open(int autoCache = 0) {
    profile.WriteInt("RXDoc", "AutoCacheFolder", autoCache);
    doc = std::make_unique<CRXDoc>(&profile);
    doc->SetThumbCache(&store);
    doc->ChangeFolder(folder.string(), nullptr, false);
    doc->AddObserver(&recorder);
    painter.SetCaptionLines(&doc->CaptionItems());
  }

  CPicEntry &At(int i) { return *doc->GetEntry(i); }
  void BuildAll() {
    for (int i = 0; i < doc->GetEntryCount(); ++i) painter.BuildCell(At(i), 110, 110);
  }

  test::Sandbox box;
  Profile profile{box.configFile()};
  fs::path folder;
  test::FakeDecoders decoders;
  CThumbStore store{&decoders};
  DocSettings settings;
  CThumbBuilder builder{&decoders, &store, &settings};
  GlyphIconSource icons;
  CCellPainter painter{&builder, &icons};
  Recorder recorder;
  std::unique_ptr<CRXDoc> doc;
};

TEST_F(DocTest, ThumbnailSettingsConfirmStoresCopiesAndTellsTheViews) {
  Open();
  doc->SetUseInfo(true);
  CThumbOption option(*doc);
  EXPECT_EQ(std::tuple(option.scaleMode, option.thumbsSize), std::tuple(10, CellSize{110, 110}));
  EXPECT_FALSE(option.Confirm(*doc, nullptr));
  EXPECT_TRUE(recorder.hints.empty());

  option.fontItalic = 1;  // a font change alone keeps the folder cache in use
  const ThumbChanges font = option.Confirm(*doc, nullptr);
  EXPECT_EQ(std::tuple(bool(font), font.cellSize || font.rebuild, doc->UseInfo(),
                       std::count_if(recorder.hints.begin(), recorder.hints.end(),
                                     [](auto &h) { return h.first == kHintRedrawAll; }),
                       doc->CaptionFont().italic),
            std::tuple(true, false, true, 1, 1));

  option.scaleMode = 2, option.limitCheck = 0, option.thumbsSize = {20, 500};
  option.nameFormat = "\"$(PicName)\",\"second\"";
  const ThumbChanges made = option.Confirm(*doc, nullptr);
  EXPECT_TRUE(made.cellSize && made.rebuild && !doc->UseInfo());
  for (int i = 0; i < doc->GetEntryCount(); ++i)
    EXPECT_EQ(std::tuple(At(i).switches.scaleMode, At(i).switches.limitCheck), std::tuple(2, 0)) << i;
  // The cell size raised to the limit. What is written to the settings: the dialog's test.
  EXPECT_EQ(std::tuple(doc->CaptionItems(), doc->ThumbsSize()),
            std::tuple(std::vector<std::string>{"$(PicName)", "second"}, CellSize{40, 500}));
}

TEST_F(DocTest, RebuildAllForgetsEveryThumbnailAndRedraws) {
  Open();
  BuildAll();
  At(1).useCache = true;
  At(1).SetDescription("old");
  CThumbOption option(*doc);
  option.unsharp = 0;
  option.Confirm(*doc, nullptr);
  At(0).switches.unsharp = 1;  // a stale copy the rebuild must replace
  recorder.hints.clear();
  RebuildAllThumbnails(*doc, nullptr);
  EXPECT_EQ(recorder.hints, (std::vector<std::pair<int, long>>{{kHintRedrawAll, 0}}));
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(std::tuple(bool(At(i).thumbnail), At(i).facts.decoder, At(i).useCache, At(i).switches.unsharp),
              std::tuple(false, -1, false, 0))
        << i;
  EXPECT_EQ(At(1).Description(), "");
}

TEST_F(DocTest, SaveFolderInfoStoresEveryBuiltThumbnailAndWritesTheFile) {
  Open();
  for (int i = 0; i < 3; ++i) painter.BuildCell(At(i), 110, 110);
  SaveFolderInfo(*doc, store);
  ASSERT_TRUE(fs::exists(folder / CThumbStore::kFileName));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(At(i).stored, i < 3) << i;
  CThumbStore reread(&decoders);
  CThumbFolder &f = reread.GetFolder(folder.string() + "/");  // one folder however it is written
  EXPECT_EQ(std::tuple(f.Count(), &f), std::tuple(3u, &reread.GetFolder(folder.string())));
  // That the store file is never listed: catalogue/listing_test.cpp.
}

// Without AutoCacheFolder the records made while building (CacheFolder) are dropped unsaved.
TEST_F(DocTest, ReplacingTheListingWritesTheStoreOnlyWithAutoCacheFolder) {
  fs::create_directories(box.root() / "elsewhere");
  for (int autoCache : {0, 1}) {
    SCOPED_TRACE(autoCache);
    Open(autoCache);
    settings.cacheFolder = !autoCache;
    BuildAll();
    EXPECT_EQ(store.GetFolder(folder.string()).Count(), autoCache ? 0u : 5u);
    doc->ChangeFolder((box.root() / "elsewhere").string(), nullptr, false);
    EXPECT_EQ(CThumbStore(&decoders).GetFolder(folder.string()).Count(), autoCache ? 5u : 0u);
    EXPECT_EQ(store.FolderCount(), 0u) << "the folder stores are dropped for the new listing";
  }
}

TEST_F(DocTest, RemovingAnEntryFromTheDisplayRemovesItsRecord) {
  Open();
  settings.cacheFolder = 1;
  BuildAll();
  CThumbFolder &f = store.GetFolder(folder.string());
  ASSERT_EQ(f.Count(), 5u);
  const std::string name = At(2).name;
  CPicEntry *removed = &At(2);
  doc->RemoveEntryAt(2);
  EXPECT_EQ(std::tuple(f.Count(), f.Find(name, ""), removed->stored, doc->GetEntryCount()),
            std::tuple(4u, nullptr, false, 4));
}

}  // namespace
}  // namespace tamro
