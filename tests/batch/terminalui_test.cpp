// The terminal face of the engines' questions, with answers typed into a file standing in
// for the terminal.

#include "tools/tamro-batch/terminalui.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "support/sandbox.h"

namespace tamro::batch {
namespace {

struct Terminal {
  explicit Terminal(const std::string &typed) {
    std::fputs(typed.c_str(), in);
    std::rewind(in);
  }
  ~Terminal() {
    std::fclose(in);
    std::fclose(err);
  }
  std::string Shown() {
    std::fflush(err);
    std::string text(static_cast<std::size_t>(std::ftell(err)), '\0');
    std::rewind(err);
    text.resize(std::fread(text.data(), 1, text.size(), err));
    return text;
  }
  // Bytes of the typed answers not read yet (nothing is read after asking).
  long Unread() {
    const long at = std::ftell(in);
    std::fseek(in, 0, SEEK_END);
    return std::ftell(in) - at;
  }
  std::FILE *in = std::tmpfile(), *err = std::tmpfile();
};

const TerminalUiOptions kInteractive{.sameNameAction = std::nullopt, .interactive = true};

SameNameQuestion Question(unsigned disabled = 0) {
  SameNameQuestion q;
  q.caption = "重ね書き", q.sourceName = "/src/a.png", q.action = 4, q.disabledActions = disabled;
  q.destinationName = q.name = "/out/a(2).jpg";  // the box as the dialog opened with numbering
  return q;
}

TEST(TerminalUi, AsksOnATerminalUntilAnAnswerFitsTheBox) {
  Terminal t("x\n\nn\ny\n");
  TerminalUi ui(kInteractive, t.in, t.err);
  EXPECT_EQ(ui.MessageBox("作成しますか？", "Tamro", MB_YESNO | MB_ICONQUESTION), IDNO);
  EXPECT_EQ(ui.MessageBox("作成しますか？", "Tamro", MB_YESNO), IDYES);
  // Input at its end: the cautious answer, never a wait.
  EXPECT_EQ(ui.MessageBox("続けますか？", "Tamro", MB_OKCANCEL), IDCANCEL);
  const std::string shown = t.Shown();
  EXPECT_NE(shown.find("作成しますか？"), std::string::npos);
  EXPECT_NE(shown.find("[y]es / [n]o"), std::string::npos);
  EXPECT_EQ(ui.Unanswered(), 0);

  // A message without buttons reads nothing; a stop icon counts as a failure.
  Terminal m("y\n");
  TerminalUi shown2(kInteractive, m.in, m.err);
  EXPECT_EQ(shown2.MessageBox("書き込みに失敗しました", "Tamro", MB_OK | MB_ICONSTOP), IDOK);
  EXPECT_EQ(shown2.MessageBox("お知らせ", "Report", MB_OK), IDOK);
  EXPECT_EQ(std::tuple(m.Unread(), shown2.Failures()), std::tuple(2, 1));
}

TEST(TerminalUi, WithoutATerminalQuestionsAreRefusedUnlessASwitchAnswers) {
  Terminal t("y\n");
  TerminalUi ui(TerminalUiOptions{}, t.in, t.err);
  EXPECT_EQ(ui.MessageBox("フォルダが存在しません．新しく作成しますか？", "Tamro", MB_YESNO), IDNO);
  EXPECT_EQ(ui.MessageBox("再試行しますか？", "Tamro", MB_ABORTRETRYIGNORE), IDABORT);
  std::string name = "old";
  SameNameQuestion q = Question();
  EXPECT_TRUE(!ui.InputText("名前の変更", "新しい名前", name) && !ui.AskSameName(q));
  // Standard input is never read.
  const std::string shown = t.Shown();
  EXPECT_EQ(std::tuple(ui.Unanswered(), t.Unread(), shown.find("--yes") != std::string::npos,
                       shown.find("--on-conflict") != std::string::npos),
            std::tuple(4, 2, true, true))
      << shown;

  Terminal y("");
  TerminalUi answered({.quiet = true, .yes = true, .sameNameAction = std::nullopt}, y.in, y.err);
  EXPECT_EQ(answered.MessageBox("作成しますか？", "Tamro", MB_YESNO), IDYES);
  EXPECT_EQ(answered.MessageBox("続けますか？", "Tamro", MB_OKCANCEL), IDOK);
  // Abort, retry or ignore has no "yes": still refused.
  EXPECT_EQ(answered.MessageBox("再試行しますか？", "Tamro", MB_ABORTRETRYIGNORE), IDABORT);
  EXPECT_EQ(answered.Unanswered(), 1);
}

TEST(TerminalUi, SameNameAnswersGoOneFileAtATime) {
  Terminal t("");
  TerminalUi ui({.sameNameAction = 2}, t.in, t.err);
  SameNameQuestion q = Question();
  ASSERT_TRUE(ui.AskSameName(q));
  // The name is the destination the question was opened with; not for all, so that every skipped
  // file is asked about and seen.
  EXPECT_EQ(std::tuple(q.action, q.name, q.applyToAll, ui.Skipped()),
            std::tuple(2, "", false, std::vector<std::string>{"/src/a.png"}));

  // An answer the question does not offer is refused, not bent into another one.
  TerminalUi refusing({.sameNameAction = 0}, t.in, t.err);
  SameNameQuestion overwrite = Question(1u << 0 | 1u << 5);
  EXPECT_FALSE(refusing.AskSameName(overwrite));
  EXPECT_EQ(refusing.Unanswered(), 1);

  // On a terminal: a disabled or unknown number asks again; "a" keeps the answer for the rest.
  Terminal typed("9\n5\n1a\n");
  TerminalUi asking(kInteractive, typed.in, typed.err);
  SameNameQuestion first = Question(1u << 5);
  ASSERT_TRUE(asking.AskSameName(first));
  EXPECT_EQ(std::tuple(first.action, first.name), std::tuple(1, ""));
  SameNameQuestion second = Question();
  ASSERT_TRUE(asking.AskSameName(second));
  // Disabled actions are not offered.
  EXPECT_EQ(std::tuple(second.action, typed.Unread(), typed.Shown().find("大きなサイズ")),
            std::tuple(1, 0, std::string::npos));
}

TEST(TerminalUi, ProgressIsPlainLinesOffATerminalAndNothingWhenQuiet) {
  Terminal t("");
  TerminalUi ui(TerminalUiOptions{}, t.in, t.err);
  {
    auto p = ui.OpenProgress("ファイル保存中...");
    p->SetRange(0, 2);
    p->SetText("a.jpg");
    p->Step(1);
    p->SetText("b.jpg");
    p->Step(1);
  }
  EXPECT_EQ(t.Shown(), "ファイル保存中... 1/2 a.jpg\nファイル保存中... 2/2 b.jpg\n");

  Terminal q("");
  TerminalUi silent({.quiet = true, .sameNameAction = std::nullopt}, q.in, q.err);
  silent.OpenProgress("x")->Step(1);
  silent.StatusText("status");
  EXPECT_EQ(q.Shown(), "");

  EXPECT_EQ(FormatDuration(std::chrono::seconds(59)), "0:59");
  EXPECT_EQ(FormatDuration(std::chrono::seconds(3661)), "1:01:01");
}

// What a second Ctrl+C removes before it ends the program.
TEST(SignalCleanup, RemovesTheFolderWithoutFollowingLinks) {
  namespace fs = std::filesystem;
  test::Sandbox box;
  box.write("scratch/config/QEV/Tamro.ini", "x");
  box.write("scratch/.tamro-part-1", "y");
  for (int i = 0; i < 200; ++i) box.write("scratch/many/" + std::to_string(i) + ".ini", "z");
  box.write("kept/file", "z");
  fs::create_directory_symlink(box.path("kept"), box.path("scratch/link"));
  RemoveTreeFromSignal(box.path("scratch").c_str());
  EXPECT_TRUE(!fs::exists(box.path("scratch")) && fs::exists(box.path("kept/file")));
}

}  // namespace
}  // namespace tamro::batch
