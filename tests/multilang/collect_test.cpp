// Collecting the texts of controls into an editing grid, and translating them back.
#include "forms/com_controls.h"
#include "forms/dialogs.h"
#include "forms/ext_controls.h"
#include "forms/file_controls.h"
#include "forms/menus.h"
#include "forms/std_controls.h"
#include "ml_test_support.h"

namespace {

using CollectTest = MultiLangTest;

TEST_F(CollectTest, LabelWithAHintGivesItsNameRowAHintRowAndAClearedRow) {
  MakeForm();
  auto* label = Form->Get<TLabel>("Label1");
  ASSERT_EQ(label->Caption(), "Status:");
  label->SetHint("What the program does");
  TEditingGrid grid(3, 11);
  for (int row = 0; row < 10; ++row)
    for (int col = 0; col < 3; ++col) grid.SetCells(col, row, "earlier");

  Form->MultiLang1->CollectComponent(label, 10, &grid);
  EXPECT_EQ(grid.RowCount(), 13);
  EXPECT_EQ(grid.Cells(0, 10), "Label1");
  EXPECT_EQ(grid.Cells(1, 10), "Status:");
  EXPECT_EQ(grid.Cells(0, 11), "\".Hint");
  EXPECT_EQ(grid.Cells(1, 11), "What the program does");
  for (int col = 0; col < 3; ++col) EXPECT_EQ(grid.Cells(col, 12), "") << col;
  EXPECT_EQ(grid.Cells(2, 10), "");  // only the active language's column is written
  EXPECT_EQ(grid.Cells(0, 9), "earlier");
}

TEST_F(CollectTest, AGridIsRequired) {
  MakeForm();
  try {
    Form->MultiLang1->CollectComponent(Form->Get<TLabel>("Label1"), 0, nullptr);
    FAIL() << "no error";
  } catch (const EAssertionFailed& e) {
    EXPECT_NE(std::string(e.what()).find("MLang"), std::string::npos);
  }
}

TEST_F(CollectTest, HintOnlyAndUntranslatedControlsGiveAnEmptyFirstText) {
  MakeForm();
  auto* edit = Form->Get<TEdit>("Edit1");  // not read-only: its text is not collected
  edit->SetHint("type here");
  TEditingGrid grid(3, 1);
  Form->MultiLang1->CollectComponent(edit, 0, &grid);
  EXPECT_EQ(grid.Cells(0, 0), "Edit1");
  EXPECT_EQ(grid.Cells(1, 0), "");
  EXPECT_EQ(grid.Cells(0, 1), "\".Hint");
  EXPECT_EQ(grid.Cells(1, 1), "type here");
  EXPECT_EQ(grid.RowCount(), 3);

  TEditingGrid none(3, 1);
  Form->MultiLang1->CollectComponent(Form->Get<TComponent>("Timer1"), 0, &none);
  EXPECT_EQ(none.RowCount(), 1);
  EXPECT_EQ(none.Cells(0, 0), "");
}

// Every kind of control: what is collected in language 0, given a second language in which
// each text is marked, is what the switch to that language applies, text for text.
TEST_F(CollectTest, CollectedGroupsTranslateBackTextForText) {
  MakeForm();
  TCustomForm* f = Form;
  auto lines = [](std::initializer_list<const char*> items) {
    auto list = std::make_unique<TStringList>();
    for (const char* item : items) list->Add(item);
    return list;
  };
  auto* radio = new TRadioGroup(f);
  radio->SetName("Radio");
  radio->SetCaption("Pick");
  radio->SetItems(lines({"r0", "r1"}).get());
  auto* memo = new TMemo(f);
  memo->SetName("Memo");
  memo->SetReadOnly(true);
  memo->SetLines(lines({"m0", "m1", "m2"}).get());
  auto* header = new THeader(f);
  header->SetName("Header");
  header->SetSections(lines({"h0"}).get());
  auto* tabs = new TTabSet(f);
  tabs->SetName("Tabs");
  tabs->SetTabs(lines({"t0", "t1"}).get());
  auto* book = new TTabbedNotebook(f);
  book->SetName("Book");
  book->SetPages(lines({"p0", "p1"}).get());
  auto* tabControl = new TTabControl(f);
  tabControl->SetName("TabControl");
  tabControl->SetTabs(lines({"c0"}).get());
  auto* view = new TListView(f);
  view->SetName("View");
  view->Columns()->Add()->SetCaption("col0");
  view->Columns()->Add()->SetCaption("col1");
  TListItem* item = view->Items()->Add();
  item->SetCaption("item0");
  item->SubItems()->Add("sub0");
  view->Items()->Add()->SetCaption("item1");
  auto* bare = new TListView(f);  // no columns: its items start at its first group
  bare->SetName("Bare");
  bare->Items()->Add()->SetCaption("only");
  auto* sections = new THeaderControl(f);
  sections->SetName("Sections");
  sections->Sections()->Add()->SetText("s0");
  auto* filter = new TFilterComboBox(f);
  filter->SetName("Filter");
  filter->SetFilter("Text|*.txt");
  auto* open = new TOpenDialog(f);
  open->SetName("Open");
  open->SetTitle("Open a file");
  open->SetFilter("All|*.*");
  auto* menu = new TMenuItem(f);
  menu->SetName("MenuFile");
  menu->SetCaption("File");
  menu->SetHint("file menu");
  auto* mask = new TMaskEdit(f);
  mask->SetName("Mask");
  mask->SetTextValue("12-34");
  Form->Get<TEdit>("Edit1")->SetReadOnly(true);
  Form->Get<TTreeView>("TreeView1")->Items()->Add(nullptr, "node");

  TMultiLang* ml = Form->MultiLang1;
  TEditingGrid grid(3, 1);
  int row = 0;
  for (int i = 0; i < f->ComponentCount(); ++i) {
    ml->CollectComponent(f->Components(i), row, &grid);
    row = grid.RowCount() - 1;  // the editor keeps one empty row at the end
  }
  TStringList words;
  std::vector<std::string> texts;
  for (int r = 0; r < row; ++r) {
    words.Add(grid.Cells(0, r));
    words.Add(grid.Cells(1, r));
    words.Add("zh:" + grid.Cells(1, r));
    texts.push_back(grid.Cells(1, r));
  }
  ml->SetWords(&words);
  ml->SetActiveLanguage(1);

  TEditingGrid after(3, 1);
  row = 0;
  for (int i = 0; i < f->ComponentCount(); ++i) {
    ml->CollectComponent(f->Components(i), row, &after);
    row = after.RowCount() - 1;
  }
  ASSERT_EQ(row, static_cast<int>(texts.size()));
  for (int r = 0; r < row; ++r) {
    EXPECT_EQ(after.Cells(0, r), grid.Cells(0, r)) << r;
    EXPECT_EQ(after.Cells(2, r), "zh:" + texts[static_cast<std::size_t>(r)])
        << "row " << r << " key " << grid.Cells(0, r);
  }
  EXPECT_EQ(item->SubItems()->Get(0), "zh:sub0");
  EXPECT_EQ(bare->Items()->Item(0)->Caption(), "zh:only");
  EXPECT_EQ(menu->Hint(), "zh:file menu");
  EXPECT_EQ(mask->Text(), "12-34");
  EXPECT_EQ(open->Filter(), "zh:All|*.*");
}

}  // namespace
