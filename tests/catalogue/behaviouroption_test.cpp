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
  // No folder is shown: nothing to list again.
  EXPECT_EQ(std::tuple(changes.any, changes.decoders, changes.listing, host.Switches().useGif,
                       host.Switches().useMpeg, host.Switches().macBinCheck, CSpiHost::Alert()),
            std::tuple(true, true, false, 1, 1, 1, false));
  CSpiHost::SetAlert(true);
  // #InnerMPG is the host's key, #InnerMPEG the document's copy.
  const std::vector<std::pair<const char *, const char *>> keys = {
      {"SPI", "#InnerGIF"}, {"SPI", "#InnerMPG"}, {"SPI", "#InnerMPEG"},    {"SPI", "#MacbinCheck"},
      {"SPI", "SpiAlert"},  {"RXDoc", "Threads"}, {"RXDoc", "NaturalSort"}, {"RXDoc", "ExifRotate"}};
  std::vector<int> stored;
  for (const auto &[section, key] : keys) stored.push_back(profile.GetInt(section, key, -1));
  EXPECT_EQ(stored, (std::vector<int>{1, 1, 1, 1, 0, CBehaviourOption::kMaxThreads, 1, 0}));
  // An empty mask lists every file; the scale mode is left alone.
  EXPECT_EQ(
      std::tuple(doc->Settings().pathMask, doc->Settings().scaleMode, profile.Has("RXDoc", "ScaleMode")),
      std::tuple("*.*", 10, false));

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
  EXPECT_EQ(std::tuple(Names(*doc), doc->Pattern(), profile.GetString("RXDoc", "PathMask", "")),
            std::tuple(std::vector<std::string>{"a.jpg"}, "*.jpg", "*.jpg"));

  option.settings.downScan = 1;
  EXPECT_TRUE(option.Confirm(*doc, nullptr, nullptr).listing);
  EXPECT_EQ(Sorted(Names(*doc)), (std::vector<std::string>{"a.jpg", "c.jpg"}));

  // A new caption format redraws everything and stops the folder cache being read.
  doc->SetUseInfo(true);
  log.seen.clear();
  option.settings.nameFormat = "\"$(PicName)\",\"$(PicSize)\"";
  const BehaviourChanges changes = option.Confirm(*doc, nullptr, nullptr);
  EXPECT_EQ(
      std::tuple(changes.captions, changes.listing, log.Hints(), doc->UseInfo(), doc->CaptionItems().size()),
      std::tuple(true, false, std::vector<int>{kHintRedrawAll}, false, 2u));

  // Turning pictures or converting their colours otherwise: the entries take the switches
  // and everything is drawn again, which rebuilds thumbnails made with the old ones.
  doc->SetUseInfo(true);
  log.seen.clear();
  option.settings.colorManage = 0;
  EXPECT_TRUE(option.Confirm(*doc, nullptr, nullptr).thumbnails);
  // The folder cache stays in use: stored thumbnails are judged by their own switches.
  EXPECT_EQ(std::tuple(log.Hints(), doc->UseInfo(), doc->GetEntry(0)->switches.colorManage,
                       profile.GetInt("RXDoc", "ColorManage", -1)),
            std::tuple(std::vector<int>{kHintRedrawAll}, true, 0, 0));
}

}  // namespace
}  // namespace tamro::test
