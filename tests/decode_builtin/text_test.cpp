#include <gtest/gtest.h>

#include "decode/builtin/builtin.h"
#include "decode/builtin/decoders.h"
#include "helpers.h"
#include "platform/profile.h"
#include "support/guiapp.h"
#include "support/sandbox.h"

namespace tamro::builtin {
namespace {

using test::Picture;

int Claims(const std::string &bytes, const char *name = "a.txt") { return test::Claims(kText, name, bytes); }

TEST(TextSupport, ShiftJisUtf8AndPlainText) {
  EXPECT_EQ(Claims("hello\r\nworld\t\x1A"), 1);
  EXPECT_EQ(Claims("\x93\xFA\x96\x7B\x8C\xEA and \xB1\xB2"), 1) << "Shift-JIS and half-width kana";
  EXPECT_EQ(Claims("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"), 1) << "UTF-8";
  EXPECT_EQ(Claims("\r\n\t\x1A"), 0) << "no text character";
  EXPECT_EQ(Claims("abc\x01"), 0);
  EXPECT_EQ(Claims("abc\x7F"), 0);
  // ".htm" itself: through the host in host_test.cpp.
  EXPECT_EQ(Claims("<html>", "page.HTML"), 0);
  EXPECT_EQ(Claims("<html>", "page.shtml"), 0);
  EXPECT_EQ(Claims("<html>", "page.html.txt"), 1);
  // A lead byte as the last examined byte takes the 0 after the data as its trail.
  std::string cut(SPI_HEAD_BYTES - 1, 'a');
  cut.push_back('\x81');
  EXPECT_FALSE(LooksLikeText(reinterpret_cast<const unsigned char *>(cut.data()), cut.size()));
  EXPECT_TRUE(LooksLikeText(reinterpret_cast<const unsigned char *>("ab\x81\x40"), 4));
}

class TextPicture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { test::EnsureGuiApp(); }
  void SetUp() override { TextSetSettings(40, 40, 12, "ＭＳ ゴシック"); }
  void TearDown() override { TextSetSettings(40, 40, 12, "ＭＳ ゴシック"); }

  static std::string Render(const std::string &text, const int *size = nullptr) {
    Picture pic;
    EXPECT_EQ(GetPicture(kText, text.data(), static_cast<long>(text.size()), SPI_SOURCE_MEMORY, pic.out(),
                         reinterpret_cast<intptr_t>(size), 0, nullptr, 0),
              0);
    GlobalLockGuard lock(pic.h);
    return lock ? std::string(lock.as<char>(), GlobalSize(pic.h)) : std::string();
  }
};

TEST_F(TextPicture, SizeFromTheSettingsOrTheCaller) {
  Picture pic;
  const std::string text = "abc";
  ASSERT_EQ(GetPicture(kText, text.data(), 3, SPI_SOURCE_MEMORY, pic.out(), 0, 0, nullptr, 0), 0);
  const BitmapInfoHeader h = test::HeaderOf(pic.h);
  EXPECT_EQ(std::tuple(h.width, h.height, h.bitCount), std::tuple(480, 480, 24));
  // A negative height keeps the setting.
  const int size[2] = {100, -5};
  Picture other;
  ASSERT_EQ(GetPicture(kText, text.data(), 3, SPI_SOURCE_MEMORY, other.out(),
                       reinterpret_cast<intptr_t>(size), 0, nullptr, 0),
            0);
  EXPECT_EQ(std::tuple(test::HeaderOf(other.h).width, test::HeaderOf(other.h).height), std::tuple(100, 480));

  // Rows kept at 40.
  TextSetSettings(10, 0, 20, nullptr);
  SpiPictureInfo info{};
  ASSERT_EQ(GetPictureInfo(kText, text.data(), 3, SPI_SOURCE_MEMORY, &info, nullptr), 0);
  EXPECT_EQ(std::tuple(+info.width, +info.height, +info.colorDepth), std::tuple(200, 800, 24));
}

TEST_F(TextPicture, BlankLinesAreSkippedAndLongLinesWrap) {
  const int size[2] = {120, 80};
  const std::string two = Render("Ab\nCd", size);
  EXPECT_EQ(Render("Ab\r\n\r\n\n\x1A"
                   "Cd\n\n",
                   size),
            two);
  EXPECT_NE(Render("Ab", size), two) << "the second line is drawn";
  EXPECT_NE(Render("Cd\nAb", size), two);
  EXPECT_NE(Render("\tAb\nCd", size), two) << "a tab moves the text on";
  TextSetSettings(2, 0, 0, nullptr);  // lines of at most 4 bytes
  EXPECT_EQ(Render("AbcdEf", size), Render("Abcd\nEf", size));
}

TEST_F(TextPicture, ShiftJisIsConvertedForDrawing) {
  const int size[2] = {120, 40};
  const std::string sjis = Render("\x93\xFA\x96\x7B\x8C\xEA", size);
  EXPECT_EQ(sjis, Render("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", size));
  EXPECT_NE(sjis, Render("", size));
}

TEST_F(TextPicture, FileFormFromTheOffset) {
  test::Sandbox box;
  const int size[2] = {60, 30};
  const auto path = box.write("t.txt", "xxHello");
  Picture pic;
  ASSERT_EQ(GetPicture(kText, path.c_str(), 2, SPI_SOURCE_FILE, pic.out(), reinterpret_cast<intptr_t>(size),
                       0, nullptr, 0),
            0);
  GlobalLockGuard lock(pic.h);
  EXPECT_EQ(std::string(lock.as<char>(), GlobalSize(pic.h)), Render("Hello", size));
}

TEST(TextSettings, LoadedFromTheStore) {
  test::Sandbox box;
  Profile::ResetApp();
  ASSERT_TRUE(Profile::App().WriteString("SPI", "TXTSize", "20,10"));
  TextSetSettings(0, 0, 16, nullptr);
  TextLoadSettings();
  SpiPictureInfo info{};
  ASSERT_EQ(GetPictureInfo(kText, "x", 1, SPI_SOURCE_MEMORY, &info, nullptr), 0);
  EXPECT_EQ(std::tuple(+info.width, +info.height), std::tuple(320, 160));
  TextSetSettings(40, 40, 12, nullptr);
  Profile::ResetApp();
}

}  // namespace
}  // namespace tamro::builtin
