extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <gtest/gtest.h>

#include "decode/builtin/builtin.h"
#include "helpers.h"
#include "support/sandbox.h"

namespace tamro::builtin {
namespace {

using test::Picture;

// An AVI of `frames` solid pictures (red = 20 x frame number) of raw BGR video, or of
// silence only.
bool WriteAvi(const std::string &path, int frames, bool video) {
  AVFormatContext *oc = nullptr;
  if (avformat_alloc_output_context2(&oc, nullptr, "avi", path.c_str()) < 0) return false;
  const AVCodec *codec = avcodec_find_encoder(video ? AV_CODEC_ID_RAWVIDEO : AV_CODEC_ID_PCM_S16LE);
  AVStream *st = avformat_new_stream(oc, nullptr);
  AVCodecContext *cc = avcodec_alloc_context3(codec);
  if (video) {
    cc->width = 6;
    cc->height = 4;
    cc->pix_fmt = AV_PIX_FMT_BGR24;
    cc->time_base = AVRational{1, 10};
  } else {
    cc->sample_rate = 8000;
    cc->sample_fmt = AV_SAMPLE_FMT_S16;
    av_channel_layout_default(&cc->ch_layout, 1);
    cc->time_base = AVRational{1, 8000};
  }
  bool ok = avcodec_open2(cc, codec, nullptr) >= 0 && avcodec_parameters_from_context(st->codecpar, cc) >= 0;
  st->time_base = cc->time_base;
  ok =
      ok && avio_open(&oc->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0 && avformat_write_header(oc, nullptr) >= 0;
  AVFrame *frame = av_frame_alloc();
  AVPacket *packet = av_packet_alloc();
  for (int i = 0; ok && i < frames; ++i) {
    if (video) {
      frame->format = cc->pix_fmt;
      frame->width = cc->width;
      frame->height = cc->height;
    } else {
      frame->format = cc->sample_fmt;
      frame->nb_samples = 800;
      av_channel_layout_copy(&frame->ch_layout, &cc->ch_layout);
      frame->sample_rate = cc->sample_rate;
    }
    ok = av_frame_get_buffer(frame, 0) >= 0;
    if (!ok) break;
    if (video) {
      for (int y = 0; y < frame->height; ++y)
        for (int x = 0; x < frame->width; ++x) {
          uint8_t *p = frame->data[0] + y * frame->linesize[0] + x * 3;
          p[0] = static_cast<uint8_t>(x == 0 && y == 0 ? 255 : 0);  // blue marks the top-left
          p[1] = 50;
          p[2] = static_cast<uint8_t>(20 * i);
        }
      frame->pts = i;
    } else {
      std::fill(frame->data[0], frame->data[0] + 1600, 0);
      frame->pts = i * 800;
    }
    ok = avcodec_send_frame(cc, frame) >= 0;
    while (ok && avcodec_receive_packet(cc, packet) == 0) {
      av_packet_rescale_ts(packet, cc->time_base, st->time_base);
      packet->stream_index = st->index;
      ok = av_interleaved_write_frame(oc, packet) >= 0;
    }
    av_frame_unref(frame);
  }
  if (ok) av_write_trailer(oc);
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&cc);
  avio_closep(&oc->pb);
  avformat_free_context(oc);
  return ok;
}

TEST(Avi, MiddleFrameOfTheFirstVideoStreamBottomRowFirst) {
  test::Sandbox box;
  const std::string path = box.path("v.avi").string();
  ASSERT_TRUE(WriteAvi(path, 10, true));
  const std::string bytes = test::ReadFile(path);
  std::string head = bytes.substr(0, SPI_HEAD_BYTES);
  head.resize(SPI_HEAD_BYTES);
  EXPECT_EQ(IsSupported(kAvi, "v.avi", reinterpret_cast<uintptr_t>(head.data())), 1);

  SpiPictureInfo info{};
  ASSERT_EQ(GetPictureInfo(kAvi, path.c_str(), 0, SPI_SOURCE_FILE, &info, nullptr), 0);
  EXPECT_EQ(info.width, 6);
  EXPECT_EQ(info.height, 4);
  EXPECT_EQ(info.colorDepth, 0);
  EXPECT_EQ(
      GetPictureInfo(kAvi, bytes.data(), static_cast<long>(bytes.size()), SPI_SOURCE_MEMORY, &info, nullptr),
      SPI_NO_FUNCTION);

  Picture pic;
  ASSERT_EQ(GetPicture(kAvi, path.c_str(), 0, SPI_SOURCE_FILE, pic.out(), 0, 0, nullptr, 0), 0);
  const BitmapInfoHeader h = test::HeaderOf(pic.h);
  EXPECT_EQ(h.width, 6);
  EXPECT_EQ(h.height, 4);
  EXPECT_EQ(h.bitCount, 24);
  const auto c = test::PixelAt(pic.h, 3, 2);
  EXPECT_EQ(c.r, 100) << "frame 5 of 10";
  EXPECT_EQ(c.g, 50);
  EXPECT_EQ(test::PixelAt(pic.h, 0, 0).b, 255) << "top-left stays top-left";
  Picture mem;
  EXPECT_EQ(GetPicture(kAvi, bytes.data(), static_cast<long>(bytes.size()), SPI_SOURCE_MEMORY, mem.out(), 0,
                       0, nullptr, 0),
            SPI_NO_PICTURE);
}

TEST(Avi, NoVideoOrNoFileGivesNoPicture) {
  test::Sandbox box;
  const std::string path = box.path("a.avi").string();
  ASSERT_TRUE(WriteAvi(path, 5, false));
  Picture pic;
  EXPECT_EQ(GetPicture(kAvi, path.c_str(), 0, SPI_SOURCE_FILE, pic.out(), 0, 0, nullptr, 0), SPI_READ_ERROR);
  EXPECT_EQ(GetPicture(kAvi, box.path("none.avi").c_str(), 0, SPI_SOURCE_FILE, pic.out(), 0, 0, nullptr, 0),
            SPI_READ_ERROR);
  const auto junk = box.write("j.avi", "RIFF\x10\0\0\0AVI LIST");
  EXPECT_EQ(GetPicture(kAvi, junk.c_str(), 0, SPI_SOURCE_FILE, pic.out(), 0, 0, nullptr, 0), SPI_READ_ERROR);
  SpiPictureInfo info{};
  EXPECT_EQ(GetPictureInfo(kAvi, box.path("none.avi").c_str(), 0, SPI_SOURCE_FILE, &info, nullptr),
            SPI_NO_FUNCTION);
  EXPECT_EQ(pic.h, nullptr);
}

TEST(Mpeg, NeverClaimsAndGivesNoPicture) {
  test::Sandbox box;
  std::string head(SPI_HEAD_BYTES, '\0');
  head.replace(0, 4, "\0\0\x01\xBA", 4);
  EXPECT_EQ(IsSupported(kMpeg, "a.mpg", reinterpret_cast<uintptr_t>(head.data())), 0);
  SpiPictureInfo info{};
  EXPECT_EQ(GetPictureInfo(kMpeg, head.data(), 4, SPI_SOURCE_MEMORY, &info, nullptr), SPI_NO_FUNCTION);
  Picture pic;
  const auto path = box.write("a.mpg", head);
  EXPECT_EQ(GetPicture(kMpeg, path.c_str(), 0, SPI_SOURCE_FILE, pic.out(), 0, 0, nullptr, 0), SPI_READ_ERROR);
  EXPECT_EQ(GetPicture(kMpeg, head.data(), 4, SPI_SOURCE_MEMORY, pic.out(), 0, 0, nullptr, 0),
            SPI_NO_PICTURE);
  EXPECT_EQ(Name(kMpeg), std::string("--MPG--"));
  EXPECT_EQ(Patterns(kJpeg), std::string("*.JPG;*.JPEG;*.JPE;*.JIFF"));
  EXPECT_EQ(Name(999), nullptr);
}

}  // namespace
}  // namespace tamro::builtin
