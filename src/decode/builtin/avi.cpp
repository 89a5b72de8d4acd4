// Built-in AVI decoder over FFmpeg: the key frame at or before the middle of the first video
// stream. The MPEG entry never claims a file.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <cstring>
#include <memory>
#include <mutex>

#include "decode/builtin/common.h"
#include "decode/builtin/decoders.h"

namespace tamro::builtin {

namespace {

void QuietLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

struct FormatCloser {
  void operator()(AVFormatContext *c) const { avformat_close_input(&c); }
};
struct CodecCloser {
  void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct FrameCloser {
  void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct PacketCloser {
  void operator()(AVPacket *p) const { av_packet_free(&p); }
};
struct ScaleCloser {
  void operator()(SwsContext *s) const { sws_freeContext(s); }
};
using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;

// Opens the file with the AVI demuxer only, whatever the file claims to be.
FormatPtr OpenAvi(const char *path) {
  QuietLibrary();
  AVFormatContext *ctx = nullptr;
  const AVInputFormat *avi = av_find_input_format("avi");
  if (!avi || avformat_open_input(&ctx, path, avi, nullptr) < 0) return nullptr;
  FormatPtr owner(ctx);
  if (avformat_find_stream_info(ctx, nullptr) < 0) return nullptr;
  return owner;
}

int FirstVideoStream(AVFormatContext *ctx) {
  for (unsigned i = 0; i < ctx->nb_streams; ++i)
    if (ctx->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) return static_cast<int>(i);
  return -1;
}

// Decodes frames from the current read position until one comes out.
std::unique_ptr<AVFrame, FrameCloser> NextFrame(AVFormatContext *ctx, AVCodecContext *codec, int stream) {
  std::unique_ptr<AVFrame, FrameCloser> frame(av_frame_alloc());
  std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
  if (!frame || !packet) return nullptr;
  bool draining = false;
  for (;;) {
    const int r = avcodec_receive_frame(codec, frame.get());
    if (r == 0) return frame;
    if (r != AVERROR(EAGAIN) || draining) return nullptr;
    if (av_read_frame(ctx, packet.get()) < 0) {
      draining = true;
      avcodec_send_packet(codec, nullptr);
      continue;
    }
    if (packet->stream_index == stream) avcodec_send_packet(codec, packet.get());
    av_packet_unref(packet.get());
  }
}

}  // namespace

int AviIsSupported(uintptr_t data) {
  const HeadBytes head = ReadHead(data);
  return std::memcmp(head.bytes, "RIFF", 4) == 0 && std::memcmp(head.bytes + 8, "AVI", 3) == 0;
}

int AviGetPictureInfo(const char *source, long lengthOrOffset, unsigned flags, SpiPictureInfo *info) {
  if (!info || !source || (flags & SPI_SOURCE_MASK) != SPI_SOURCE_FILE || lengthOrOffset != 0)
    return SPI_NO_FUNCTION;
  FormatPtr ctx = OpenAvi(source);
  if (!ctx) return SPI_NO_FUNCTION;
  *info = SpiPictureInfo{};
  const int stream = FirstVideoStream(ctx.get());
  if (stream >= 0) {
    info->width = ctx->streams[stream]->codecpar->width;
    info->height = ctx->streams[stream]->codecpar->height;
  }
  return SPI_OK;
}

int AviGetPicture(const char *source, long lengthOrOffset, unsigned flags, HDIB *out) {
  if (!out || !source) return SPI_NO_FUNCTION;
  if ((flags & SPI_SOURCE_MASK) != SPI_SOURCE_FILE) return SPI_NO_PICTURE;
  if (lengthOrOffset != 0) return SPI_READ_ERROR;  // the demuxer reads the whole file
  FormatPtr ctx = OpenAvi(source);
  if (!ctx) return SPI_READ_ERROR;
  const int stream = FirstVideoStream(ctx.get());
  if (stream < 0) return SPI_READ_ERROR;
  AVStream *st = ctx->streams[stream];
  const AVCodec *decoder = avcodec_find_decoder(st->codecpar->codec_id);
  if (!decoder) return SPI_READ_ERROR;
  std::unique_ptr<AVCodecContext, CodecCloser> codec(avcodec_alloc_context3(decoder));
  if (!codec || avcodec_parameters_to_context(codec.get(), st->codecpar) < 0 ||
      avcodec_open2(codec.get(), decoder, nullptr) < 0)
    return SPI_READ_ERROR;

  // The key frame at or before the middle; from the start when there is none.
  const int64_t start = st->start_time == AV_NOPTS_VALUE ? 0 : st->start_time;
  const int64_t length = st->duration > 0 ? st->duration : st->nb_frames;
  if (length > 0 && av_seek_frame(ctx.get(), stream, start + length / 2, AVSEEK_FLAG_BACKWARD) < 0)
    av_seek_frame(ctx.get(), stream, start, AVSEEK_FLAG_BACKWARD);
  auto frame = NextFrame(ctx.get(), codec.get(), stream);
  if (!frame || frame->width <= 0 || frame->height <= 0) return SPI_READ_ERROR;

  NewDib dib = MakeDib(frame->width, frame->height, 24, 0);
  if (!dib) return SPI_READ_ERROR;
  std::unique_ptr<SwsContext, ScaleCloser> scale(
      sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), frame->width,
                     frame->height, AV_PIX_FMT_BGR24, SWS_POINT, nullptr, nullptr, nullptr));
  if (!scale) return SPI_READ_ERROR;
  // Writing the last stored row first with a negative stride turns the picture bottom-up.
  uint8_t *dst[4] = {dib.bits + (frame->height - 1) * dib.rowBytes, nullptr, nullptr, nullptr};
  int stride[4] = {-static_cast<int>(dib.rowBytes), 0, 0, 0};
  if (sws_scale(scale.get(), frame->data, frame->linesize, 0, frame->height, dst, stride) <= 0)
    return SPI_READ_ERROR;
  *out = dib.Release();
  return SPI_OK;
}

int MpegGetPicture(unsigned flags) {
  return (flags & SPI_SOURCE_MASK) == SPI_SOURCE_FILE ? SPI_READ_ERROR : SPI_NO_PICTURE;
}

}  // namespace tamro::builtin
