// String lists: text splitting and joining, comma text, sorting, change notification.
#include <gtest/gtest.h>

#include "forms/strings.h"

namespace {

std::vector<std::string> Lines(const TStrings& list) {
  return list.Lines();
}

TEST(StringsText, SplitsAtCrLfLoneCrAndLoneLf) {
  TStringList list;
  list.SetText("one\r\ntwo\rthree\nfour");
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"one", "two", "three", "four"}));
  list.SetText("a\n\nb\r\n\r\nc\r\r");
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"a", "", "b", "", "c", ""}));
  // LF CR is two breaks; CR LF is one.
  list.SetText("x\n\ry");
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"x", "", "y"}));
}

TEST(StringsText, AFinalBreakBeginsNoLineAndTextRoundTrips) {
  TStringList list;
  list.SetText("f1\r\nf2\r\n");
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"f1", "f2"}));
  EXPECT_EQ(list.Text(), "f1\r\nf2\r\n");
  list.SetText("");
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Text(), "");
  list.SetText("\r\n");
  EXPECT_EQ(Lines(list), (std::vector<std::string>{""}));
  list.Clear();
  list.Add("a");
  list.Add("");
  TStringList copy;
  copy.SetText(list.Text());
  EXPECT_TRUE(copy.Equals(&list));
}

TEST(StringsText, Big5TrailBytesAreNotLineBreaksOrSeparators) {
  // 許功 = B3 5C A5 5C: trail bytes are backslashes, never CR, LF, comma or quote.
  const std::string big5 = "\xB3\x5C\xA5\x5C";
  TStringList list;
  list.SetText(big5 + "\r\n" + big5);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list[1], big5);
  list.SetCommaText(big5 + "," + big5);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list[0], big5);
}

TEST(StringsCommaText, QuotesWhatNeedsQuotingAndReadsItBack) {
  TStringList list;
  list.Add("plain");
  list.Add("with space");
  list.Add("say \"hi\"");
  list.Add("a,b");
  list.Add("");
  EXPECT_EQ(list.CommaText(), "plain,\"with space\",\"say \"\"hi\"\"\",\"a,b\",");
  TStringList back;
  back.SetCommaText(list.CommaText());
  EXPECT_EQ(Lines(back), Lines(list));
  back.SetCommaText("label1,16.104.140.137,16.104.140.137");
  EXPECT_EQ(Lines(back), (std::vector<std::string>{"label1", "16.104.140.137", "16.104.140.137"}));
  // Blanks outside quotes separate too.
  back.SetCommaText("  a b,  c ");
  EXPECT_EQ(Lines(back), (std::vector<std::string>{"a", "b", "c"}));
  TStringList single;
  single.Add("");
  EXPECT_EQ(single.CommaText(), "\"\"");
}

TEST(StringsEditing, InsertDeleteMoveAndBounds) {
  TStringList list;
  list.Add("b");
  list.Insert(0, "a");
  list.Insert(2, "c");
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"a", "b", "c"}));
  list.Move(0, 2);
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"b", "c", "a"}));
  list.Exchange(0, 1);
  list.Delete(2);
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"c", "b"}));
  EXPECT_THROW(list.Get(2), EStringListError);
  EXPECT_THROW(list.Insert(3, "x"), EStringListError);
  EXPECT_THROW(list.Delete(-1), EStringListError);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.IndexOf("B"), 1);  // a string list ignores letter case by default
  list.SetCaseSensitive(true);
  EXPECT_EQ(list.IndexOf("B"), -1);
}

TEST(StringsSorted, KeepsOrderAndHandlesDuplicates) {
  TStringList list;
  list.SetSorted(true);
  list.Add("delta");
  list.Add("Alpha");
  list.Add("charlie");
  list.Add("bravo");
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"Alpha", "bravo", "charlie", "delta"}));
  EXPECT_EQ(list.Add("ALPHA"), 0);  // ignored as a duplicate
  EXPECT_EQ(list.Count(), 4);
  list.SetDuplicates(dupError);
  EXPECT_THROW(list.Add("Bravo"), EStringListError);
  list.SetDuplicates(dupAccept);
  list.Add("Bravo");
  EXPECT_EQ(list.Count(), 5);
  EXPECT_THROW(list.Insert(0, "x"), EStringListError);
  int index = -1;
  EXPECT_TRUE(list.Find("CHARLIE", index));
  EXPECT_EQ(list[index], "charlie");
  EXPECT_FALSE(list.Find("echo", index));
  EXPECT_EQ(index, list.Count());
}

TEST(StringsChanges, AnnouncedOncePerUpdateAndToTheObserverToo) {
  TStringList list;
  int changes = 0;
  int observed = 0;
  list.OnChange = [&](TObject* sender) {
    EXPECT_EQ(sender, &list);
    ++changes;
  };
  list.SetObserver([&] { ++observed; });
  list.Add("a");
  EXPECT_EQ(changes, 1);
  list.BeginUpdate();
  list.Add("b");
  list.Add("c");
  list.Delete(0);
  EXPECT_EQ(changes, 1);
  list.EndUpdate();
  EXPECT_EQ(changes, 2);
  list.SetText("x\r\ny");  // one change for the whole text
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(observed, changes);
  list.BeginUpdate();
  list.EndUpdate();  // nothing changed, nothing announced
  EXPECT_EQ(changes, 3);
}

TEST(StringsAssign, CopiesLinesAndRefusesOtherClasses) {
  TStringList a;
  a.SetText("1\r\n2\r\n");
  TStringList b;
  b.Add("old");
  b.Assign(&a);
  EXPECT_TRUE(b.Equals(&a));
  b.Assign(&b);
  EXPECT_EQ(b.Count(), 2);
  TPersistent other;
  EXPECT_THROW(b.Assign(&other), platform::EConvertError);
  EXPECT_EQ(b.Count(), 2);
}

}  // namespace
