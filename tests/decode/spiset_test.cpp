// Plug-in sets, the ViewSPI lists, dynamic loading and the switches written at the end.
#include <atomic>
#include <chrono>
#include <thread>

#include "decode/builtin/builtin.h"
#include "platform/globalhandle.h"
#include "testspi.h"

namespace tamro::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class SpiSetTest : public HostTest {
 protected:
  void SetUp() override {
    Install("tpic", "Pic.spi");
    Install("tmem", "Mem.spi");
    Install("tarc", "Arc.spi");
  }
};

TEST_F(SpiSetTest, StoredFlagsSwitchPluginsOffAndAMissingValueMeansUsed) {
  Store("SPISET\\_Default", "PIC", 0);  // names compare ignoring case
  Scan();
  // Pic (registration order: Mem, Pic).
  EXPECT_EQ(std::tuple(host->GetUse(1, kSpiPicture), host->GetDecoderName(1, kSpiPicture),
                       host->GetUse(0, kSpiPicture)),
            std::tuple(false, "Pic", true));
  EXPECT_EQ(host->GetFlags(0, kSpiArchive), kSpiUse | kSpiFileOnly);
  EXPECT_EQ(Find("x.tpc", TPic(1, 1, 24, 0, 0, 0)), -1);
}

TEST_F(SpiSetTest, SavedSetsComeBackWithViewListsAndAllUseFlags) {
  Scan();
  host->SetUse(0, kSpiPicture, false);
  host->AddViewSpi(0, 1);
  host->AddViewSpi(0, 1);  // once only
  host->AddViewSpi(0, 0);
  EXPECT_THAT(host->GetViewSpi(0), ElementsAre(1, 0));
  EXPECT_EQ(host->GetAllUse(0), 1);  // adding switches the list on
  host->SavePluginSet("Work");

  const Profile &p = Profile::App();
  EXPECT_EQ(std::tuple(p.GetInt("SPISET\\Work", "Mem", -9), p.GetInt("SPISET\\Work", "Pic", -9),
                       p.GetInt("SPISET\\Work", "Arc", -9), p.GetString("SPISET\\Work\\Arc", "ViewSPI", ""),
                       p.GetInt("SPISET\\Work\\Arc", "AllUseFlags", -9)),
            std::tuple(0, 1, 5, "Pic,Mem", 1));

  Scan("Work");
  EXPECT_EQ(std::tuple(host->CurrentSetName(), host->GetUse(0, kSpiPicture), host->GetAllUse(0)),
            std::tuple("Work", false, 1));
  EXPECT_THAT(host->GetViewSpi(0), ElementsAre(1, 0));

  // The dialog's "use all" tick: flag 0 and an empty list.
  host->SetAllUse(0, 0);
  host->ClearViewSpi(0);
  host->SavePluginSet("Work");
  Scan("Work");
  EXPECT_THAT(host->GetViewSpi(0), IsEmpty());
  EXPECT_EQ(host->GetAllUse(0), 0);
  host->AddViewSpi(0, 1);
  host->RemoveViewSpi(0, 1);
  EXPECT_THAT(host->GetViewSpi(0), IsEmpty());
}

TEST_F(SpiSetTest, UnknownNamesInAViewListAreSkipped) {
  Profile::App().WriteString("SPISET\\_Default\\Arc", "ViewSPI", "Gone, pic ,--JPG--");
  Scan();
  EXPECT_THAT(host->GetViewSpi(0), ElementsAre(1));
  EXPECT_EQ(host->GetAllUse(0), 0);  // stored default, read after the list
}

TEST_F(SpiSetTest, LookupByNamePrefersBuiltinsForPictures) {
  Install("tpic", "--JPG--.spi");
  Scan();
  EXPECT_EQ(host->FindDecoderByName("--jpg--", kSpiPicture), 1001);
  EXPECT_EQ(host->FindDecoderByName("mem", kSpiPicture), 1);
  EXPECT_EQ(host->FindDecoderByName("ARC", kSpiArchive), 0);
  EXPECT_EQ(host->FindDecoderByName("--BMP--", kSpiArchive), -1);
  EXPECT_EQ(host->FindDecoderByName("--MPG--", kSpiPicture), -1);  // governed by its switch alone
  EXPECT_EQ(host->FindDecoderByName("nothing", kSpiPicture), -1);
}

