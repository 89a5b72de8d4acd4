#include <QtCore/qnamespace.h>
#include <sys/stat.h>

#include <filesystem>

#include "catalogue/notestore.h"
#include "catalogue/pathutil.h"
#include "catalogue/thumbcache.h"
#include "catalogue/thumbstore.h"
#include "docfixture.h"

namespace tamro::test {
namespace {

namespace fs = std::filesystem;

TEST_F(DocTest, TwoPatternsListTheFirstPatternsFilesFirst) {
  for (const char *n : {"a.jpg", "b.gif", "c.JPG", "d.gif", "e.png"}) Write(std::string("pics/") + n, "PIC");
  profile.WriteString("RXDoc", "PathMask", "*.jpg;*.gif");
  profile.WriteInt("Filter", "FileName", 1);
  auto doc = ListedDoc();
  auto names = Names(*doc);
  ASSERT_EQ(names.size(), 4u);
  EXPECT_EQ(Sorted({names[0], names[1]}), (std::vector<std::string>{"a.jpg", "c.JPG"}));
  EXPECT_EQ(Sorted({names[2], names[3]}), (std::vector<std::string>{"b.gif", "d.gif"}));
  EXPECT_EQ(std::tuple(doc->Pattern(), doc->Title()), std::tuple("*.jpg;*.gif", Folder() + "/*.jpg;*.gif"));

  // With the name filter off every file is listed.
  profile.WriteInt("Filter", "FileName", 0);
  EXPECT_EQ(ListedDoc()->GetEntryCount(), 5);
}

TEST_F(DocTest, CacheAndLockFilesAreNeverListedWhateverTheirCase) {
  Write("pics/DIRINFO.RXI", "[Document]\r\nThumbsFile=\"Thumbs.dat\"\r\nMaxCount=0\r\n");
  // The caches and their locks in any case; temporaries of atomic writes (Tamro's own, and those older
  // versions left beside the caches); a picture, and names that only resemble a cache, which are listed.
  for (const char *n :
       {"dirinfo.Rxi", "_thumbs_.RXI", "_Note_.rxi", "DIRINFO.acf", "_NOTE_.ACF", "_THUMBS_.ACF",
        "THUMBS.DAT", "thumbs.acf", ".tamro-part-Ab12Cd", "_THUMBS_.RXI.a1B2c3", "_note_.rxi.XYZ123",
        "DIRINFO.RXI.000000", "a.jpg", "notes.rxi", "_THUMBS_.RXI.1234567", "tamro-part.jpg"})
    Write(std::string("pics/") + n, "PIC");
  EXPECT_EQ(Sorted(Names(*ListedDoc())),
            (std::vector<std::string>{"_THUMBS_.RXI.1234567", "a.jpg", "notes.rxi", "tamro-part.jpg"}));
}

TEST_F(DocTest, FifosInPlaceOfTheCacheFilesNeverBlock) {
  Write("pics/a.jpg", "PIC");
  for (const char *n : {CRXDoc::kInfoFileName, CRXDoc::kNoteFileName, CRXDoc::kThumbStoreName})
    ASSERT_EQ(::mkfifo(box.path(std::string("pics/") + n).c_str(), 0600), 0) << n;
  auto doc = MakeDoc();
  doc->ChangeFolder(Folder(), nullptr, true);
  EXPECT_EQ(Names(*doc), (std::vector<std::string>{"a.jpg"}));
  std::string note = "stale";
  EXPECT_EQ(ReadNote(Folder(), "", "a.jpg", note), -1);
  EXPECT_EQ(note, "");
  CThumbStore store;
  EXPECT_TRUE(store.GetFolder(Folder()).ReadFailed());
}

TEST_F(DocTest, PathsThatNameAFolderOrAFileAreNeverPatterns) {
  for (const char *n : {"out.jpg", "we?rd*/in.jpg"}) Write(std::string("pics/") + n, "PIC");
  Write("pics/a,b;c.arc", FakeDecoders::MakeArchive({{"one.pic", 3, 1, "PIC"}, {"two.pic", 3, 1, "PIC"}}));
  Write("pics/x?.arc", FakeDecoders::MakeArchive({{"m.pic", 3, 1, "PIC"}}));
  Write("pics/xy.arc", FakeDecoders::MakeArchive({{"n.pic", 3, 1, "PIC"}}));
  auto doc = MakeDoc();
  log.react = [&](int hint, const UpdateArgument &arg) {
    if (hint == kHintShowFolder) doc->ChangeFolder(arg.text, nullptr, false);
  };
  doc->ChangeFolder(Folder("pics/we?rd*"), nullptr, false);
  EXPECT_EQ(doc->Folder(), Folder("pics/we?rd*"));
  EXPECT_EQ(Names(*doc), (std::vector<std::string>{"in.jpg"}));

  // An archive's name is its own, not a pattern list nor a wildcard.
  doc->ChangeFolder(Folder() + "/a,b;c.arc", nullptr, false);
  EXPECT_EQ(Sorted(Names(*doc)), (std::vector<std::string>{"one.pic", "two.pic"}));
  doc->ChangeFolder(Folder() + "/x?.arc", nullptr, false);
  EXPECT_EQ(doc->Pattern(), "x?.arc");
  EXPECT_EQ(Names(*doc), (std::vector<std::string>{"m.pic"}));

  // Back through the history to each of them, and listed again.
  doc->HistoryBack();
  EXPECT_EQ(Sorted(Names(*doc)), (std::vector<std::string>{"one.pic", "two.pic"}));
  doc->HistoryBack();
  EXPECT_EQ(Names(*doc), (std::vector<std::string>{"in.jpg"}));
  doc->HistoryForward();
  doc->HistoryForward();
  EXPECT_EQ(Names(*doc), (std::vector<std::string>{"m.pic"}));
  doc->RefreshFolder();
  EXPECT_EQ(Names(*doc), (std::vector<std::string>{"m.pic"}));
  doc->ApplyDisplayFilter(DisplayFilter{}, "*.jpg");
  EXPECT_EQ(Names(*doc), (std::vector<std::string>{"m.pic"})) << "the archive stays shown";
}

TEST_F(DocTest, SubFolderEntriesFollowTheParentsFilesAndLinksDoNotLoop) {
  for (const char *n : {"a.jpg", "sub/b.jpg", "sub/deeper/c.jpg", "z.jpg"})
    Write(std::string("pics/") + n, "PIC");
  fs::create_directory_symlink(Folder(), box.path("pics/sub/loop"));
  profile.WriteInt("RXDoc", "DownScan", 1);
  auto doc = ListedDoc();
  auto names = Names(*doc);
  ASSERT_EQ(names.size(), 4u);
  EXPECT_EQ(Sorted({names[0], names[1]}), (std::vector<std::string>{"a.jpg", "z.jpg"}));
  EXPECT_EQ(std::vector(names.begin() + 2, names.end()), (std::vector<std::string>{"b.jpg", "c.jpg"}));
  EXPECT_EQ(std::tuple(doc->GetEntry(3)->FullPath(), doc->GetEntry(3)->Folder()),
            std::tuple(Folder() + "/sub/deeper/c.jpg", Folder() + "/sub/deeper"));
}

TEST_F(DocTest, OnlyRegularFilesAreListedAndAMissingFolderListsNothing) {
  Write("pics/a.jpg", "PIC");
  fs::create_directory(box.path("pics/folder.jpg"));
  fs::create_symlink(box.path("pics/gone.jpg"), box.path("pics/dangling.jpg"));
  fs::create_symlink(box.path("pics/a.jpg"), box.path("pics/link.jpg"));
  ASSERT_EQ(::mkfifo(box.path("pics/pipe.jpg").c_str(), 0600), 0);
  auto doc = ListedDoc();
  EXPECT_EQ(Sorted(Names(*doc)), (std::vector<std::string>{"a.jpg", "link.jpg"}));
  // The same from the kinds the folder tells, without a lookup per file (sizes unread).
  doc->SetFileFactsWanted(false);
  doc->RefreshFolder();
  EXPECT_EQ(std::tuple(Sorted(Names(*doc)), doc->GetEntry(0)->size),
            std::tuple(std::vector<std::string>{"a.jpg", "link.jpg"}, 0u));

  doc->ChangeFolder(Folder("nothing/here"), nullptr, false);
  EXPECT_EQ(std::tuple(doc->GetEntryCount(), doc->Folder()), std::tuple(0, Folder("nothing/here")));
}

TEST_F(DocTest, OpeningAnArchivePathListsItsMembers) {
  Write("pics/set.arc",
        FakeDecoders::MakeArchive({{"one.pic", 11, 1000, "PIC1"}, {"two.pic", 22, 2000, "PIC2"}}));
  Write("pics/other.jpg", "PIC");
  auto doc = ListedDoc(Folder() + "/set.arc");
  EXPECT_EQ(std::tuple(doc->Folder(), doc->Pattern()), std::tuple(Folder(), "set.arc"));
  ASSERT_EQ(doc->GetEntryCount(), 2);
  CPicEntry *e = doc->GetEntry(1);
  EXPECT_EQ(
      std::tuple(e->IsArchiveMember(), e->name, e->ArchiveName(), e->ArchivePath(), e->archiveDecoderIndex),
      std::tuple(true, "two.pic", "set.arc", Folder() + "/set.arc", 0));
  EXPECT_EQ(std::tuple(e->position, e->size, e->lastWriteTime, e->creationTime),
            std::tuple(100u, 22u, 2000 * kNanosPerSecond, 2000 * kNanosPerSecond));
  EXPECT_EQ(doc->History().back(), Folder() + "/set.arc");
  // Refreshing the archive lists the same members again.
  doc->RefreshFolder();
  EXPECT_EQ(doc->GetEntryCount(), 2);
}

TEST_F(DocTest, ArchivesInAFolderBecomeTheirMembersWhenArchivesAreOn) {
  Write("pics/set.arc", FakeDecoders::MakeArchive({{"one.pic", 11, 1000, "PIC1"}, {"", 0, 0, ""}}));
  Write("pics/fake.arc", "not an archive");
  Write("pics/a.jpg", "PIC");
  profile.WriteInt("RXDoc", "Archive", 1);
  auto doc = ListedDoc();
  // The nameless record (a folder inside the archive) is no entry.
  EXPECT_EQ(Sorted(Names(*doc)), (std::vector<std::string>{"a.jpg", "fake.arc", "one.pic"}));

  // An archive whose member list cannot be fetched gives no entries, the rest still shows.
  decoders.listFails = true;
  doc->RefreshFolder();
  EXPECT_EQ(Sorted(Names(*doc)), (std::vector<std::string>{"a.jpg", "fake.arc"}));

  // With archives off the archive is a plain file and nobody looks inside.
  profile.WriteInt("RXDoc", "Archive", 0);
  int before = decoders.archiveListings;
  EXPECT_EQ(Sorted(Names(*ListedDoc())), (std::vector<std::string>{"a.jpg", "fake.arc", "set.arc"}));
  EXPECT_EQ(decoders.archiveListings, before);
}

TEST_F(DocTest, RefreshKeepsUnchangedEntriesAndResetsARewrittenOne) {
  SetTimes(Write("pics/a.jpg", "PIC-a"), 1000000);
  const std::string b = Write("pics/b.jpg", "PIC-b");
  SetTimes(b, 1000000);
  Write("pics/c.jpg", "PIC-c");
  auto doc = ListedDoc();
  ASSERT_EQ(doc->GetEntryCount(), 3);
  std::map<std::string, CPicEntry *> before;
  for (int i = 0; i < 3; ++i) {
    CPicEntry *e = doc->GetEntry(i);
    e->thumbnail = GlobalHandle::Allocate(64);
    e->facts.decoder = 0, e->facts.width = 640, e->facts.height = 480, e->facts.bitCount = 24;
    e->SetDescription("info");
    before[e->name] = e;
  }
  doc->SetEntryFlags(0, CPicEntry::kSelected);
  std::string selectedName = doc->GetEntry(0)->name;

  Write("pics/b.jpg", "PIC-b rewritten");
  SetTimes(b, 2000000);
  fs::remove(box.path("pics/c.jpg"));
  Write("pics/d.jpg", "PIC-d");
  log.seen.clear();
  doc->RefreshFolder();

  EXPECT_EQ(log.Hints(), (std::vector<int>{kHintCleared, kHintListed}));
  ASSERT_EQ(Sorted(Names(*doc)), (std::vector<std::string>{"a.jpg", "b.jpg", "d.jpg"}));
  for (int i = 0; i < 3; ++i) {
    CPicEntry *e = doc->GetEntry(i);
    const auto facts = std::tuple(bool(e->thumbnail), e->facts.decoder, e->facts.width, e->facts.height,
                                  e->facts.bitCount, e->Description());
    if (e->name == "a.jpg") {
      EXPECT_EQ(std::tuple(e, facts), std::tuple(before["a.jpg"], std::tuple(true, 0, 640, 480, 24, "info")));
    } else if (e->name == "b.jpg") {
      // The old picture's facts would reduce the new one by a wrong factor.
      EXPECT_EQ(std::tuple(e, facts), std::tuple(before["b.jpg"], std::tuple(false, -1, 0, 0, 0, "")));
      EXPECT_EQ(std::tuple(e->size, e->lastWriteTime), std::tuple(15u, 2000000 * kNanosPerSecond));
    } else {
      EXPECT_FALSE(e->thumbnail);
    }
  }
  // The selection of a kept entry survives and is counted again.
  EXPECT_EQ(doc->CountSelected(false), selectedName == "c.jpg" ? 0 : 1);
  EXPECT_FALSE(doc->IsBusy());
}

TEST_F(DocTest, ARefreshFromAFolderReadElsewhereListsWhatItsOwnReadingWould) {
  for (const char *n : {"a.jpg", "b.gif", "c.JPG", "e.png", "_THUMBS_.RXI", "DIRINFO.RXI.000000"})
    Write(std::string("pics/") + n, "PIC");
  Write("pics/sub/x.jpg", "PIC");
  ASSERT_EQ(::mkfifo(box.path("pics/pipe.jpg").c_str(), 0600), 0);
  profile.WriteString("RXDoc", "PathMask", "*.jpg;*.gif;*.rxi");  // the store's name matches
  profile.WriteInt("Filter", "FileName", 1);
  auto doc = ListedDoc();
  const std::vector<std::string> own = Names(*doc);
  ASSERT_EQ(own.size(), 3u);
  // Read before a file came: the listing follows the reading it was given.
  auto snapshot = std::make_shared<const FolderSnapshot>(SnapshotFolder(Folder()));
  Write("pics/late.jpg", "PIC");
  doc->RefreshFolder(snapshot);
  EXPECT_EQ(Names(*doc), own);
  doc->RefreshFolder();
  EXPECT_EQ(doc->GetEntryCount(), 4);
}

TEST_F(DocTest, ChangesTakenInStepByStepLeaveWhatAFreshReadingListsWithSelectionAndCurrentKept) {
  // Column and state; state 0: no sort key.
  const SortKey cases[] = {{kSortName, 0}, {kSortName, 1}, {kSortName, 2}, {kSortExtension, 1},
                           {kSortSize, 2}, {kSortTime, 1}, {kSortSize, 1}};
  for (const SortKey &k : cases) {
    SCOPED_TRACE(testing::Message() << "column " << k.column << " state " << k.state);
    fs::remove_all(box.path("pics"));
    const char *first[] = {"a.jpg", "b.gif", "c.jpg", "D.jpg", "e.png", "f.jpg", "g.gif", "h.jpg", "i2.jpg", "i10.jpg"};
    for (int i = 0; i < 10; ++i) SetTimes(Write(std::string("pics/") + first[i], std::string(10 + i % 3, 'P')), 1000000 + (i * 7) % 10);
    auto doc = ListedDoc();
    if (k.state) doc->SortBy(k.column, k.state);
    auto place = [&](const std::string &name) {
      for (int v = 0; v < doc->GetEntryCount(); ++v)
        if (doc->GetEntry(v)->name == name) return v;
      return -1;
    };
    for (const char *n : {"b.gif", "c.jpg", "e.png", "f.jpg"}) doc->SetEntryFlags(place(n), CPicEntry::kSelected);
    doc->SetCurrent(place("f.jpg"));
    const auto listed = doc->ListedFiles();
    ASSERT_TRUE(listed);

    fs::remove(box.path("pics/c.jpg"));
    fs::remove(box.path("pics/h.jpg"));
    fs::rename(box.path("pics/b.gif"), box.path("pics/z.gif"));
    fs::rename(box.path("pics/a.jpg"), box.path("pics/0a.jpg"));
    SetTimes(Write("pics/f.jpg", std::string(40, 'Q')), 1000020);
    SetTimes(Write("pics/ff.jpg", "PP"), 999990);
    SetTimes(Write("pics/i3.jpg", std::string(11, 'P')), 1000003);
    SetTimes(Write("pics/b.png", std::string(12, 'P')), 1000001);
    auto changes = CompareFolder(listed, std::make_shared<const FolderSnapshot>(SnapshotFolder(Folder())));
    log.seen.clear();
    ASSERT_TRUE(doc->BeginChanges(std::move(changes)));
    while (!doc->ApplyChanges(0)) {
    }
    for (const auto &seen : log.seen) EXPECT_NE(seen.hint, kHintCleared) << "read again as a whole";

    auto fresh = ListedDoc();
    if (k.state) fresh->SortBy(k.column, k.state);
    EXPECT_EQ(Names(*doc), Names(*fresh));
    std::vector<std::string> selected;
    for (int v = 0; v < doc->GetEntryCount(); ++v)
      if (doc->GetEntry(v)->IsSelected()) selected.push_back(doc->GetEntry(v)->name);
    EXPECT_EQ(std::tuple(Sorted(selected), doc->CountSelected(false)),
              std::tuple(std::vector<std::string>{"e.png", "f.jpg"}, 2));
    ASSERT_GE(doc->Current(), 0);
    EXPECT_EQ(std::tuple(doc->GetEntry(doc->Current())->name, doc->GetEntry(doc->Current())->size),
              std::tuple("f.jpg", 40u));
  }
}

TEST_F(DocTest, AStopKeyEndsTheListingEmptyAndStaysQueuedALetterKeyIsLost) {
  for (int i = 0; i < 5; ++i) Write("pics/" + std::to_string(i) + ".jpg", "PIC");
  FakeInput input;
  PendingInputInterrupt stop(input);
  input.keys = {Qt::Key_A, Qt::Key_B};
  auto letters = MakeDoc();
  letters->SetInterruptSource(&stop);
  letters->ChangeFolder(Folder(), nullptr, false);
  EXPECT_TRUE(letters->GetEntryCount() == 5 && input.keys.empty());
  EXPECT_GE(input.peeks, 5);  // asked between files

  input.keys = {Qt::Key_Down};
  log.seen.clear();
  auto doc = MakeDoc();
  doc->SetInterruptSource(&stop);
  doc->ChangeFolder(Folder(), nullptr, false);
  EXPECT_EQ(std::tuple(doc->GetEntryCount(), doc->GetAllEntryCount(), input.keys),
            std::tuple(0, 0, std::deque<int>{Qt::Key_Down}));
  EXPECT_EQ(log.Hints(), (std::vector<int>{kHintCleared, kHintCleared, kHintListed}));

  // A mouse press stops it too; Esc as well.
  input.keys = {}, input.button = true;
  doc->RefreshFolder();
  EXPECT_EQ(doc->GetEntryCount(), 0);
  input.button = false, input.keys = {Qt::Key_Escape};
  EXPECT_TRUE(stop.CheckInterrupt());
}

TEST_F(DocTest, ScanSpiKeepsWhatADecoderAcceptsAndReportsEachEntryWithSyncFind) {
  for (const char *n : {"a.jpg", "c.txt"}) Write(std::string("pics/") + n, "PIC");
  Write("pics/b.jpg", "JUNK");
  Write("pics/set.arc", FakeDecoders::MakeArchive({{"m.pic", 3, 1, "PICm"}, {"n.pic", 3, 1, "nope"}}));
  for (const char *key : {"ScanSPI", "SyncFind", "Archive"}) profile.WriteInt("RXDoc", key, 1);
  auto doc = ListedDoc();
  // The rejected ones are gone, not hidden.
  EXPECT_EQ(std::tuple(Sorted(Names(*doc)), doc->GetAllEntryCount()),
            std::tuple(std::vector<std::string>{"a.jpg", "c.txt", "m.pic"}, 3));
  std::vector<long> added;
  for (const auto &s : log.seen)
    if (s.hint == kHintEntryAdded) added.push_back(s.value);
  EXPECT_EQ(added, (std::vector<long>{0, 1, 2}));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(doc->GetEntryIndex(i), i);

  // With the extension check the names must match too (members: their archive's list).
  profile.WriteInt("SPI", "#PluginEXT", 1);
  decoders.pictureFilter = "*.jpg";
  EXPECT_EQ(Sorted(Names(*ListedDoc())), (std::vector<std::string>{"a.jpg", "m.pic"}));

  // The extension check alone asks no decoder.
  profile.WriteInt("RXDoc", "ScanSPI", 0);
  int asked = decoders.pictureQueries;
  EXPECT_EQ(Sorted(Names(*ListedDoc())), (std::vector<std::string>{"a.jpg", "b.jpg", "m.pic", "n.pic"}));
  EXPECT_EQ(decoders.pictureQueries, asked);
}

TEST_F(DocTest, AnInterruptDuringTheDecoderCheckLeavesTheRestUndisplayed) {
  for (int i = 0; i < 4; ++i) Write("pics/" + std::to_string(i) + ".jpg", "PIC");
  profile.WriteInt("RXDoc", "ScanSPI", 1);
  struct Countdown : InterruptSource {
    int left = 6;  // four files listed, then the check stops after the second entry
    bool CheckInterrupt() override { return --left == 0; }
  } stop;
  auto doc = MakeDoc();
  doc->SetInterruptSource(&stop);
  doc->ChangeFolder(Folder(), nullptr, false);
  EXPECT_EQ(std::tuple(doc->GetEntryCount(), doc->GetAllEntryCount(), doc->GetEntry(2)),
            std::tuple(2, 4, static_cast<CPicEntry *>(nullptr)));
}

TEST_F(DocTest, HintsOfAListingAndOfTheSameSearchAgain) {
  Write("pics/a.jpg", "PIC");
  HintLog sender;
  auto doc = MakeDoc();
  doc->AddObserver(&sender);
  doc->ChangeFolder(Folder(), &sender, false);
  ASSERT_EQ(log.Hints(), (std::vector<int>{kHintCleared, kHintListed}));
  EXPECT_EQ(log.seen[1].text, Folder());
  EXPECT_TRUE(sender.seen.empty() && !doc->IsBusy());
  log.seen.clear();
  doc->ChangeFolder(Folder() + "/*.*", nullptr, false);
  EXPECT_EQ(std::tuple(log.Hints(), doc->GetEntryCount()), std::tuple(std::vector<int>{kHintRedrawAll}, 1));
}

TEST_F(DocTest, EntriesSelectionCurrentAndRemoval) {
  for (const char *n : {"a.jpg", "b.jpg", "c.jpg"}) Write(std::string("pics/") + n, "PIC");
  auto doc = MakeDoc();
  EXPECT_TRUE(doc->IsBusy());  // until the first listing ends
  doc->ChangeFolder(Folder(), nullptr, false);
  ASSERT_EQ(doc->GetEntryCount(), 3);
  EXPECT_TRUE(!doc->GetEntry(3) && !doc->GetEntry(-1) && doc->GetEntryIndex(3) == -1 &&
              !doc->SetEntryIndex(0, 7));

  doc->SetEntryFlags(0, CPicEntry::kSelected);
  doc->SetEntryFlags(2, CPicEntry::kSelected);
  doc->SetEntryFlags(2, CPicEntry::kSelected);
  EXPECT_EQ(doc->CountSelected(false), 2);
  doc->SetEntryFlags(0, 0);
  const int afterUnselecting = doc->CountSelected(false);
  doc->GetEntry(1)->flags |= CPicEntry::kSelected;  // behind the document's back
  EXPECT_EQ(std::tuple(afterUnselecting, doc->CountSelected(true)), std::tuple(1, 2));

  doc->SetCurrent(1);
  EXPECT_TRUE(doc->GetEntry(1)->IsCurrent());
  doc->SetCurrent(2);
  EXPECT_TRUE(!doc->GetEntry(1)->IsCurrent() && doc->GetEntry(2)->IsCurrent());

  CPicEntry *removed = doc->GetEntry(2);
  removed->stored = true;
  doc->RemoveEntryAt(2);
  // Shown entries, all entries (the object stays), stored, selected, current.
  EXPECT_EQ(std::tuple(doc->GetEntryCount(), doc->GetAllEntryCount(), removed->stored,
                       doc->CountSelected(false), doc->Current()),
            std::tuple(2, 3, false, 1, -1));
  doc->RemoveEntryAt(5);
  EXPECT_EQ(doc->GetEntryCount(), 2);
}

struct RecordingCache : ThumbCache {
  std::vector<std::string> calls;
  int Add(CPicEntry &e, int quality) override {
    calls.push_back("add " + e.name + " " + std::to_string(quality));
    return 1;
  }
  void Remove(CPicEntry &e) override { calls.push_back("remove " + e.name); }
  void Flush() override { calls.push_back("flush"); }
  void Clear() override { calls.push_back("clear"); }
};

TEST_F(DocTest, ClearingStoresBuiltThumbnailsWhenAutoCacheIsOn) {
  for (const char *n : {"a.jpg", "b.jpg"}) Write(std::string("pics/") + n, "PIC");
  profile.WriteInt("RXDoc", "AutoCacheFolder", 1);
  RecordingCache cache;
  auto doc = MakeDoc();
  doc->SetThumbCache(&cache);
  doc->ChangeFolder(Folder(), nullptr, false);
  for (int i : {0, 1}) doc->GetEntry(i)->thumbnail = GlobalHandle::Allocate(8);
  std::string name = doc->GetEntry(0)->name;
  doc->RemoveEntryAt(1);  // no longer listed: not stored
  cache.calls.clear();
  doc->ClearEntries(true);
  EXPECT_EQ(std::tuple(cache.calls, doc->GetAllEntryCount()),
            std::tuple(std::vector<std::string>{"add " + name + " 95", "flush", "clear"}, 0));
}

TEST_F(DocTest, HistoryBackAndForwardShowTheFolderOnceWithoutRecordingIt) {
  for (const char *n : {"one/a.jpg", "two/b.jpg"}) Write(n, "PIC");
  Write("two/set.arc", FakeDecoders::MakeArchive({{"m.pic", 3, 1, "PIC"}}));
  auto doc = MakeDoc();
  // The folder tree: shows the folder it is told and opens it.
  log.react = [&](int hint, const UpdateArgument &arg) {
    if (hint == kHintShowFolder) {
      EXPECT_GT(CRXDoc::HistoryMoveCount(), 0);
      doc->ChangeFolder(arg.text, nullptr, false);
    }
  };
  for (const std::string &f : {Folder("one"), Folder("two"), Folder("two") + "/set.arc"})
    doc->ChangeFolder(f, nullptr, false);
  ASSERT_EQ(doc->History().size(), 3u);
  EXPECT_FALSE(doc->CanGoForward());
  doc->HistoryBack();
  EXPECT_EQ(std::tuple(doc->Folder(), doc->HistoryPosition()), std::tuple(Folder("two"), 1));
  doc->HistoryBack();
  EXPECT_EQ(std::tuple(doc->Folder(), doc->CanGoBack(), doc->History().size()),
            std::tuple(Folder("one"), false, 3u));
  doc->HistoryForward();
  doc->HistoryForward();
  EXPECT_EQ(std::tuple(doc->Pattern(), doc->GetEntryCount(), CRXDoc::HistoryMoveCount()),
            std::tuple("set.arc", 1, 0));
  // A new folder after going back drops the items ahead.
  doc->HistoryMoveTo(0);
  doc->ChangeFolder(Folder("two"), nullptr, false);
  EXPECT_EQ(doc->History(), (std::vector<std::string>{Folder("one") + "/*.*", Folder("two") + "/*.*"}));
}

TEST_F(DocTest, OpenFolderClimbsToAnExistingFolder) {
  Write("pics/a.jpg", "PIC");
  auto doc = MakeDoc();
  EXPECT_TRUE(doc->OpenFolder(Folder() + "/a.jpg"));
  EXPECT_EQ(std::tuple(doc->Folder(), doc->GetEntryCount()), std::tuple(Folder(), 1));
  EXPECT_TRUE(doc->OpenFolder(Folder() + "/gone/deeper/"));
  EXPECT_EQ(doc->Folder(), Folder());
  EXPECT_FALSE(doc->OpenFolder("relative/nothing") || doc->OpenFolder(""));
}

TEST_F(DocTest, SizeAndDateFiltersApplyWhileListingAndRefreshWhenChanged) {
  std::string small = Write("pics/small.jpg", std::string(100, 'P'));
  std::string big = Write("pics/big.jpg", std::string(5000, 'P'));
  std::string old = Write("pics/old.jpg", std::string(2000, 'P'));
  QDate day(2020, 3, 10);
  SetTimes(small, QDateTime(day, QTime(0, 0, 1)).toSecsSinceEpoch());
  SetTimes(big, QDateTime(day, QTime(23, 59, 59)).toSecsSinceEpoch());
  SetTimes(old, QDateTime(day.addDays(-1), QTime(23, 59, 59)).toSecsSinceEpoch());
  auto doc = ListedDoc();
  ASSERT_EQ(doc->GetEntryCount(), 3);
  doc->SetFileFactsWanted(false);  // the filters read them all the same

  DisplayFilter f;
  f.dateOn = f.haveDates = true;
  f.firstDate = StartOfDay(day), f.lastDate = EndOfDay(day);
  log.seen.clear();
  doc->ApplyDisplayFilter(f, "*.*");
  EXPECT_EQ(Sorted(Names(*doc)), (std::vector<std::string>{"big.jpg", "small.jpg"}));
  EXPECT_EQ(log.Hints(), (std::vector<int>{kHintCleared, kHintListed}));
  f.sizeOn = true, f.smallest = 1024, f.largest = 4096;
  doc->ApplyDisplayFilter(f, "*.*");
  EXPECT_EQ(doc->GetEntryCount(), 0);
  f.dateOn = false;
  doc->ApplyDisplayFilter(f, "*.*");
  EXPECT_EQ(Names(*doc), (std::vector<std::string>{"old.jpg"}));
  log.seen.clear();
  doc->ApplyDisplayFilter(f, "*.*");  // nothing changed: no refresh
  EXPECT_TRUE(log.seen.empty());
  // A new pattern takes effect with the name filter on.
  f.sizeOn = false, f.nameOn = true;
  doc->ApplyDisplayFilter(f, "s*.jpg");
  EXPECT_EQ(std::tuple(Names(*doc), doc->Settings().pathMask),
            std::tuple(std::vector<std::string>{"small.jpg"}, "s*.jpg"));
}

TEST_F(DocTest, SortingWritesTheOrderBackAndTellsTheOtherViews) {
  for (const auto &[name, size] : {std::pair("a.jpg", 30), {"B.jpg", 10}, {"c.jpg", 20}})
    Write(std::string("pics/") + name, std::string(size, 'P'));
  auto doc = MakeDoc();
  HintLog listView;
  doc->AddObserver(&listView);
  doc->ChangeFolder(Folder(), nullptr, false);
  log.seen.clear();
  doc->SortBy(kSortName, -1, &listView);
  EXPECT_EQ(std::tuple(Names(*doc), log.Hints(), std::ranges::count(listView.Hints(), kHintRedrawAll),
                       doc->IsBusy()),
            std::tuple(std::vector<std::string>{"a.jpg", "B.jpg", "c.jpg"}, std::vector<int>{kHintRedrawAll},
                       0, false));

  doc->SetCurrent(0);  // a.jpg stays current wherever it goes
  doc->OnSortCommand(SortCommand::kBySize);
  EXPECT_EQ(std::tuple(Names(*doc), doc->Current()),
            std::tuple(std::vector<std::string>{"B.jpg", "c.jpg", "a.jpg"}, 2));
  doc->OnSortCommand(SortCommand::kDescending);

  // Re-listing, then applying the history: size descending is the newest key (so the
  // sizes are read even when not wanted otherwise).
  doc->SetFileFactsWanted(false);
  doc->RefreshFolder();
  doc->ApplySortHistory();
  EXPECT_EQ(std::tuple(Names(*doc), doc->Sort().HeaderText(kSortSize)),
            std::tuple(std::vector<std::string>{"a.jpg", "c.jpg", "B.jpg"}, "ｻｲｽﾞ- "));
  doc->OnSortCommand(SortCommand::kNoSort);
  EXPECT_EQ(doc->Sort().state(), 0);
}

TEST_F(DocTest, SettingsAreWrittenBackWhenSaved) {
  {
    auto doc = MakeDoc();
    // Sizes raised to their limits: docsettings_test.cpp, and through the document in
    // catalogue_thumbs/docthumbs_test.cpp; every key's form: docsettings_test.cpp.
    DocSettings s = doc->Settings();
    s.scanSpi = 1;
    doc->ApplySettings(s);
    doc->SortBy(kSortSize, 2);
    EXPECT_EQ(profile.GetString("LstView", "SortHistory", ""), "") << "nothing before the save at shutdown";
    doc->SaveSettings();
  }
  EXPECT_EQ(
      std::tuple(profile.GetInt("RXDoc", "ScanSPI", 0), profile.GetString("LstView", "SortHistory", "")),
      std::tuple(1, "131074"));
}

TEST(PathUtil, JoinAndSplit) {
  EXPECT_EQ((std::vector<std::string>{JoinPath("/", "a"), JoinPath("/x/", "a"), JoinPath("/x", "a")}),
            (std::vector<std::string>{"/a", "/x/a", "/x/a"}));
  EXPECT_EQ((std::vector<std::string_view>{DirPart("/a.jpg"), DirPart("/x/y/a.jpg"), NamePart("/x/y/a.jpg"),
                                           TrimTrailingSlash("/x//"), TrimTrailingSlash("/")}),
            (std::vector<std::string_view>{"/", "/x/y", "a.jpg", "/x", "/"}));
}

}  // namespace
}  // namespace tamro::test
