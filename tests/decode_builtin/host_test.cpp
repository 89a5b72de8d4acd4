// The built-in decoders as the decoder host reaches them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "decode/builtin/builtin.h"
#include "decode/spihost.h"
#include "helpers.h"
#include "platform/faultguard.h"
#include "platform/profile.h"
#include "support/sandbox.h"

namespace tamro::builtin {
namespace {

using test::Bytes;
using test::Picture;

class ThroughHost : public ::testing::Test {
 protected:
  void SetUp() override { host.LoadSwitches(); }
  test::Sandbox box_;
  CSpiHost host;
  int Find(const char *name, const Bytes &file) { return test::FindDecoder(host, name, file); }
};

TEST_F(ThroughHost, FastSwitchHalvesTheReduction) {
  const Bytes jpeg = test::MakeJpeg(64, 48, 3, test::Gradient(64, 48));
  for (int fast : {0, 1}) {
    ASSERT_TRUE(Profile::App().WriteInt("SPI", "#InnerJPEG_FAST", fast));
    host.LoadSwitches();
    ASSERT_EQ(Find("a.jpg", jpeg), kJpeg);
    Picture pic;
    ASSERT_EQ(host.GetPicture(kJpeg, reinterpret_cast<const char *>(jpeg.data()), pic.out(), 0, 4,
                              SPI_SOURCE_MEMORY, static_cast<long>(jpeg.size())),
              0);
    EXPECT_EQ(test::HeaderOf(pic.h).width, fast ? 32 : 16) << fast;
  }
}

TEST_F(ThroughHost, JunkBeforeAJpegAndTextThatIsHtml) {
  host.SetUse(kText, kSpiPicture, true);
  const Bytes jpeg = test::MakeJpeg(16, 8, 3, test::Gradient(16, 8));
  Bytes junk(128 + jpeg.size(), 'M');
  std::copy(jpeg.begin(), jpeg.end(), junk.begin() + 128);
  ASSERT_EQ(Find("mac.bin", junk), kJpeg);
  // Its picture and facts are found the same way, from memory and from the file the host maps.
  const auto path = box_.write("mac.bin", std::string(junk.begin(), junk.end()));
  for (bool file : {false, true}) {
    SCOPED_TRACE(file);
    const char *source = file ? path.c_str() : reinterpret_cast<const char *>(junk.data());
    const unsigned form = file ? SPI_SOURCE_FILE : SPI_SOURCE_MEMORY;
    const long length = file ? 0 : static_cast<long>(junk.size());
    Picture pic;
    ASSERT_EQ(host.GetPicture(kJpeg, source, pic.out(), 0, 1, form, length), 0);
    SpiPictureInfo info{};
    ASSERT_EQ(host.GetPictureInfo(kJpeg, source, form, length, &info), 0);
    EXPECT_EQ(std::tuple(test::HeaderOf(pic.h).width, +info.width, +info.height), std::tuple(16, 16, 8));
  }

  const std::string html = "<html><body>text</body></html>\n";
  const Bytes page(html.begin(), html.end());
  EXPECT_EQ(Find("page.htm", page), -1);
  EXPECT_EQ(Find("page.txt", page), kText);
}

// Every decoder refuses a file that is not there and a source form it does not know.
TEST(BuiltinFileForms, MissingFilesAndUnknownSourcesAreRefused) {
  test::Sandbox box;
  const auto there = box.write("there.pic", std::string(64, 'x'));
  for (int position : {kBmp, kGif, kJpeg, kTiff, kText}) {
    SCOPED_TRACE(position);
    Picture pic;
    SpiPictureInfo info{};
    const std::string missing = box.path("missing.pic").string();
    EXPECT_EQ(GetPicture(position, missing.c_str(), 0, SPI_SOURCE_FILE, pic.out(), 0, 0, nullptr, 0),
              SPI_READ_ERROR);
    // (A text picture's facts come from the settings, not from its file.)
    if (position != kText) {
      EXPECT_EQ(GetPictureInfo(position, missing.c_str(), 0, SPI_SOURCE_FILE, &info, nullptr), SPI_READ_ERROR);
    }
    EXPECT_EQ(GetPicture(position, there.c_str(), 0, 3, pic.out(), 0, 0, nullptr, 0), SPI_NO_FUNCTION);
    EXPECT_EQ(GetPictureInfo(position, there.c_str(), 0, 3, &info, nullptr), SPI_NO_FUNCTION);
    EXPECT_EQ(pic.h, nullptr);
  }
}

// The fault guard is for plug-ins: a built-in decoder, and the callbacks it calls, run as
// any other code of ours, so that a fault there is never jumped out of.
TEST_F(ThroughHost, BuiltinsRunOutsideTheFaultGuard) {
  const Bytes jpeg = test::MakeJpeg(16, 16, 3, test::Gradient(16, 16));
  static int calls, guarded;
  calls = guarded = 0;
  auto progress = [](int, int, long) {
    ++calls;
    if (InsideFaultGuard()) ++guarded;
    return 0;
  };
  Picture pic;
  ASSERT_EQ(host.GetPicture(kJpeg, reinterpret_cast<const char *>(jpeg.data()), pic.out(), 0, 1,
                            SPI_SOURCE_MEMORY, static_cast<long>(jpeg.size()), progress),
            0);
  EXPECT_GT(calls, 0);
  EXPECT_EQ(guarded, 0);
}

// True when nothing waits on `fifo`, a FIFO named like a picture: there is no writer, so
// opening it for reading the ordinary way would never return.
bool EveryBuiltinRefuses(const std::string &fifo) {
  CSpiHost host;
  SpiHead head;
  bool ok = ReadHead(fifo, 0, &head) == -1;
  for (int position : {kBmp, kJpeg, kGif, kTiff, kText, kAvi}) {
    host.SetUse(position, kSpiPicture, true);
    // Through the host's map of the file, and given the path itself.
    for (bool fileOnly : {false, true}) {
      host.SetFileOnly(position, kSpiPicture, fileOnly);
      SpiPictureInfo info{};
      host.GetPictureInfo(position, fifo.c_str(), SPI_SOURCE_FILE, 0, &info);
      HDIB dib = nullptr;
      ok = ok && host.GetPicture(position, fifo.c_str(), &dib, 0, 1, SPI_SOURCE_FILE, 0) != 0 && !dib;
    }
  }
  return ok;
}

// Run in a child that an alarm ends, should anything wait.
TEST(BuiltinFifo, NothingWaitsForAWriter) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  test::Sandbox box;
  const std::string fifo = box.path("pipe.jpg").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EXIT(
      {
        alarm(20);
        std::exit(EveryBuiltinRefuses(fifo) ? 0 : 3);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tamro::builtin
