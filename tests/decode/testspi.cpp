#include "testspi.h"

#include "platform/globalmem.h"
#include "support/bytes.h"

namespace tamro::test {

std::filesystem::path TestSpiDir() { return TAMRO_TEST_SPI_DIR; }

std::string TPic(int width, int height, int depth, uint8_t b, uint8_t g, uint8_t r, const char *magic,
                 bool comment, bool shortPixels) {
  std::string s(magic, 4);
  PutLe16(s, static_cast<uint32_t>(width));
  PutLe16(s, static_cast<uint32_t>(height));
  for (int v : {depth, int{b}, int{g}, int{r}, comment ? 'C' : 0, shortPixels ? 'S' : 0, 0, 0})
    s += static_cast<char>(v);
  return s;
}

std::string Tarc(const std::vector<TarcMember> &members, uint32_t flags) {
  std::string s = "TARC";
  PutLe32(s, static_cast<uint32_t>(members.size()));
  PutLe32(s, flags);
  for (const TarcMember &m : members) {
    std::string method = m.method;
    method.resize(8, '\0');
    s += method;
    PutLe32(s, m.time);
    PutLe32(s, static_cast<uint32_t>(m.data.size()));
    PutLe16(s, static_cast<uint32_t>(m.name.size()));
    s += m.name;
    s += m.data;
  }
  return s;
}

HostTest::HostTest() : spiDir(box.path("spi")) {
  std::filesystem::create_directories(spiDir);
  blocksAtStart = GlobalLiveBlockCount();
  CSpiHost::SetAlert(true);
}

HostTest::~HostTest() { host.reset(); }

void HostTest::Install(const std::string &plugin, const std::string &as) {
  std::filesystem::copy_file(TestSpiDir() / (plugin + ".spi"), spiDir / as,
                             std::filesystem::copy_options::overwrite_existing);
}

void HostTest::Store(const std::string &section, const std::string &key, int value) {
  host.reset();
  Profile::App().WriteInt(section, key, value);
}

CSpiHost &HostTest::Scan(const std::string &setName) {
  host.reset();
  status.clear();
  host = std::make_unique<CSpiHost>();
  host->ScanPlugins(
      Pattern(), [this](int code, std::string_view text) { status.emplace_back(code, text); }, setName);
  host->LoadPluginSet(setName);
  return *host;
}

SpiQuery HostTest::Query(const std::string &fileName, const SpiHead &head) {
  SpiQuery q;
  q.fileName = fileName;
  q.data = reinterpret_cast<uintptr_t>(head.bytes);
  q.length = head.length;
  return q;
}

int HostTest::Decode(int position, const char *source, unsigned form, long length, GlobalHandle *out,
                     ProgressProc progress, long user) {
  HDIB dib = nullptr;
  const int r = host->GetPicture(position, source, &dib, 0, 1, form, length, progress, user);
  EXPECT_TRUE(r == 0 || dib == nullptr) << r;
  GlobalHandle picture(dib);
  if (out != nullptr) *out = std::move(picture);
  return r;
}

int HostTest::DecodeImage(int position, const std::string &bytes, GlobalHandle *out, ProgressProc progress,
                          long user) {
  return Decode(position, bytes.data(), SPI_SOURCE_MEMORY, static_cast<long>(bytes.size()), out, progress,
                user);
}

int HostTest::DecodeFile(int position, const std::filesystem::path &path, long offset, GlobalHandle *out) {
  return Decode(position, path.c_str(), SPI_SOURCE_FILE, offset, out);
}

int HostTest::Find(const std::string &fileName, const std::string &bytes, int kind, int start,
                   std::vector<int> *asked) {
  const SpiHead head = HeadOf(bytes.data(), bytes.size());
  SpiQuery q = Query(fileName, head);
  q.kind = kind;
  q.start = start;
  if (asked) q.notify = [asked](int position, std::string_view, uintptr_t) { asked->push_back(position); };
  return host->FindDecoder(q);
}

}  // namespace tamro::test
