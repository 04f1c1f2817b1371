// Controls hold their state in the model: fonts and colours from the parent, lists, check
// boxes, the file list, views that sort, actions, pictures, character sets and screen fonts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "forms/actions.h"
#include "forms/buttons.h"
#include "forms/com_controls.h"
#include "forms/ext_controls.h"
#include "forms/file_controls.h"
#include "forms/form.h"
#include "forms/menus.h"
#include "forms/std_controls.h"

namespace {

class ControlsTest : public ::testing::Test {
 protected:
  void TearDown() override { TObject::Free(form); }
  TForm* form = new TForm(nullptr);
};

TEST_F(ControlsTest, ParentFontIsFollowedUntilTheControlGetsItsOwn) {
  form->Font()->SetName("MS Sans Serif");
  auto* label = new TLabel(form);
  label->SetParent(form);
  auto* own = new TLabel(form);
  own->SetParent(form);
  own->Font()->SetCharSet(CHINESEBIG5_CHARSET);  // its own font from now on
  EXPECT_FALSE(own->ParentFont());
  form->Font()->SetCharSet(DEFAULT_CHARSET);
  form->Font()->SetName("Arial");
  EXPECT_TRUE(label->ParentFont());
  EXPECT_EQ(label->Font()->Name(), "Arial");
  EXPECT_EQ(own->Font()->Name(), "MS Sans Serif");
  EXPECT_EQ(own->Font()->CharSet(), CHINESEBIG5_CHARSET);
  // Through a panel: fonts pass down level by level.
  auto* panel = new TPanel(form);
  panel->SetParent(form);
  auto* inner = new TButton(form);
  inner->SetParent(panel);
  form->Font()->SetHeight(-15);
  EXPECT_EQ(inner->Font()->Height(), -15);
  own->SetParentFont(true);
  EXPECT_EQ(own->Font()->Name(), "Arial");
}

TEST_F(ControlsTest, ParentColorFollowsAndAColourOfItsOwnStops) {
  form->SetColor(clWhite);
  auto* label = new TLabel(form);
  label->SetParent(form);
  EXPECT_EQ(label->Color(), clWhite);
  form->SetColor(clBtnFace);
  EXPECT_EQ(label->Color(), clBtnFace);
  label->SetColor(clYellow);
  EXPECT_FALSE(label->ParentColor());
  form->SetColor(clWhite);
  EXPECT_EQ(label->Color(), clYellow);
}

TEST_F(ControlsTest, ParentsHoldTheirControlsAndTakeThemAlong) {
  auto* panel = new TPanel(form);
  panel->SetParent(form);
  auto* button = new TButton(nullptr);  // owned by nobody, shown in the panel
  button->SetParent(panel);
  EXPECT_EQ(panel->ControlCount(), 1);
  EXPECT_THROW(panel->SetParent(panel), EComponentError);
  auto* deeper = new TPanel(form);
  deeper->SetParent(panel);
  EXPECT_THROW(panel->SetParent(deeper), EComponentError);  // no cycles
  TObject::Free(panel);                                     // takes the button along
  EXPECT_EQ(form->ControlCount(), 0);
  EXPECT_EQ(form->ComponentCount(), 0);
}

TEST_F(ControlsTest, FormClientSizeFollowsTheBorder) {
  form->SetBorderStyle(bsDialog);
  form->SetClientWidth(544);
  form->SetClientHeight(361);
  EXPECT_EQ(form->ClientWidth(), 544);
  int outer = form->Width();
  EXPECT_GT(outer, 544);
  form->SetBorderStyle(bsNone);  // keeps the client size
  EXPECT_EQ(form->ClientWidth(), 544);
  EXPECT_EQ(form->Width(), 544);
}

TEST_F(ControlsTest, CheckBoxClicksToggleAndFireOnClick) {
  auto* check = new TCheckBox(form);
  int clicks = 0;
  check->OnClick = [&](TObject*) { ++clicks; };
  check->HandleNotice(cnClick);
  EXPECT_TRUE(check->Checked());
  EXPECT_EQ(clicks, 1);
  check->SetChecked(true);  // no change, no click
  EXPECT_EQ(clicks, 1);
  check->SetChecked(false);
  EXPECT_EQ(clicks, 2);
}

TEST_F(ControlsTest, RadioButtonsOfOneParentExcludeEachOther) {
  auto* a = new TRadioButton(form);
  auto* b = new TRadioButton(form);
  a->SetParent(form);
  b->SetParent(form);
  a->SetChecked(true);
  b->HandleNotice(cnClick);
  EXPECT_FALSE(a->Checked());
  EXPECT_TRUE(b->Checked());
}

TEST_F(ControlsTest, MemoLinesAndText) {
  auto* memo = new TMemo(form);
  int changes = 0;
  memo->OnChange = [&](TObject*) { ++changes; };
  memo->SetTextValue("a.exe\r\nb.txt\n\nc.dat\r");
  EXPECT_EQ(memo->Lines()->Count(), 4);
  EXPECT_EQ(memo->Lines()->Get(3), "c.dat");
  EXPECT_EQ(memo->Text(), "a.exe\r\nb.txt\r\n\r\nc.dat");
  EXPECT_EQ(changes, 1);
  memo->Lines()->Add("d");
  EXPECT_EQ(changes, 2);
  memo->Clear();
  EXPECT_EQ(memo->Text(), "");
}

TEST_F(ControlsTest, ComboAndListKeepTheirIndexInRange) {
  auto* combo = new TComboBox(form);
  combo->Items()->SetText("zero\r\none\r\ntwo\r\n");
  combo->SetItemIndex(2);
  EXPECT_EQ(combo->Text(), "two");
  combo->Items()->Put(2, "deux");  // translated in place: the index stays
  EXPECT_EQ(combo->ItemIndex(), 2);
  combo->SetItemIndex(7);
  EXPECT_EQ(combo->ItemIndex(), -1);
  auto* list = new TListBox(form);
  list->Items()->SetText("a\r\nb\r\n");
  list->SetItemIndex(1);
  list->Items()->Delete(1);
  EXPECT_EQ(list->ItemIndex(), -1);
}

TEST_F(ControlsTest, FileListBoxListsMatchingFilesSortedAndRereadsOnUpdate) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("forms-files-" + std::to_string(getpid()));
  fs::create_directories(dir / "sub.exe");
  for (const char* name : {"setup.EXE", "b.txt", "A.exe", "readme"})
    std::ofstream(dir / name) << "x";
  auto* files = new TFileListBox(form);
  files->SetDirectory(dir.string());
  EXPECT_EQ(files->Items()->Lines(),
            (std::vector<std::string>{"A.exe", "b.txt", "readme", "setup.EXE"}));
  files->SetMask("*.exe");
  EXPECT_EQ(files->Items()->Lines(), (std::vector<std::string>{"A.exe", "setup.EXE"}));
  std::ofstream(dir / "new.exe") << "x";
  EXPECT_EQ(files->Items()->Count(), 2);  // not before Update
  files->SetItemIndex(1);
  files->Update();
  EXPECT_EQ(files->Items()->Lines(), (std::vector<std::string>{"A.exe", "new.exe", "setup.EXE"}));
  EXPECT_EQ(files->Items()->Get(files->ItemIndex()), "setup.EXE");  // the selection stays
  files->SetDirectory((dir / "missing").string());
  EXPECT_EQ(files->Items()->Count(), 0);
  fs::remove_all(dir);
  EXPECT_TRUE(MatchesMask("Setup.exe", "*.EXE;*.txt"));
  EXPECT_TRUE(MatchesMask("noext", "*.*"));
  EXPECT_TRUE(MatchesMask("a1.log", "a?.log"));
  EXPECT_FALSE(MatchesMask("a12.log", "a?.log"));
}

