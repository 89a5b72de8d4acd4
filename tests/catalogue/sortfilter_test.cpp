#include <gtest/gtest.h>

#include <QDateTime>

#include "catalogue/displayfilter.h"
#include "catalogue/entrysort.h"
#include "catalogue/picentry.h"
#include "catalogue/sortstate.h"
#include "docfixture.h"
#include "platform/profile.h"
#include "support/sandbox.h"

namespace tamro {
namespace {

using test::DocTest;
using test::Sandbox;

// The pixel column's eight keys and back, clicked through: views/lstview_test.cpp.

TEST(SortState, HeaderLabelsOfEveryColumn) {
  // State 7 of the name column does not exist: the plain label.
  const std::tuple<int, int, const char *> labels[] = {
      {kSortName, 1, " ﾌｧｲﾙ名+"},    {kSortExtension, 2, " 拡張子-"}, {kSortSize, 0, "ｻｲｽﾞ "},
      {kSortSize, 1, "ｻｲｽﾞ+ "},      {kSortSize, 2, "ｻｲｽﾞ- "},        {kSortTime, 1, " 更新日付+"},
      {kSortArchive, 2, " ｱｰｶｲﾌﾞ-"}, {kSortDescription, 1, " 情報+"}, {kSortDecoder, 1, " SPI名+"},
      {kSortNote, 2, " ｺﾒﾝﾄ-"},      {kSortFolder, 1, "ﾌｫﾙﾀﾞ名+"},    {kSortName, 7, " ﾌｧｲﾙ名"}};
  for (const auto &[column, state, label] : labels) EXPECT_EQ(SortHeaderText(column, state), label) << column;
  CSortState s;
  s.SortBy(kSortSize, 2);
  EXPECT_EQ(s.HeaderText(kSortSize) + "|" + s.HeaderText(kSortName), "ｻｲｽﾞ- | ﾌｧｲﾙ名");
}

TEST(SortState, SortByStateRules) {
  // -1 steps; a state beyond the column's is ((state - 1) mod count) + 1; another column starts
  // from 0 before stepping.
  const std::tuple<int, int, int> steps[] = {{kSortName, -1, 1}, {kSortName, -1, 2},   {kSortName, -1, 0},
                                             {kSortName, 5, 1},  {kSortPixels, 11, 3}, {kSortSize, -1, 1},
                                             {kSortSize, 0, 0}};
  CSortState s;
  for (const auto &[column, state, after] : steps) {
    s.SortBy(column, state);
    EXPECT_EQ(std::tuple(s.column(), s.state()), std::tuple(column, after)) << column << "," << state;
  }
}

TEST(SortState, CommandsAndTheirCheckMarks) {
  CSortState s;
  auto apply = [&s](SortCommand c) { return s.SortBy(s.CommandTarget(c).column, s.CommandTarget(c).state); };
  s.SortBy(kSortSize, 2);
  apply(SortCommand::kByPixelWidth);
  EXPECT_EQ(s.HeaderText(kSortPixels), " 画素-w");
  EXPECT_EQ(
      (std::vector<bool>{
          s.IsCommandChecked(SortCommand::kByPixelWidth), s.IsCommandChecked(SortCommand::kByPixelHeight),
          s.IsCommandChecked(SortCommand::kDescending), s.IsCommandChecked(SortCommand::kAscending)}),
      (std::vector<bool>{true, false, true, false}));

  s.SortBy(kSortPixels, kPixelHeightDown);
  apply(SortCommand::kAscending);
  EXPECT_TRUE(s.HeaderText(kSortPixels) == " 画素+h" && s.IsCommandChecked(SortCommand::kAscending));

  // The named columns keep the direction; from the unsorted state they go up.
  EXPECT_EQ(apply(SortCommand::kByName), (SortKey{kSortName, 1}));
  s.SortBy(kSortPixels, kPixelAreaDown);
  EXPECT_EQ(apply(SortCommand::kByName), (SortKey{kSortName, 2}));
  s.SortBy(kSortTime, 2);
  EXPECT_EQ((std::vector<SortKey>{
                s.CommandTarget(SortCommand::kByExtension), s.CommandTarget(SortCommand::kByPixelArea),
                s.CommandTarget(SortCommand::kAscending), s.CommandTarget(SortCommand::kReapply)}),
            (std::vector<SortKey>{
                {kSortExtension, 2}, {kSortPixels, kPixelAreaDown}, {kSortTime, 1}, {kSortTime, 2}}));
  apply(SortCommand::kNoSort);
  EXPECT_TRUE(s.IsCommandChecked(SortCommand::kNoSort) && !s.IsCommandChecked(SortCommand::kDescending));
  EXPECT_EQ(s.CommandTarget(SortCommand::kByName), (SortKey{kSortName, 1}));
}

TEST(SortState, HistoryKeepsOneKeyPerColumnNewestFirstAndTenAtMost) {
  CSortState s;
  s.SortBy(kSortName, 1);
  s.SortBy(kSortSize, 1);
  s.SortBy(kSortName, 2);
  EXPECT_EQ(s.history(), (std::vector<SortKey>{{kSortName, 2}, {kSortSize, 1}}));
  EXPECT_EQ(s.history()[0].Packed(), 2 * 65536);

  // Ten columns sorted in turn fill the history; an eleventh sort drops nothing new but
  // moves its column to the front, and the oldest key falls to the back.
  CSortState t;
  for (int c = 0; c < 10; ++c) t.SortBy(c, 1);
  ASSERT_EQ(t.history().size(), 10u);
  EXPECT_EQ(t.history().back(), (SortKey{0, 1}));
  t.SortBy(kSortName, 2);
  ASSERT_EQ(t.history().size(), 10u);
  EXPECT_EQ(std::tuple(t.history().front(), t.history().back()),
            std::tuple(SortKey{kSortName, 2}, SortKey{1, 1}));
  // A stored list longer than ten keeps its ten newest keys.
  CSortState u;
  std::vector<SortKey> eleven;
  for (int c = 0; c < 10; ++c) eleven.push_back({c, 1});
  eleven.push_back({0, 2});
  u.SetHistory(eleven);
  EXPECT_EQ(std::tuple(u.history().size(), u.history().front()), std::tuple(10u, SortKey{0, 1}));

  auto parsed = CSortState::ParseHistory("65536,131074,3,65536,99,589833,1,2,65540,131077,196614,7,8");
  // Repeats of a column and impossible keys are left out.
  EXPECT_EQ(parsed, (std::vector<SortKey>{{0, 1}, {2, 2}, {3, 0}, {1, 0}, {4, 1}, {5, 2}, {7, 0}, {8, 0}}));
  EXPECT_EQ(CSortState::FormatHistory({{0, 1}, {4, 8}}), "65536,524292");

  Sandbox box;
  Profile p(box.configFile());
  s.SaveHistory(p);
  CSortState back;
  back.LoadHistory(p);
  EXPECT_EQ(back.history(), s.history());
}

CPicEntry *Make(std::vector<std::unique_ptr<CPicEntry>> &all, const char *name, uint64_t size, FileTime t) {
  auto e = std::make_unique<CPicEntry>();
  e->name = name, e->size = size, e->lastWriteTime = t;
  all.push_back(std::move(e));
  return all.back().get();
}

TEST(EntrySort, ComparisonsAndStableOrderOfEarlierKeys) {
  std::vector<std::unique_ptr<CPicEntry>> all;
  Make(all, "b.JPG", 10, 5)->facts.width = 3;
  Make(all, "A.gif", 20, 5)->facts.width = 1;
  Make(all, "c.jpg", 10, 1)->facts.width = 2;
  Make(all, "写真.png", 5, 9)->facts.width = 2;
  std::vector<const CPicEntry *> ptrs;
  for (auto &e : all) ptrs.push_back(e.get());
  std::vector<std::string> names(4);
  std::vector<int> order = {0, 1, 2, 3};

  // Each key sorts the order the one before left. Sizes: the two of 10 bytes keep the name order of the
  // key before; equal times compare equal, so an earlier order survives among them.
  const int columns[] = {kSortName, kSortName,      kSortName,   kSortSize,
                         kSortTime, kSortExtension, kSortPixels, kSortName};
  const int states[] = {1, 2, 1, 1, 1, 1, kPixelWidthDown, 0};
  const std::vector<std::vector<int>> expected = {{1, 0, 2, 3}, {3, 2, 0, 1}, {1, 0, 2, 3}, {3, 0, 2, 1},
                                                  {2, 0, 1, 3}, {1, 2, 0, 3}, {0, 2, 3, 1}, {0, 1, 2, 3}};
  std::vector<std::vector<int>> orders;
  for (int i = 0; i < 8; ++i) {
    SortEntryIndices(order, ptrs, {columns[i], states[i]}, names);
    orders.push_back(order);
  }
  EXPECT_EQ(orders, expected);
  names = {"Z", "b", "A", ""};
  SortEntryIndices(order, ptrs, {kSortDecoder, 2}, names);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(CompareEntries(*ptrs[0], 0, *ptrs[0], 0, {kSortTime, 1}, names[0], names[0]), 0);
}

TEST(EntrySort, NumbersInNamesByTheirValueWhenAsked) {
  std::vector<std::unique_ptr<CPicEntry>> all;
  for (const char *name : {"img10.jpg", "IMG2.jpg", "img1b.jpg", "img02.jpg", "img.jpg", "img1.jpg"})
    Make(all, name, 1, 1);
  std::vector<const CPicEntry *> ptrs;
  for (auto &e : all) ptrs.push_back(e.get());
  const std::vector<std::string> names(all.size());
  std::vector<int> order = {0, 1, 2, 3, 4, 5};
  SortEntryIndices(order, ptrs, {kSortName, 1}, names);
  EXPECT_EQ(order, (std::vector<int>{4, 3, 5, 0, 2, 1}));  // the stated order: character by character
  order = {0, 1, 2, 3, 4, 5};
  SortEntryIndices(order, ptrs, {kSortName, 1}, names, true);
  // "img2" and "img02" are equal and keep their order; "img1" before "img1b" before "img2".
  EXPECT_EQ(order, (std::vector<int>{4, 5, 2, 1, 3, 0}));
  SortEntryIndices(order, ptrs, {kSortName, 2}, names, true);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 3, 2, 5, 4}));
  EXPECT_TRUE(CompareEntries(*ptrs[1], 1, *ptrs[0], 0, {kSortName, 1}, names[0], names[0], true) < 0 &&
              CompareEntries(*ptrs[1], 1, *ptrs[0], 0, {kSortName, 1}, names[0], names[0], false) > 0);
}

