// Printing the selection of a real folder document, and the print dialog's file history.
#include <gtest/gtest.h>

#include "catalogue/rxdoc.h"
#include "output/printdocsource.h"
#include "output/printoption.h"
#include "picture/dibdraw.h"
#include "platform/profile.h"
#include "platform/startup.h"
#include "platform/ui.h"
#include "printtest.h"
#include "support/sandbox.h"

namespace tamro {
namespace {

TEST(PrintDocSource, PrintsTheDocumentsSelectionWithItsNames) {
  test::EnsureGuiApp();
  test::Sandbox box;
  ScriptedUi ui;
  ScopedUi scope(ui);
  const std::pair<const char *, Qt::GlobalColor> files[] = {
      {"a.bmp", Qt::red}, {"b.bmp", Qt::green}, {"c.bmp", Qt::blue}};
  for (const auto &[name, colour] : files) {
    GlobalHandle dib(test::SolidDib(8, 8, colour));
    std::filesystem::create_directories(box.path("pics"));
    ASSERT_EQ(SaveDibFile(box.path(std::string("pics/") + name).string(), dib.get()), 1);
  }
  Profile profile(box.configFile());
  CRXDoc doc(&profile);
  doc.ChangeFolder(box.path("pics").string(), nullptr, false);
  ASSERT_EQ(doc.GetEntryCount(), 3);
  int b = -1;
  for (int i = 0; i < 3; ++i) {
    if (doc.GetEntry(i)->name == "b.bmp")
      b = i;
    else
      doc.SetEntryFlags(i, CPicEntry::kSelected);
  }

  std::vector<int> modes;
  bool busyWhileLoading = false;
  CPrintDocSource source(
      doc,
      [&](CPicEntry &e) {
        busyWhileLoading = doc.IsBusy();
        return BitmapToDib(QImage(QString::fromStdString(e.FullPath())));
      },
      nullptr, [&](int mode) { modes.push_back(mode); });
  EXPECT_EQ(std::tuple(source.CountSelected(), source.IsSelected(b), source.IsSelected(3)),
            std::tuple(2, false, false));
  EXPECT_EQ(source.ExpandText(b, "$(PicName)/$(W)") + source.ExpandText(-1, "[$(PicName)]"), "b.bmp/0[]");

  // Each page shows the picture and, at the top, its name: page 2 has no third picture.
  test::ImagePrintDevice device(test::MeasuresFor(400, 400, 254));
  std::string def = box.write("doc.dps", "P,0,10,40,40,0\nS,0,0,40,10,$(PicName),0,Sans,8,4\nN\n").string();
  EXPECT_EQ(CPrintLayout(source).PrintSelected(device, def), 1);
  ASSERT_EQ(device.pages.size(), 1u);
  QColor first = doc.GetEntry(b == 0 ? 1 : 0)->name == "a.bmp" ? Qt::red : Qt::blue;
  EXPECT_TRUE(test::IsColour(device.pages[0].pixel(200, 250), first));
  EXPECT_FALSE(test::InkBox(device.pages[0].copy(0, 0, 400, 100), test::IsInk).isNull());
  EXPECT_EQ(std::tuple(busyWhileLoading && !doc.IsBusy(), modes), std::tuple(true, std::vector<int>{2, 0}));

  // An entry that cannot be decoded prints its icon: something dark inside the white square.
  CPrintDocSource undecodable(doc, [](CPicEntry &) { return HDIB(); });
  device.pages.clear();
  int index = b;
  ASSERT_TRUE(device.StartPage());
  CPrintLayout(undecodable).PrintDefinitionPage(device, "P,0,0,40,40,0\n", index, 1);
  EXPECT_FALSE(test::InkBox(device.pages[0], test::IsInk).isNull());
}

TEST(PrintOption, DefinitionFileHistoryMostRecentFirst) {
  test::Sandbox box;
  CPrintOption o;
  o.Load();
  EXPECT_TRUE(o.definitionFile.empty());
  o.Accept();  // no file: nothing written
  EXPECT_FALSE(std::filesystem::exists(box.configFile()));
  for (const char *f : {"/d/x.dps", "/d/y.dps", "/d/x.dps"}) {
    o.definitionFile = f;
    o.Accept();
  }
  CPrintOption again;
  again.Load();
  EXPECT_EQ(again.Files().items(), (std::vector<std::string>{"/d/x.dps", "/d/y.dps"}));
  EXPECT_EQ(std::tuple(again.definitionFile, Profile::App().GetString("Print", "File1", "")),
            std::tuple("/d/x.dps", "/d/y.dps"));
  EXPECT_EQ(CPrintOption::BrowseFolder(), ExecutableFolder());
}

}  // namespace
}  // namespace tamro
