// FFmpeg behind the built-in AVI decoder: the key frame at or before the middle of the first
// video stream.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <mutex>

#include "decode/builtin/avframe/avframe.h"

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

extern "C" __attribute__((visibility("default"))) int TamroAviInfo(const char *path, int *width, int *height) {
  FormatPtr ctx = OpenAvi(path);
  if (!ctx) return TAMRO_AVFRAME_NOT_AVI;
  *width = *height = 0;
  const int stream = FirstVideoStream(ctx.get());
  if (stream >= 0) {
    *width = ctx->streams[stream]->codecpar->width;
    *height = ctx->streams[stream]->codecpar->height;
  }
  return TAMRO_AVFRAME_OK;
}

extern "C" __attribute__((visibility("default"))) int TamroAviFrame(const char *path, TamroAviAllocate allocate,
                                                                     void *user) {
  FormatPtr ctx = OpenAvi(path);
  if (!ctx) return TAMRO_AVFRAME_NOT_AVI;
  const int stream = FirstVideoStream(ctx.get());
  if (stream < 0) return TAMRO_AVFRAME_NO_FRAME;
  AVStream *st = ctx->streams[stream];
  const AVCodec *decoder = avcodec_find_decoder(st->codecpar->codec_id);
  if (!decoder) return TAMRO_AVFRAME_NO_FRAME;
  std::unique_ptr<AVCodecContext, CodecCloser> codec(avcodec_alloc_context3(decoder));
  if (!codec || avcodec_parameters_to_context(codec.get(), st->codecpar) < 0 ||
      avcodec_open2(codec.get(), decoder, nullptr) < 0)
    return TAMRO_AVFRAME_NO_FRAME;

  // The key frame at or before the middle; from the start when there is none.
  const int64_t start = st->start_time == AV_NOPTS_VALUE ? 0 : st->start_time;
  const int64_t length = st->duration > 0 ? st->duration : st->nb_frames;
  if (length > 0 && av_seek_frame(ctx.get(), stream, start + length / 2, AVSEEK_FLAG_BACKWARD) < 0)
    av_seek_frame(ctx.get(), stream, start, AVSEEK_FLAG_BACKWARD);
  auto frame = NextFrame(ctx.get(), codec.get(), stream);
  if (!frame || frame->width <= 0 || frame->height <= 0) return TAMRO_AVFRAME_NO_FRAME;

  std::unique_ptr<SwsContext, ScaleCloser> scale(
      sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), frame->width,
                     frame->height, AV_PIX_FMT_BGR24, SWS_POINT, nullptr, nullptr, nullptr));
  if (!scale) return TAMRO_AVFRAME_NO_FRAME;
  long rowBytes = 0;
  unsigned char *bits = allocate(user, frame->width, frame->height, &rowBytes);
  if (!bits) return TAMRO_AVFRAME_NO_MEMORY;
  // Writing the last stored row first with a negative stride turns the picture bottom-up.
  uint8_t *dst[4] = {bits + static_cast<int64_t>(frame->height - 1) * rowBytes, nullptr, nullptr, nullptr};
  int stride[4] = {-static_cast<int>(rowBytes), 0, 0, 0};
  if (sws_scale(scale.get(), frame->data, frame->linesize, 0, frame->height, dst, stride) <= 0)
    return TAMRO_AVFRAME_NO_FRAME;
  return TAMRO_AVFRAME_OK;
}
