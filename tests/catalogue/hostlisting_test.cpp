#include <filesystem>

#include "catalogue/hostdecoders.h"
#include "decode/spihost.h"
#include "docfixture.h"

namespace tamro::test {
namespace {

namespace fs = std::filesystem;

// The listing over the program's own host, with no plug-ins: only the built-in decoders.
class HostListingTest : public DocTest {
 protected:
  CSpiHost host;
  HostDecoders access{host};

  // A document over the host's decoders listing the pictures' folder.
  std::unique_ptr<CRXDoc> HostListedDoc() {
    auto d = MakeDoc();
    d->SetDecoders(&access);
    d->ChangeFolder(Folder(), nullptr, false);
    return d;
  }
  // The corpus's 8-bit BMP and JPEG picture under these names; false when the conformance pictures
  // are not beside the checkout.
  bool CopyFromCorpus(const std::string &bmp, const std::string &jpeg) {
    fs::create_directories(box.path("pics"));
    std::error_code ec;
    return fs::copy_file(CorpusDir() / "bmp-bmpsuite/g/pal8.bmp", box.path("pics/" + bmp), ec) &&
           fs::copy_file(CorpusDir() / "jpeg-libjpeg-turbo/testorig.jpg", box.path("pics/" + jpeg), ec);
  }
};

TEST_F(HostListingTest, ScanSpiKeepsOnlyFilesABuiltInDecoderReads) {
  if (!CopyFromCorpus("real.bmp", "photo.dat")) GTEST_SKIP() << "no corpus at " << CorpusDir();
  Write("pics/fake.bmp", std::string(3000, 'z'));  // the JPEG is found by its content
  Write("pics/short.bmp", "BM");
  profile.WriteInt("RXDoc", "ScanSPI", 1);
  auto doc = HostListedDoc();
  EXPECT_EQ(Sorted(Names(*doc)), (std::vector<std::string>{"photo.dat", "real.bmp"}));
  // The extension check on top: listing_test.cpp, with the host's filter below.
}

TEST_F(HostListingTest, NamesFiltersAndArchivesComeFromTheHost) {
  // Lookup rules by kind: decode/spiset_test.cpp; names in use: the sorting test below.
  EXPECT_EQ(std::tuple(access.FindDecoderByName("--bmp--", PictureDecoders::kPicture),
                       access.FindDecoderByName("", PictureDecoders::kPicture), access.HasArchiveDecoders()),
            std::tuple(1000, -1, false));
  EXPECT_NE(access.PictureFilter().find("*.BMP"), std::string::npos);
  std::vector<ArchiveMember> members;
  GlobalHandle bytes;
  unsigned char empty[1] = {0};
  EXPECT_TRUE(access.ListArchive(0, Folder() + "/none.arc", members) != 0 && members.empty());
  EXPECT_NE(access.ExtractMember(0, Folder() + "/none.arc", 0, bytes), 0);
  EXPECT_EQ(access.FindPictureDecoder("x.bmp", empty, 0, 0, -1), -1);
}

TEST_F(HostListingTest, SortingByDecoderNameUsesTheHostsNames) {
  if (!CopyFromCorpus("b.bmp", "a.jpg")) GTEST_SKIP() << "no corpus at " << CorpusDir();
  Write("pics/c.bin", "nothing");
  auto doc = HostListedDoc();
  for (int i = 0; i < doc->GetEntryCount(); ++i) {
    CPicEntry *e = doc->GetEntry(i);
    e->facts.decoder = e->name == "b.bmp" ? 1000 : e->name == "a.jpg" ? 1001 : -1;
  }
  doc->SortBy(kSortDecoder, 2);
  EXPECT_EQ(Names(*doc), (std::vector<std::string>{"a.jpg", "b.bmp", "c.bin"}));
  doc->SortBy(kSortDecoder, 1);
  EXPECT_EQ(Names(*doc), (std::vector<std::string>{"c.bin", "b.bmp", "a.jpg"}));
}

}  // namespace
}  // namespace tamro::test