TEST_F(ControlsTest, FilterComboBoxShowsDescriptionsAndGivesMasks) {
  auto* filter = new TFilterComboBox(form);
  filter->SetFilter("Programs (*.exe)|*.exe|Text|*.txt;*.log");
  EXPECT_EQ(filter->Items()->Lines(), (std::vector<std::string>{"Programs (*.exe)", "Text"}));
  EXPECT_EQ(filter->Mask(), "*.exe");
  filter->SetItemIndex(1);
  EXPECT_EQ(filter->Mask(), "*.txt;*.log");
}

TEST_F(ControlsTest, SortedTreeViewSortsEveryLevelAndKeepsItSorted) {
  auto* tree = new TTreeView(form);
  TTreeNode* b = tree->Items()->Add(nullptr, "banana");
  tree->Items()->Add(nullptr, "apple");
  tree->Items()->AddChild(b, "zeta");
  tree->Items()->AddChild(b, "eta");
  EXPECT_EQ(tree->Items()->Count(), 4);
  // Unsorted: in the order added; absolute indexes run through the open tree.
  EXPECT_EQ(tree->Items()->Item(0)->Text(), "banana");
  EXPECT_EQ(tree->Items()->Item(2)->Text(), "eta");
  EXPECT_EQ(tree->Items()->Item(3)->Text(), "apple");
  EXPECT_EQ(tree->Items()->Item(3)->AbsoluteIndex(), 3);
  tree->SetSortType(stText);
  EXPECT_EQ(tree->Items()->Item(0)->Text(), "apple");
  EXPECT_EQ(tree->Items()->Item(2)->Text(), "eta");
  EXPECT_EQ(tree->Items()->Item(3)->Text(), "zeta");
  tree->Items()->Item(0)->SetText("cherry");  // renaming keeps the level sorted
  EXPECT_EQ(tree->Items()->Item(0)->Text(), "banana");
  EXPECT_EQ(tree->Items()->Item(3)->Text(), "cherry");
  // With the sort switched off, texts can be set by index and stay where they are.
  tree->SetSortType(stNone);
  for (int i = 0; i < 4; ++i) tree->Items()->Item(i)->SetText("t" + std::to_string(3 - i));
  EXPECT_EQ(tree->Items()->Item(0)->Text(), "t3");
  tree->SetSortType(stText);
  EXPECT_EQ(tree->Items()->Item(0)->Text(), "t0");
  EXPECT_THROW(tree->Items()->Item(4), EStringListError);
}

