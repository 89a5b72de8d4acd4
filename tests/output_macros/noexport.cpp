// A library that loads but does not offer CpDecode.
extern "C" __attribute__((visibility("default"))) int SomethingElse() { return 1; }