TEST_F(DocTest, ListingsComeInNameOrderOrInTheOrderOfTheSavedKeys) {
  // Written out of name order, so that the folder's own order is none either.
  for (const char *name : {"img10.jpg", "b.jpg", "img2.jpg", "A.jpg", "img1.jpg"})
    Write(std::string("pics/") + name, "x");
  auto doc = MakeDoc();
  DocSettings s = doc->Settings();
  s.naturalSort = 1;
  doc->ApplySettings(s);
  doc->ChangeFolder(Folder(), nullptr, false);
  const std::vector<std::string> byName{"A.jpg", "b.jpg", "img1.jpg", "img2.jpg", "img10.jpg"};
  EXPECT_EQ(Names(*doc), byName);
  // A saved key orders the very first listing, whatever views there are; the menu ticks it.
  profile.WriteString("LstView", "SortHistory", "131072");
  auto next = ListedDoc();
  EXPECT_EQ(Names(*next), std::vector<std::string>(byName.rbegin(), byName.rend()));
  EXPECT_EQ(std::tuple(next->Sort().HeaderText(kSortName), next->IsSortCommandChecked(SortCommand::kByName),
                       next->IsSortCommandChecked(SortCommand::kBySize)),
            std::tuple(" ﾌｧｲﾙ名-", true, false));
}

