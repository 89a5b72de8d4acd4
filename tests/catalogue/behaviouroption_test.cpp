// The behaviour settings: what confirming writes, hands to the host and lists again.
#include "catalogue/behaviouroption.h"

#include "decode/spihost.h"
#include "docfixture.h"

namespace tamro::test {
namespace {

TEST_F(DocTest, BehaviourConfirmWritesItsKeysAndHandsTheSwitchesToTheHost) {
  auto doc = MakeDoc();
  CSpiHost host;
  CBehaviourOption option(*doc, &host);
  EXPECT_EQ(std::tuple(option.settings.threads, option.settings.exifRotate, option.spiAlert),
            std::tuple(0, 1, 1));
  EXPECT_FALSE(option.Confirm(*doc, &host, nullptr));
  EXPECT_FALSE(std::filesystem::exists(box.configFile())) << "nothing changed, nothing written";

  option.settings.innerGif = option.settings.innerMpeg = option.macBinCheck = 1, option.spiAlert = 0;
  option.settings.threads = 999, option.settings.naturalSort = 1, option.settings.exifRotate = 0;
  option.settings.pathMask = "  ";
  option.settings.scaleMode = 3;  // not one of this dialog's keys
  const BehaviourChanges changes = option.Confirm(*doc, &host, nullptr);
  EXPECT_TRUE(changes.any && changes.decoders);
  EXPECT_FALSE(changes.listing) << "no folder shown";
  EXPECT_EQ(std::tuple(host.Switches().useGif, host.Switches().useMpeg, host.Switches().macBinCheck),
            std::tuple(1, 1, 1));
  EXPECT_FALSE(CSpiHost::Alert());
  CSpiHost::SetAlert(true);
  // #InnerMPG is the host's key, #InnerMPEG the document's copy.
  const std::vector<std::pair<const char *, const char *>> keys = {
      {"SPI", "#InnerGIF"}, {"SPI", "#InnerMPG"}, {"SPI", "#InnerMPEG"},    {"SPI", "#MacbinCheck"},
      {"SPI", "SpiAlert"},  {"RXDoc", "Threads"}, {"RXDoc", "NaturalSort"}, {"RXDoc", "ExifRotate"}};
  std::vector<int> stored;
  for (const auto &[section, key] : keys) stored.push_back(profile.GetInt(section, key, -1));
  EXPECT_EQ(stored, (std::vector<int>{1, 1, 1, 1, 0, CBehaviourOption::kMaxThreads, 1, 0}));
  EXPECT_EQ(doc->Settings().pathMask, "*.*") << "an empty mask lists every file";
  EXPECT_EQ(doc->Settings().scaleMode, 10);
  EXPECT_FALSE(profile.Has("RXDoc", "ScaleMode"));

  // Opened again without a host, the switches come from the store.
  CBehaviourOption again(*doc, nullptr);
  EXPECT_EQ(std::tuple(again.settings.innerMpeg, again.macBinCheck, again.spiAlert), std::tuple(1, 1, 0));
}

TEST_F(DocTest, BehaviourConfirmListsAgainWhenTheListingWouldDiffer) {
  for (const char *n : {"a.jpg", "b.gif", "sub/c.jpg"}) Write(std::string("pics/") + n, "PIC");
  profile.WriteInt("Filter", "FileName", 1);
  auto doc = ListedDoc();
  ASSERT_EQ(doc->GetEntryCount(), 2);
  CBehaviourOption option(*doc, nullptr);

  option.settings.pathMask = "*.jpg";
  EXPECT_TRUE(option.Confirm(*doc, nullptr, nullptr).listing);
  EXPECT_EQ(Names(*doc), (std::vector<std::string>{"a.jpg"}));
  EXPECT_EQ(doc->Pattern(), "*.jpg");
  EXPECT_EQ(profile.GetString("RXDoc", "PathMask", ""), "*.jpg");

  option.settings.downScan = 1;
  EXPECT_TRUE(option.Confirm(*doc, nullptr, nullptr).listing);
  EXPECT_EQ(Sorted(Names(*doc)), (std::vector<std::string>{"a.jpg", "c.jpg"}));

  // A new caption format redraws everything and stops the folder cache being read.
  doc->SetUseInfo(true);
  log.seen.clear();
  option.settings.nameFormat = "\"$(PicName)\",\"$(PicSize)\"";
  const BehaviourChanges changes = option.Confirm(*doc, nullptr, nullptr);
  EXPECT_TRUE(changes.captions && !changes.listing);
  EXPECT_EQ(log.Hints(), (std::vector<int>{kHintRedrawAll}));
  EXPECT_FALSE(doc->UseInfo());
  EXPECT_EQ(doc->CaptionItems().size(), 2u);

  // Turning pictures or converting their colours otherwise: the entries take the switches
  // and everything is drawn again, which rebuilds thumbnails made with the old ones.
  doc->SetUseInfo(true);
  log.seen.clear();
  option.settings.colorManage = 0;
  EXPECT_TRUE(option.Confirm(*doc, nullptr, nullptr).thumbnails);
  EXPECT_EQ(log.Hints(), (std::vector<int>{kHintRedrawAll}));
  EXPECT_TRUE(doc->UseInfo()) << "stored thumbnails are judged by their own switches";
  EXPECT_EQ(doc->GetEntry(0)->switches.colorManage, 0);
  EXPECT_EQ(profile.GetInt("RXDoc", "ColorManage", -1), 0);
}

}  // namespace
}  // namespace tamro::test