TEST_F(SpiSetTest, DynamicLoadingKeepsUnusedModulesUnloaded) {
  // Without dynamic loading an unused module stays loaded.
  Store("SPISET\\_Default", "Pic", 0);
  Scan();
  host->ApplyDynamicLoading();
  EXPECT_TRUE(host->IsLoaded(1, kSpiPicture));

  Store("SPI", "DynamicSPI", 1);
  Scan();
  ASSERT_EQ(host->Count(kSpiPicture), 2);
  // The filter was read before unloading.
  EXPECT_EQ(std::tuple(host->IsLoaded(1, kSpiPicture), host->IsLoaded(0, kSpiPicture),
                       host->GetDecoderFilter(1, kSpiPicture)),
            std::tuple(false, true, "*.tpc;*.tpx"));

  host->SetUse(1, kSpiPicture, true);
  host->ApplyDynamicLoading();
  EXPECT_TRUE(host->IsLoaded(1, kSpiPicture));
  EXPECT_EQ(Find("x.tpc", TPic(1, 1, 24, 0, 0, 0)), 1);

  // Unused, but in a used archive plug-in's list: it stays loaded.
  host->SetUse(1, kSpiPicture, false);
  host->AddViewSpi(0, 1);
  host->ApplyDynamicLoading();
  EXPECT_TRUE(host->IsLoaded(1, kSpiPicture));
  // The archive plug-in switched off takes its unused list members with it.
  host->SetUse(0, kSpiArchive, false);
  host->ApplyDynamicLoading();
  EXPECT_EQ(std::tuple(host->IsLoaded(0, kSpiArchive), host->IsLoaded(1, kSpiPicture),
                       host->IsLoaded(0, kSpiPicture)),
            std::tuple(false, false, true));
}

TEST_F(SpiSetTest, ChangesFromInsideACallbackAreRefusedInsteadOfWaitingForever) {
  Scan();
  const std::string pic = TPic(1, 1, 24, 0, 0, 0);
  const SpiHead head = HeadOf(pic.data(), pic.size());
  SpiQuery q = Query("x.tpc", head);
  std::string seenName;
  q.notify = [&](int position, std::string_view, uintptr_t) {
    if (position < 0) return;
    seenName = host->GetDecoderName(position, kSpiPicture);  // reading is fine
    host->AddViewSpi(0, position);                           // changing is not
    host->SetUse(0, kSpiPicture, false);                     // flags are atomic
  };
  EXPECT_EQ(host->FindDecoder(q), 1);
  EXPECT_EQ(std::tuple(seenName, host->GetViewSpi(0).empty(), host->GetUse(0, kSpiPicture)),
            std::tuple("Pic", true, false));
}

TEST_F(SpiSetTest, SettingsChangeWhileOtherThreadsDecode) {
  Store("SPI", "DynamicSPI", 1);
  Scan();
  const std::string pic = TPic(4, 4, 24, 1, 2, 3);
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0}, decoded{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      while (!stop) {
        const int pos = Find("x.tpc", pic);
        if (pos < 0) continue;  // switched off just now
        const int r = DecodeImage(pos, pic);
        if (r == 0)
          ++decoded;
        else if (r != -1)
          ++wrong;  // -1: unloaded between the search and the call
      }
    });
  }
  // The readers are decoding before the settings start to change (on a busy machine the
  // changes alone could otherwise be over before any reader ran).
  for (int wait = 0; decoded == 0 && wait < 1000; ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  for (int i = 0; i < 60; ++i) {
    host->SetUse(1, kSpiPicture, i % 2 == 0);
    host->ApplyDynamicLoading();
    host->LoadPluginSet("");
  }
  stop = true;
  for (auto &t : readers) t.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_GT(decoded.load(), 0);
}

TEST_F(SpiSetTest, SwitchesAndTheSetAreWrittenWhenSaved) {
  Store("SPI", "#InnerGIF", 1);
  Profile::App().WriteString("SPI", "SkipErrJPEG", "3, 5,x,7");
  Scan("Mine");
  SpiSwitches s = host->Switches();
  EXPECT_EQ(std::tuple(s.useGif, s.useJpeg), std::tuple(1, 1));
  s.macBinCheck = 1;
  host->SetSwitches(s);
  host.reset();
  const Profile &p = Profile::App();
  EXPECT_EQ(p.GetInt("SPI", "#MacbinCheck", 0), 0) << "ending the host writes nothing";
  Scan("Mine");
  host->SetSwitches(s);
  host->SaveSettings();

  EXPECT_EQ(std::tuple(p.GetInt("SPI", "#MacbinCheck", 0), p.GetInt("SPI", "#InnerGIF", 0),
                       p.GetInt("SPI", "#InnerTIFF", 0), p.GetInt("SPI", "#InnerMPG", 9),
                       p.GetString("SPI", "SPISet", "")),
            std::tuple(1, 1, 1, 0, "Mine"));
  // "#ScanHeadJPEG" is read, never written.
  EXPECT_EQ(std::tuple(p.Has("SPI", "#ScanHeadJPEG"), p.Has("SPI", "SkipErrJPEG")), std::tuple(false, true));

  // A second run with nothing changed leaves the file untouched.
  const auto stamp = std::filesystem::last_write_time(box.configFile());
  const std::string before = test::ReadFile(box.configFile());
  Scan("Mine");
  host->SaveSettings();
  EXPECT_EQ(test::ReadFile(box.configFile()), before);
  EXPECT_EQ(std::filesystem::last_write_time(box.configFile()), stamp);
  if (!builtin::JpegGetSkipList().empty()) {
    EXPECT_EQ(p.GetString("SPI", "SkipErrJPEG", ""), "3,5,7");
  }
}

TEST_F(SpiSetTest, NothingIsWrittenWhenTheSwitchesWereNeverRead) {
  CSpiHost idle;
  idle.SaveSettings();
  EXPECT_FALSE(std::filesystem::exists(box.configFile()));
}

}  // namespace
}  // namespace tamro::test
