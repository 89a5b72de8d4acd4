#include <gtest/gtest.h>

#include "platform/ui.h"

namespace tamro {
namespace {

TEST(Ui, ScriptedAnswersRecordsAndFallsBackCautiously) {
  ScriptedUi ui;
  ScopedUi scope(ui);
  ui.answers = {IDRETRY};
  EXPECT_EQ(Ui().MessageBox("ｴﾗｰ", "Tamro", MB_ABORTRETRYIGNORE | MB_ICONEXCLAMATION), IDRETRY);
  EXPECT_EQ(Ui().MessageBox("消しますか", "Tamro", MB_YESNO), IDNO);
  EXPECT_EQ(Ui().MessageBox("x", "Tamro", MB_YESNOCANCEL), IDCANCEL);
  ASSERT_EQ(ui.Messages().size(), 3u);
  EXPECT_EQ(ui.Messages()[0]->text, "ｴﾗｰ");
  EXPECT_EQ(ui.Messages()[0]->style & MB_ICONMASK, MB_ICONEXCLAMATION);

  ui.inputs = {"new name", "\x18"};
  std::string v = "old";
  EXPECT_TRUE(Ui().InputText("名前の変更", "name", v));
  EXPECT_EQ(v, "new name");
  EXPECT_FALSE(Ui().InputText("名前の変更", "name", v));
  EXPECT_EQ(v, "new name");

  ui.abortAfter = 1;
  {
    auto p = Ui().OpenProgress("コピー");
    p->SetRange(0, 3);
    EXPECT_FALSE(p->Aborted());
    p->Step();
    EXPECT_TRUE(p->Aborted());
  }
  EXPECT_EQ(ui.progress, (std::vector<std::string>{"open:コピー", "range:0,3", "step:1", "close"}));
}

TEST(Ui, QuietStandInWhenNothingIsInstalled) {
  UiServices *previous = SetUi(nullptr);
  EXPECT_EQ(Ui().MessageBox("t", "c", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(Ui().MessageBox("t", "c", MB_OK), IDOK);
  EXPECT_FALSE(Ui().OpenProgress("x")->Aborted());
  SetUi(previous);
}

}  // namespace
}  // namespace tamro