// A filter dialog's state over its own settings store.
class DisplayFilterTest : public ::testing::Test {
 protected:
  Sandbox box;
  Profile p{box.configFile()};
  CFilterOption o;
  CFilterOption::Input in;  // what the dialog hands over
  DisplayFilter f;          // the filter it makes
};

TEST_F(DisplayFilterTest, SizeRangeOfOneKilobyteToTwoMegabytes) {
  o.Load(p, "*.jpg");
  in.sizeOn = true, in.pattern = "*.jpg";
  in.sizeBegin = "1", in.unitBegin = 1, in.sizeEnd = "2", in.unitEnd = 2;
  ASSERT_TRUE(o.Confirm(in, p, f));
  EXPECT_EQ(std::tuple(f.smallest, f.largest), std::tuple(1024u, 2097152u));
  EXPECT_EQ(
      (std::vector<bool>{f.KeepsSize(1023), f.KeepsSize(1024), f.KeepsSize(2097152), f.KeepsSize(2097153)}),
      (std::vector<bool>{false, true, true, false}));
  EXPECT_EQ(std::tuple(p.GetInt("Filter", "FileSize", 0), p.GetInt("Filter", "UnitEnd", 0),
                       p.GetString("Filter", "SizeBegin0", ""), p.GetString("Filter", "SizeEnd0", "")),
            std::tuple(1, 2, "1", "2"));
  EXPECT_EQ(p.GetString("Filter", "SizeEnd9", "x"), "x");  // nothing to clear there
  // A stale entry beyond the history is emptied.
  p.WriteString("Filter", "SizeEnd9", "stale");
  ASSERT_TRUE(o.Confirm(in, p, f));
  EXPECT_EQ(p.GetString("Filter", "SizeEnd9", "x"), "");

  EXPECT_EQ(
      (std::vector<uint64_t>{ScaleSize("18446744073709551615", 1), ScaleSize("99999999999999999999999", 0),
                             ScaleSize("12kb", 0), ScaleSize("", 3)}),
      (std::vector<uint64_t>{UINT64_MAX, UINT64_MAX, 12, 0}));
}

