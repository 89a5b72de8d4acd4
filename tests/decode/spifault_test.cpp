// Faults inside plug-ins: reported, answered with -1, and the program goes on.
#include <atomic>
#include <cstdlib>
#include <thread>

#include "decode/spiguard.h"
#include "picture/dib.h"
#include "platform/faultguard.h"
#include "platform/globalhandle.h"
#include "testspi.h"

namespace tamro::test {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

class SpiFaultTest : public HostTest {
 protected:
  void SetUp() override {
    Install("tfault", "f.spi");
    Install("tpic", "p.spi");
    Scan();
  }
  // GetPicture on a memory image "FAULT:<kind>"; answers the result.
  int Decode(const std::string &kind) { return DecodeImage(0, "FAULT:" + kind + " "); }
  // The last message box's text, split at the line break.
  std::pair<std::string, std::string> LastMessage() {
    auto messages = ui.Messages();
    if (messages.empty()) return {};
    const std::string &text = messages.back()->text;
    const auto nl = text.find('\n');
    return {text.substr(0, nl), nl == std::string::npos ? "" : text.substr(nl + 1)};
  }
};

TEST_F(SpiFaultTest, EveryKindOfFaultGivesItsCodeAndLine) {
  ASSERT_EQ(host->GetDecoderName(0, kSpiPicture), "f");
  struct Case {
    const char *kind;
    const char *code;
    const char *line;
  };
  const Case cases[] = {
      {"read", "C0000005", "ｱﾄﾞﾚｽ 10の読込違反"},
      {"write", "C0000005", "ｱﾄﾞﾚｽ 20の書込違反"},
      {"div", "C0000094", "整数演算で０による除算を行おうとした"},
      {"fdiv", "C000008E", "浮動小数点演算において０による除算を行おうとした"},
      {"stack", "C00000FD", "ユーザースタックを使い果たした"},
      {"ill", "C000001D", "無効な命令を実行した"},
      {"int3", "80000003", "ブレークポイントに到達した"},
      {"throw", "E06D7363", ""},  // outside the table: the first line alone
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.kind);
    const std::size_t before = ui.Messages().size();
    EXPECT_EQ(Decode(c.kind), -1);
    ASSERT_EQ(ui.Messages().size(), before + 1);
    auto [first, second] = LastMessage();
    EXPECT_THAT(first, StartsWith(std::string("GetPicture :Code=") + c.code + " :Address="));
    EXPECT_EQ(std::tuple(ui.Messages().back()->caption, ui.Messages().back()->style, second),
              std::tuple("SPI Exception", 0x1030u, c.line));
  }
  // Floating-point traps the plug-in switched on do not follow the host out.
  volatile double zero = 0.0;
  EXPECT_GT(1.0 / zero, 1e300);
  // And the host still works; the blocks the plug-in handed out before faulting are gone (the
  // fixture counts them).
  ASSERT_EQ(DecodeImage(1, TPic(2, 2, 24, 1, 2, 3)), 0);
}

TEST_F(SpiFaultTest, LabelsNameTheCallThatFaulted) {
  const std::string data = "FAULT:read ";
  SpiPictureInfo info{};
  EXPECT_EQ(host->GetPictureInfo(0, data.data(), SPI_SOURCE_MEMORY, 11, &info), -1);
  EXPECT_THAT(LastMessage().first, StartsWith("GetPictureInfo :Code=C0000005"));

  // A fault while asking one plug-in ends its turn; the search goes on with the others.
  const std::string isread = "FAULT:isread " + TPic(1, 1, 24, 0, 0, 0);
  EXPECT_EQ(Find("x.flt", isread), -1);
  EXPECT_THAT(LastMessage().first, StartsWith("IsSupportedSub :Code=C0000005"));
  EXPECT_EQ(LastMessage().second, "ｱﾄﾞﾚｽ 10の読込違反");
  EXPECT_EQ(Find("x.tpc", TPic(1, 1, 24, 0, 0, 0)), 1);
}

