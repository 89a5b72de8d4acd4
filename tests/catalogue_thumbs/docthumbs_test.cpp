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
  int Count(int hint) const {
    int n = 0;
    for (auto &h : hints) n += h.first == hint ? 1 : 0;
    return n;
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
  EXPECT_EQ(option.scaleMode, 10);
  EXPECT_EQ(option.thumbsSize, (CellSize{110, 110}));
  EXPECT_FALSE(option.Confirm(*doc, nullptr));
  EXPECT_TRUE(recorder.hints.empty());

  option.fontItalic = 1;  // a font change alone keeps the folder cache in use
  const ThumbChanges font = option.Confirm(*doc, nullptr);
  EXPECT_TRUE(font);
  EXPECT_FALSE(font.cellSize || font.rebuild);
  EXPECT_TRUE(doc->UseInfo());
  EXPECT_EQ(recorder.Count(kHintRedrawAll), 1);
  EXPECT_EQ(doc->CaptionFont().italic, 1);

  option.scaleMode = 2;
  option.limitCheck = 0;
  option.nameFormat = "\"$(PicName)\",\"second\"";
  option.thumbsSize = {20, 500};
  const ThumbChanges made = option.Confirm(*doc, nullptr);
  EXPECT_TRUE(made.cellSize && made.rebuild);
  EXPECT_FALSE(doc->UseInfo());
  for (int i = 0; i < doc->GetEntryCount(); ++i) {
    EXPECT_EQ(At(i).switches.scaleMode, 2);
    EXPECT_EQ(At(i).switches.limitCheck, 0);
  }
  EXPECT_EQ(doc->CaptionItems(), (std::vector<std::string>{"$(PicName)", "second"}));
  EXPECT_EQ(doc->ThumbsSize(), (CellSize{40, 500})) << "raised to the limit";
  EXPECT_EQ(profile.GetInt("RXDoc", "ScaleMode", -1), 2);
  EXPECT_EQ(profile.GetString("QEVxFile", "NameFormat", ""), option.nameFormat);
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
  for (int i = 0; i < 5; ++i) {
    EXPECT_FALSE(At(i).thumbnail);
    EXPECT_EQ(At(i).facts.decoder, -1);
    EXPECT_FALSE(At(i).useCache);
    EXPECT_EQ(At(i).switches.unsharp, 0);
  }
  EXPECT_EQ(At(1).Description(), "");
}

TEST_F(DocTest, SaveFolderInfoStoresEveryBuiltThumbnailAndWritesTheFile) {
  Open();
  for (int i = 0; i < 3; ++i) painter.BuildCell(At(i), 110, 110);
  SaveFolderInfo(*doc, store);
  const fs::path file = folder / CThumbStore::kFileName;
  ASSERT_TRUE(fs::exists(file));
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(At(i).stored);
  EXPECT_FALSE(At(3).stored);
  CThumbStore other(&decoders);
  EXPECT_EQ(other.GetFolder(folder.string()).Count(), 3u);
  // That the store file is never listed: catalogue/listing_test.cpp.
}

TEST_F(DocTest, ReplacingTheListingWithAutoCacheFolderWritesTheStore) {
  Open(1);
  BuildAll();
  fs::create_directories(box.root() / "elsewhere");
  doc->ChangeFolder((box.root() / "elsewhere").string(), nullptr, false);
  CThumbStore other(&decoders);
  EXPECT_EQ(other.GetFolder(folder.string()).Count(), 5u);
  EXPECT_EQ(store.FolderCount(), 0u) << "the folder stores are dropped for the new listing";
}

TEST_F(DocTest, WithoutAutoCacheFolderTheListingDropsUnsavedRecords) {
  Open(0);
  settings.cacheFolder = 1;
  BuildAll();
  EXPECT_EQ(store.GetFolder(folder.string()).Count(), 5u);
  fs::create_directories(box.root() / "elsewhere");
  doc->ChangeFolder((box.root() / "elsewhere").string(), nullptr, false);
  EXPECT_FALSE(fs::exists(folder / CThumbStore::kFileName));
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
  EXPECT_EQ(f.Count(), 4u);
  EXPECT_EQ(f.Find(name, ""), nullptr);
  EXPECT_FALSE(removed->stored);
  EXPECT_EQ(doc->GetEntryCount(), 4);
}

}  // namespace
}  // namespace tamro
