#include <QGuiApplication>
#include <cstdlib>

#include "decode/builtin/decoders.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "fuzz";
  static char *argv[] = {name, nullptr};
  static QGuiApplication app(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  tamro::builtin::LooksLikeText(data, size);
  static const int kSize[2] = {64, 48};  // small pictures keep the runs fast
  tamro::fuzz::RunDecoder(tamro::builtin::kText, data, size, 0, reinterpret_cast<intptr_t>(kSize));
  return 0;
}