TEST_F(DisplayFilterTest, OneDayRangeKeepsTheWholeDayAndReversedDatesAreRefused) {
  o.Load(p, "*.*");
  in.dateOn = true, in.pattern = "*.*";
  in.firstDay = in.lastDay = QDate(2021, 6, 15);
  ASSERT_TRUE(o.Confirm(in, p, f));
  auto at = [](int d, int h, int m, int s, int ms) {
    return static_cast<FileTime>(QDateTime(QDate(2021, 6, d), QTime(h, m, s, ms)).toMSecsSinceEpoch()) *
           1000000;
  };
  EXPECT_EQ((std::vector<bool>{f.KeepsTime(at(15, 0, 0, 0, 0)), f.KeepsTime(at(15, 23, 59, 59, 999) + 500000),
                               f.KeepsTime(at(14, 23, 59, 59, 999)), f.KeepsTime(at(16, 0, 0, 0, 0))}),
            (std::vector<bool>{true, true, false, false}));

  in.firstDay = QDate(2021, 6, 16);
  DisplayFilter g;
  EXPECT_FALSE(o.Confirm(in, p, g));
  in.dateOn = false;  // the check only holds with the date filter on
  EXPECT_TRUE(o.Confirm(in, p, g));
  EXPECT_TRUE(g.KeepsTime(0));
}

TEST_F(DisplayFilterTest, HistoriesMoveToTheTopAndClearTurnsEverythingOff) {
  for (const auto &[key, pattern] :
       {std::pair("Filter0", "*.gif"), {"Filter1", "*.jpg"}, {"Filter3", "*.png"}})
    p.WriteString("Filter", key, pattern);
  o.Load(p, "*.*");
  EXPECT_EQ(o.patterns, (std::vector<std::string>{"*.gif", "*.jpg", "*.png"}));
  in.nameOn = true, in.pattern = "*.jpg";
  ASSERT_TRUE(o.Confirm(in, p, f));
  EXPECT_TRUE(f.nameOn);
  EXPECT_EQ(
      (std::vector<std::string>{p.GetString("Filter", "Filter0", ""), p.GetString("Filter", "Filter1", ""),
                                p.GetString("Filter", "Filter2", ""), p.GetString("Filter", "Filter3", "x")}),
      (std::vector<std::string>{"*.jpg", "*.gif", "*.png", ""}));
  EXPECT_EQ(f.largest, UINT64_MAX);  // no upper size given

  o.Clear(p, f);
  EXPECT_FALSE(f.nameOn || f.dateOn || f.sizeOn);
  EXPECT_EQ(std::tuple(o.pattern, p.GetInt("Filter", "FileName", 1), p.GetString("Filter", "Filter0", "")),
            std::tuple("*.*", 0, "*.jpg"));
}

}  // namespace
}  // namespace tamro
