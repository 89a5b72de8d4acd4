#pragma once

// The one library of the built-in AVI decoder that needs FFmpeg. It is loaded the first time
// an AVI file is met, so that starting the program does not pay for FFmpeg's many libraries.
#ifdef __cplusplus
extern "C" {
#endif

enum {
  TAMRO_AVFRAME_OK = 0,
  TAMRO_AVFRAME_NOT_AVI = 1,   // the AVI demuxer could not open the file
  TAMRO_AVFRAME_NO_FRAME = 2,  // no video stream, no decoder, or nothing decoded
  TAMRO_AVFRAME_NO_MEMORY = 3, // the picture could not be allocated
};

// Width and height of the first video stream (0 x 0 when there is none).
typedef int (*TamroAviInfoProc)(const char *path, int *width, int *height);

// Asks `allocate` for a bottom-up 24-bit blue-green-red picture of the frame's size and fills
// it with the key frame at or before the middle of the first video stream.
typedef unsigned char *(*TamroAviAllocate)(void *user, int width, int height, long *rowBytes);
typedef int (*TamroAviFrameProc)(const char *path, TamroAviAllocate allocate, void *user);

#define TAMRO_AVFRAME_LIBRARY "libtamro_avframe.so"

#ifdef __cplusplus
}
#endif