TEST_F(ControlsTest, ListViewColumnsItemsAndSort) {
  auto* view = new TListView(form);
  view->Columns()->Add()->SetCaption("Name");
  view->Columns()->Add()->SetCaption("Size");
  TListItem* b = view->Items()->Add();
  b->SetCaption("b");
  b->SubItems()->Add("2");
  view->Items()->Add()->SetCaption("a");
  view->SetSortType(stBoth);
  EXPECT_EQ(view->Items()->Item(0)->Caption(), "a");
  EXPECT_EQ(view->Items()->Item(1)->SubItems()->Get(0), "2");
  EXPECT_EQ(view->Columns()->Items(1)->Caption(), "Size");
}

TEST_F(ControlsTest, StatusBarSimpleTextAndPanels) {
  auto* bar = new TStatusBar(form);
  bar->SetSimplePanel(true);
  bar->SetSimpleText("Please wait.....");
  for (const char* text : {"one", "two", "three"}) bar->Panels()->Add()->SetText(text);
  EXPECT_EQ(bar->Panels()->Count(), 3);
  EXPECT_EQ(bar->Panels()->Items(2)->Text(), "three");
  EXPECT_EQ(bar->Panels()->Items(0)->Index(), 0);
}

TEST_F(ControlsTest, ActionsGiveTheirStateToControlsAndMenuItems) {
  auto* action = new TAction(form);
  int runs = 0;
  action->OnExecute = [&](TObject*) { ++runs; };
  action->SetCaption("Download");
  auto* button = new TButton(form);
  auto* item = new TMenuItem(form);
  button->SetAction(action);
  item->SetAction(action);
  action->SetEnabled(false);
  EXPECT_FALSE(button->Enabled());
  EXPECT_FALSE(item->Enabled());
  EXPECT_EQ(item->Caption(), "Download");
  action->SetEnabled(true);
  button->Click();  // no OnClick of its own: the action runs
  item->Click();
  EXPECT_EQ(runs, 2);
}

