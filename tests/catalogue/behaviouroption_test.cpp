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
  EXPECT_EQ(option.settings.threads, 0);
  EXPECT_EQ(option.settings.exifRotate, 1);
  EXPECT_EQ(option.spiAlert, 1);
  EXPECT_FALSE(option.Confirm(*doc, &host, nullptr));
  EXPECT_FALSE(std::filesystem::exists(box.configFile())) << "nothing changed, nothing written";

  option.settings.innerGif = 1;
  option.settings.innerMpeg = 1;
  option.macBinCheck = 1;
  option.spiAlert = 0;
  option.settings.threads = 999;
  option.settings.naturalSort = 1;
  option.settings.exifRotate = 0;
  option.settings.pathMask = "  ";
  option.settings.scaleMode = 3;  // not one of this dialog's keys
  const BehaviourChanges changes = option.Confirm(*doc, &host, nullptr);
  EXPECT_TRUE(changes.any);
  EXPECT_TRUE(changes.decoders);
  EXPECT_FALSE(changes.listing) << "no folder shown";
  EXPECT_EQ(host.Switches().useGif, 1);
  EXPECT_EQ(host.Switches().useMpeg, 1);
  EXPECT_EQ(host.Switches().macBinCheck, 1);
  EXPECT_FALSE(CSpiHost::Alert());
  CSpiHost::SetAlert(true);
  EXPECT_EQ(profile.GetInt("SPI", "#InnerGIF", -1), 1);
  EXPECT_EQ(profile.GetInt("SPI", "#InnerMPG", -1), 1) << "the host's key";
  EXPECT_EQ(profile.GetInt("SPI", "#InnerMPEG", -1), 1) << "the document's copy";
  EXPECT_EQ(profile.GetInt("SPI", "#MacbinCheck", -1), 1);
  EXPECT_EQ(profile.GetInt("SPI", "SpiAlert", -1), 0);
  EXPECT_EQ(profile.GetInt("RXDoc", "Threads", -1), CBehaviourOption::kMaxThreads);
  EXPECT_EQ(profile.GetInt("RXDoc", "NaturalSort", -1), 1);
  EXPECT_EQ(profile.GetInt("RXDoc", "ExifRotate", -1), 0);
  EXPECT_EQ(doc->Settings().pathMask, "*.*") << "an empty mask lists every file";
  EXPECT_EQ(doc->Settings().scaleMode, 10);
  EXPECT_FALSE(profile.Has("RXDoc", "ScaleMode"));

  // Opened again without a host, the switches come from the store.
  CBehaviourOption again(*doc, nullptr);
  EXPECT_EQ(again.settings.innerMpeg, 1);
  EXPECT_EQ(again.macBinCheck, 1);
  EXPECT_EQ(again.spiAlert, 0);
}

TEST_F(DocTest, BehaviourConfirmListsAgainWhenTheListingWouldDiffer) {
  for (const char *n : {"a.jpg", "b.gif", "sub/c.jpg"}) Write(std::string("pics/") + n, "PIC");
  profile.WriteInt("Filter", "FileName", 1);
  auto doc = MakeDoc();
  doc->ChangeFolder(Folder(), nullptr, false);
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
  EXPECT_TRUE(changes.captions);
  EXPECT_FALSE(changes.listing);
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
