// Word tables read from a string library (built from data/words.txt beside the test program).
#include <filesystem>

#include "forms/std_controls.h"
#include "ml_test_support.h"
#include "platform/sysutils.h"

namespace {

#ifdef _WIN32
const char* const LibrarySuffix = ".dll";
std::string ProgramFolder() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  return std::filesystem::path(std::string(path, length)).parent_path().string();
}
#else
const char* const LibrarySuffix = ".so";
std::string ProgramFolder() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}
#endif
std::string WordsLibrary() {
  return ProgramFolder() + "/libmlwords_test" + LibrarySuffix;
}

using StringLibraryTest = MultiLangTest;

TEST_F(StringLibraryTest, WindowFindsItsTableByClassNameWhenItFinishesLoading) {
  ASSERT_TRUE(platform::FileExists(WordsLibrary()));
  StringLibraryName = WordsLibrary();
  MakeForm();
  TMultiLang* ml = Form->MultiLang1;
  EXPECT_EQ(ml->Languages(), 1);
  EXPECT_EQ(ml->ActiveLanguage(), 0);
  EXPECT_EQ(ml->DefaultLanguage(), 0);
  // The empty string after a key is its (empty) text; the missing one after a text ends it.
  EXPECT_EQ(ml->Words()->Lines(),
            (std::vector<std::string>{"%Form%", "Caption from the library", "Label1", "", "btnExit",
                                      "\xBD\x54\xA9\x77"}));
  EXPECT_EQ(Form->Caption(), "Caption from the library");
  EXPECT_EQ(Form->Get<TLabel>("Label1")->Caption(), "");
  EXPECT_EQ(Form->Get<TButton>("btnExit")->Caption(), "\xBD\x54\xA9\x77");  // Big5
  EXPECT_EQ(StringLibraryName, WordsLibrary());
}

TEST_F(StringLibraryTest, WindowFindsItsTableByComponentName) {
  MakeForm();
  TForm named(nullptr);
  named.SetName("LibNamedForm");
  auto* ml = new TMultiLang(&named);
  StringLibraryName = WordsLibrary();
  ml->LoadWordsFromLibrary();
  EXPECT_EQ(ml->Words()->Lines(), (std::vector<std::string>{"%Form%", "Named caption"}));
  EXPECT_EQ(named.Caption(), "Named caption");
  // The test window's table is untouched by a search for another owner.
  EXPECT_EQ(Form->MultiLang1->Languages(), 2);
}

TEST_F(StringLibraryTest, WindowWithoutATableKeepsItsOwn) {
  TForm nobody(nullptr);
  nobody.SetName("Nobody");
  nobody.SetCaption("kept");
  auto* ml = new TMultiLang(&nobody);
  TStringList words;
  words.Add("%Form%");
  words.Add("mine");
  words.Add("MINE");
  ml->SetWords(&words);
  StringLibraryName = WordsLibrary();
  ml->LoadWordsFromLibrary();
  EXPECT_EQ(ml->Languages(), 2);
  EXPECT_EQ(ml->Words()->Count(), 3);
  EXPECT_EQ(nobody.Caption(), "kept");
}

TEST_F(StringLibraryTest, LibraryThatCannotBeLoadedIsAnError) {
  TForm owner(nullptr);
  auto* ml = new TMultiLang(&owner);
  StringLibraryName = ProgramFolder() + "/libno_such_words" + LibrarySuffix;
  try {
    ml->LoadWordsFromLibrary();
    FAIL() << "no error";
  } catch (const EMultiLangError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot load string DLL \"" + StringLibraryName + "\".");
  }
}

TEST_F(StringLibraryTest, MissingFileIsLookedForByItsNameAlone) {
  StringLibraryName = "C:\\nowhere\\words.dll";
  MakeForm();
  EXPECT_EQ(StringLibraryName, "words.dll");
  EXPECT_EQ(Form->MultiLang1->Languages(), 2);
  EXPECT_EQ(Form->Caption(), "Test Window");
}

}  // namespace