TEST_F(ControlsTest, MenuItemsNestAndGoWithTheirParents) {
  auto* menu = new TMainMenu(form);
  auto* file = new TMenuItem(form);
  file->SetParentComponent(menu);
  auto* exit = new TMenuItem(form);
  exit->SetParentComponent(file);
  EXPECT_EQ(menu->Items()->Count(), 1);
  EXPECT_EQ(file->Items(0), exit);
  EXPECT_EQ(file->GetParentComponent(), menu);
  TObject::Free(file);
  EXPECT_EQ(menu->Items()->Count(), 0);
  EXPECT_EQ(form->FindComponent(""), nullptr);
  EXPECT_EQ(form->ComponentCount(), 1);  // the exit item went with its parent
}

TEST(Graphics, PngPicturesKnowTheirSizeAndRefuseOtherBytes) {
  TBitmap bitmap;
  const char* top = std::getenv("KVB_SOURCE_DIR");
  ASSERT_NE(top, nullptr);
  bitmap.LoadFromFile(std::string(top) + "/tests/forms/data/glyph.png");
  EXPECT_EQ(bitmap.Width(), 37);
  EXPECT_EQ(bitmap.Height(), 18);
  EXPECT_THROW(bitmap.LoadFromBytes("GIF89a........................"), EInvalidGraphic);
  EXPECT_EQ(bitmap.Width(), 37);  // unchanged
  bitmap.LoadFromResourceName("SAMPLEGLYPH");
  EXPECT_EQ(bitmap.ResourceName(), "SAMPLEGLYPH");
  EXPECT_THROW(bitmap.LoadFromResourceName("NOSUCHPICTURE"), EInvalidGraphic);
}

TEST(Graphics, FontSizeAndHeight) {
  TFont font;
  EXPECT_EQ(font.Height(), -11);
  EXPECT_EQ(font.Size(), 8);
  font.SetSize(9);
  EXPECT_EQ(font.Height(), -12);
  font.SetHeight(-15);
  EXPECT_EQ(font.Size(), 11);
  EXPECT_EQ(font.PixelHeight(), 15);
}

TEST(Graphics, CharacterSetsAndScreenFonts) {
  EXPECT_EQ(CharSetToCodePage(CHINESEBIG5_CHARSET), 950u);
  EXPECT_EQ(CharSetToCodePage(DEFAULT_CHARSET), 950u);  // the system ANSI code page
  EXPECT_EQ(CharSetToCodePage(ANSI_CHARSET), 1252u);
  EXPECT_EQ(ScreenFontFamily("MS Sans Serif", 1252, "Exit"), "Sans");
  EXPECT_EQ(ScreenFontFamily("MS Sans Serif", 950, "Exit"), "Sans");
  EXPECT_EQ(ScreenFontFamily("MS Sans Serif", 950, "離開"), "AR PL UMing TW, Sans");
  EXPECT_EQ(ScreenFontFamily("新細明體", 950, "Exit"), "AR PL UMing TW");
  EXPECT_EQ(ScreenFontFamily("Courier New", 1252, "x"), "Monospace");
  EXPECT_EQ(ColorToRGB(clBlue), 0xFF0000u);
  EXPECT_TRUE(IsSystemColor(clBtnFace));
  EXPECT_FALSE(IsSystemColor(clWhite));
}

}  // namespace
