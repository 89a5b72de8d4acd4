// "_THUMBS_.RXI" images of any shape: the reader must stop at the first record that does not
// fit and hand out records whose header and data lie inside the file, and a record's data
// must decode or fail without leaving its bytes.

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "catalogue/thumbstore.h"
#include "decode/builtin/builtin.h"
#include "platform/globalhandle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  auto file = std::make_shared<tamro::ThumbBytes>(data, data + size);
  tamro::ThumbFileScan scan = tamro::ParseThumbFile(file);
  std::size_t end = 0;
  for (const tamro::ThumbRecord &r : scan.records) {
    if (r.offset != end || r.offset + r.Bytes() > size) __builtin_trap();
    end = r.offset + r.Bytes();
    tamro::HDIB picture = nullptr;
    tamro::builtin::JpegDecodeThumbnail(&picture, r.Data(), r.header.dataSize, 1, nullptr, 0);
    tamro::GlobalHandle owned(picture);
    // What a writer would make of the record's header reads back the same.
    unsigned char header[tamro::kThumbHeaderBytes];
    tamro::WriteThumbHeader(r.header, header);
    tamro::ThumbRecordHeader back = tamro::ParseThumbHeader(header, sizeof header);
    if (back.dataSize != r.header.dataSize || back.position != r.header.position) __builtin_trap();
  }
  if (!scan.damaged && end != size) __builtin_trap();
  return 0;
}