TEST_F(SpiFaultTest, AFaultingPlugInIsCalledAndReportedOnce) {
  // Given a file, the host maps it; a plug-in that faults on the memory image is not asked
  // again with the file, nor marked as wanting files.
  const auto path = box.write("f.flt", "FAULT:read " + std::string(600, ' '));
  for (bool info : {false, true}) {
    SCOPED_TRACE(info);
    const std::size_t before = ui.Messages().size();
    SpiPictureInfo record{};
    EXPECT_EQ(info ? host->GetPictureInfo(0, path.c_str(), SPI_SOURCE_FILE, 0, &record) : DecodeFile(0, path),
              -1);
    EXPECT_EQ(ui.Messages().size(), before + 1);
    EXPECT_FALSE(host->GetFileOnly(0, kSpiPicture));
  }
}

// The progress callback is our code even when a plug-in calls it: it runs outside the
// guard, and the caller's own user value reaches it.
TEST_F(SpiFaultTest, ProgressCallbacksRunOutsideTheGuard) {
  static int calls, guarded, wrongUser;
  calls = guarded = wrongUser = 0;
  auto progress = [](int, int, long user) {
    ++calls;
    if (InsideFaultGuard()) ++guarded;
    if (user != 77) ++wrongUser;
    return 0;
  };
  ASSERT_EQ(DecodeImage(1, TPic(3, 5, 24, 1, 2, 3), nullptr, progress, 77), 0);
  EXPECT_EQ(std::tuple(calls, guarded, wrongUser), std::tuple(5, 0, 0));
}

TEST_F(SpiFaultTest, FaultsAreSilentWithTheAlertOff) {
  Store("SPI", "SpiAlert", 0);
  Scan();
  EXPECT_FALSE(CSpiHost::Alert());
  EXPECT_EQ(Decode("read"), -1);
  EXPECT_EQ(Decode("div"), -1);
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(SpiFaultTest, ThreadsFaultAndDecodeAtTheSameTime) {
  CSpiHost::SetAlert(false);
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  const std::string pic = TPic(8, 8, 24, 1, 2, 3);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 25; ++i) {
        if ((i + t) % 2) {
          if (Decode(i % 3 ? "read" : "stack") != -1) ++wrong;
        } else {
          GlobalHandle owned;
          if (DecodeImage(1, pic, &owned) != 0 || DibWidth(owned.get()) != 8) ++wrong;
        }
      }
    });
  }
  for (auto &t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST_F(SpiFaultTest, FaultWhileListingAnArchiveAnswersMinusOne) {
  Install("tarc", "t.spi");
  Scan();
  const auto path = box.write("a.tac", Tarc({{"a.tpc", "x"}}, 4));
  HLOCAL block = nullptr;
  EXPECT_EQ(host->GetArchiveInfo(0, path.c_str(), SPI_SOURCE_FILE, 0, &block), -1);
  EXPECT_EQ(block, nullptr);
  EXPECT_THAT(LastMessage().first, StartsWith("GetArchiveInfo :Code=C0000005"));
  EXPECT_EQ(LastMessage().second, "ｱﾄﾞﾚｽ 10の書込違反");
}

// A module that faults in its own start-up is reported and not listed. Run in a child
// process: a fault inside the dynamic loader leaves the loader's lock to the thread.
class SpiLoadFaultTest : public HostTest {};
TEST_F(SpiLoadFaultTest, FaultWhileLoadingIsReportedAndTheModuleIsNotListed) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        Install("tfault", "f.spi");
        setenv("TAMRO_TEST_FAULT_ON_LOAD", "1", 1);
        Scan();
        const bool ok =
            host->Count(kSpiPicture) == 0 &&
            status == (decltype(status){{-1, "[f]のロードに失敗しました（SPI内部で例外発生）"}}) &&
            ui.Messages().size() == 1 && ui.Messages()[0]->text.rfind("LoadDLL :Code=C0000005", 0) == 0;
        std::exit(ok ? 0 : 3);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(SpiExceptionTextTest, LinesOfCodesNoPlugInCanRaiseHere) {
  // Codes a plug-in can raise here are checked through the host above; these two cannot be.
  FaultInfo f;
  f.address = 0x401A2B;
  f.code = 0x80000002;
  EXPECT_EQ(FormatSpiException("X", f),
            "X :Code=80000002 :Address=401A2B\nメモリアクセスにおいてミスアラインメントを起こした");
  f.code = 0xC0000006;
  EXPECT_THAT(FormatSpiException("X", f),
              HasSubstr("\nファイルシステム、デバイスドライバが読み出しエラーを起こした"));
}

}  // namespace
}  // namespace tamro::test
