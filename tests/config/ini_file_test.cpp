#include "config/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace mox {
namespace {

using mox::test::ReadFile;
using mox::test::TempDir;
using mox::test::WriteFile;

const std::string kBom = "\xEF\xBB\xBF";

class IniFileTest : public ::testing::Test {
 protected:
  // The value of `key` in section "DB" of a file holding `contents`.
  std::string Read(const std::string& contents, const std::string& key = "a") {
    WriteFile(path_, contents);
    return IniFile(path_).ReadString("DB", key, "<default>");
  }

  // The file's bytes after writing `key`=`value` into section "DB" of a file holding `contents`.
  std::string Write(const std::string& contents, const std::string& key = "a",
                    const std::string& value = "new") {
    WriteFile(path_, contents);
    EXPECT_TRUE(IniFile(path_).WriteString("DB", key, value));
    return ReadFile(path_);
  }

  TempDir dir_;
  std::string path_ = dir_.File("s.ini");
};

TEST_F(IniFileTest, MatchesNamesWithoutRegardToCase) {
  EXPECT_EQ(Read("[db]\r\nA=1\r\n"), "1");
  EXPECT_EQ(Read("[Db]\nDBUSER=sysdba\n", "DBUser"), "sysdba");
  EXPECT_EQ(Read("[ DB ] trailing text\n  a  =1\n"), "1");
}

TEST_F(IniFileTest, GivesTheDefaultWhenFileSectionOrKeyIsMissing) {
  EXPECT_EQ(IniFile(dir_.File("none.ini")).ReadString("DB", "a", "dflt"), "dflt");
  EXPECT_EQ(Read("[Other]\na=1\n"), "<default>");
  EXPECT_EQ(Read("a=1\n[DB]\nb=2\n"), "<default>");  // before any section
  EXPECT_EQ(Read("[DB]\nab=1\nA B=2\n"), "<default>");
  EXPECT_EQ(Read("[DB\na=1\n"), "<default>");  // no closing bracket: no header
  EXPECT_EQ(Read("[DB]\n[Other]\na=1\n"), "<default>");
  // An empty value is a value, not a missing key.
  EXPECT_EQ(Read("[DB]\na=\n"), "");
  EXPECT_EQ(Read("[DB]\na=  \t\n"), "");
}

TEST_F(IniFileTest, FirstMatchingSectionAndFirstMatchingKeyWin) {
  EXPECT_EQ(Read("[DB]\na=1\na=2\n"), "1");
  EXPECT_EQ(Read("[DB]\na=1\n[DB]\na=2\nb=3\n"), "1");
  EXPECT_EQ(Read("[DB]\na=1\n[db]\nb=3\n", "b"), "<default>");
}

TEST_F(IniFileTest, CommentLinesAreNeverKeys) {
  EXPECT_EQ(Read("[DB]\n;a=1\n#a=2\n  ; a=3\na=4\n"), "4");
  EXPECT_EQ(Read("[DB]\n;a=1\n"), "<default>");
}

TEST_F(IniFileTest, TrimsBlanksAndOnePairOfEnclosingQuotes) {
  EXPECT_EQ(Read("[DB]\na= \t value with  blanks \t\n"), "value with  blanks");
  EXPECT_EQ(Read("[DB]\na=b=c\n"), "b=c");
  EXPECT_EQ(Read("[DB]\na=\"SYSDBA\"\n"), "SYSDBA");
  EXPECT_EQ(Read("[DB]\na= ' in quotes ' \n"), " in quotes ");
  EXPECT_EQ(Read("[DB]\na=''twice''\n"), "'twice'");
  EXPECT_EQ(Read("[DB]\na=\"\"\n"), "");
  EXPECT_EQ(Read("[DB]\na=\"mixed'\n"), "\"mixed'");
  EXPECT_EQ(Read("[DB]\na=\"\n"), "\"");
  EXPECT_EQ(Read("[DB]\na=\"x\" tail\n"), "\"x\" tail");
}

TEST_F(IniFileTest, CutsLongValuesTo2047Characters) {
  const std::string long_value(3000, 'v');
  EXPECT_EQ(Read("[DB]\na=" + long_value + "\n"), long_value.substr(0, 2047));
  EXPECT_EQ(Read("[DB]\na=\"" + std::string(2047, 'q') + "\"\n"), std::string(2047, 'q'));
  EXPECT_EQ(Read("[DB]\na=" + std::string(10 << 20, 'x') + "\r\n"), std::string(2047, 'x'));
}

TEST_F(IniFileTest, ReadsThroughAnyLineEndAByteOrderMarkAndGarbage) {
  EXPECT_EQ(Read(kBom + "[DB]\r\na=1\r\n"), "1");
  EXPECT_EQ(Read("[DB]\ra=1\rb=2", "b"), "2");  // lone CR
  EXPECT_EQ(Read("[DB]\r\na=1"), "1");          // no final line end
  EXPECT_EQ(Read(std::string("\xFF\x00\x01garbage\r\n[DB]\n\x80\x00=\xFE\na=1\n", 27)), "1");
  EXPECT_EQ(Read(std::string("[DB]\na=x\0y\n", 12)), std::string("x\0y", 3));
}

TEST_F(IniFileTest, CreatesAMissingFileForItsOwnerOnly) {
  ASSERT_TRUE(IniFile(path_).WriteString("DB", "DBFile", "localhost:c:\\MoxSettings.fdb"));
  ASSERT_TRUE(IniFile(path_).WriteString("DB", "DBUser", "SYSDBA"));
  EXPECT_EQ(ReadFile(path_), "[DB]\r\nDBFile=localhost:c:\\MoxSettings.fdb\r\nDBUser=SYSDBA\r\n");
  struct stat st {};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(IniFileTest, ReplacesTheOneLineByKeyEqualsValue) {
  EXPECT_EQ(Write("[DB]\r\na=old\r\nb=2\r\n"), "[DB]\r\na=new\r\nb=2\r\n");
  EXPECT_EQ(Write("[DB]\na=old\nb=2"), "[DB]\na=new\nb=2");
  // Nothing of the old line survives: not the blanks, the quotes or the key's spelling.
  EXPECT_EQ(Write("[DB]\r\n  A = 'old' \t\r\n"), "[DB]\r\na=new\r\n");
  EXPECT_EQ(Write("\xEF\xBB\xBF[DB]\na =  x  \n", "a", "WIN1251"), "\xEF\xBB\xBF[DB]\na=WIN1251\n");
  EXPECT_EQ(Write("[DB]\na=\n"), "[DB]\na=new\n");
  EXPECT_EQ(Write("[DB]\na=old"), "[DB]\na=new");
  EXPECT_EQ(Write("[DB]\ra=old\rb=2\r"), "[DB]\ra=new\rb=2\r");
  // The first section and the first key win, as on reading; their twins stay as they are.
  EXPECT_EQ(Write("[DB]\na=1\na=2\n[db]\na=3\n"), "[DB]\na=new\na=2\n[db]\na=3\n");
}

TEST_F(IniFileTest, AddsAMissingKeyAfterTheLastNonEmptyLineOfItsSection) {
  EXPECT_EQ(Write("[DB]\r\nb=2\r\n\r\n[X]\r\nk=v\r\n"),
            "[DB]\r\nb=2\r\na=new\r\n\r\n[X]\r\nk=v\r\n");
  EXPECT_EQ(Write("[DB]\n[X]\n"), "[DB]\na=new\n[X]\n");
  EXPECT_EQ(Write("[DB]\r\n; note\r\n  \r\n"), "[DB]\r\n; note\r\na=new\r\n  \r\n");
  // Keys of a twin section do not count, nor do commented-out keys.
  EXPECT_EQ(Write("[DB]\nb=2\n[DB]\na=1\n"), "[DB]\nb=2\na=new\n[DB]\na=1\n");
  EXPECT_EQ(Write("[DB]\n;a=1\n"), "[DB]\n;a=1\na=new\n");
  // A last line without a line end gets one first.
  EXPECT_EQ(Write("[DB]\r\nb=2"), "[DB]\r\nb=2\r\na=new\r\n");
  EXPECT_EQ(Write("[X]\nk=v\n[DB]"), "[X]\nk=v\n[DB]\na=new\n");
}

TEST_F(IniFileTest, AppendsAMissingSectionAtTheEnd) {
  EXPECT_EQ(Write("[X]\nk=v\n"), "[X]\nk=v\n[DB]\na=new\n");
  EXPECT_EQ(Write("[X]\r\nk=v"), "[X]\r\nk=v\r\n[DB]\r\na=new\r\n");
  EXPECT_EQ(Write(""), "[DB]\r\na=new\r\n");
  EXPECT_EQ(Write(kBom), kBom + "[DB]\r\na=new\r\n");
  EXPECT_EQ(Write("[DB\na=1"), "[DB\na=1\n[DB]\na=new\n");
}

TEST_F(IniFileTest, AByteOrderMarkDoesNotHideTheFirstHeader) {
  EXPECT_EQ(Write(kBom + "[DB]\r\na=1\r\n"), kBom + "[DB]\r\na=new\r\n");
  EXPECT_EQ(Write(kBom + "[DB]\r\nb=1\r\n"), kBom + "[DB]\r\nb=1\r\na=new\r\n");
}

TEST_F(IniFileTest, KeepsEveryByteItDoesNotOwn) {
  const std::string garbage("\x00\xFF\xFE\r\x01 =\x80\r\nx[\x00]\n", 15);
  const std::string huge(10 << 20, 'h');
  const std::string before = kBom + "; comment\r\n" + garbage + "[Big]\nv=" + huge + "\r\n[DB]\n" +
                             "b = 2\r\n\r\n" + garbage + "a=old\r\n" + "a=dup\n" + garbage +
                             "\n\n[DB]\na=twin";
  const std::string after = kBom + "; comment\r\n" + garbage + "[Big]\nv=" + huge + "\r\n[DB]\n" +
                            "b = 2\r\n\r\n" + garbage + "a=new\r\n" + "a=dup\n" + garbage +
                            "\n\n[DB]\na=twin";
  // Compared as a Boolean: a failure must not print ten megabytes.
  EXPECT_TRUE(Write(before) == after);
  EXPECT_TRUE(IniFile(path_).ReadString("Big", "v", "") == huge.substr(0, 2047));
}

TEST_F(IniFileTest, ValuesThatReadingWouldAlterReadBackUnchanged) {
  IniFile ini(path_);
  for (const std::string value : {" lead", "trail\t", "'q'", "\"q\"", "\"", "", "a\"b'"}) {
    ASSERT_TRUE(ini.WriteString("DB", "a", value));
    EXPECT_EQ(ini.ReadString("DB", "a", "<default>"), value);
  }
  ASSERT_TRUE(ini.WriteString("DB", "a", "plain"));
  EXPECT_EQ(ReadFile(path_), "[DB]\r\na=plain\r\n");
}

TEST_F(IniFileTest, RefusesWhatWouldBreakTheFileAndLeavesItUnchanged) {
  const std::string contents = "[DB]\r\na=1\r\n";
  WriteFile(path_, contents);
  IniFile ini(path_);
  EXPECT_FALSE(ini.WriteString("DB", "a", "x\r\nb=injected"));
  EXPECT_FALSE(ini.WriteString("DB", "a", "x\ry"));
  EXPECT_FALSE(ini.WriteString("DB", "a=b", "x"));
  EXPECT_FALSE(ini.WriteString("DB", ";a", "x"));
  EXPECT_FALSE(ini.WriteString("DB", "", "x"));
  EXPECT_FALSE(ini.WriteString("D]B", "a", "x"));
  EXPECT_FALSE(ini.WriteString("", "a", "x"));
  EXPECT_EQ(ReadFile(path_), contents);
}

TEST_F(IniFileTest, FailsWithoutChangingWhatItMayNotWrite) {
  const std::string contents = "[DB]\r\na=1\r\n";
  WriteFile(path_, contents);
  ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);
  EXPECT_FALSE(IniFile(path_).WriteString("DB", "a", "2"));
  EXPECT_EQ(ReadFile(path_), contents);

  ASSERT_EQ(::chmod(path_.c_str(), 0640), 0);
  EXPECT_TRUE(IniFile(path_).WriteString("DB", "a", "2"));
  struct stat st {};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  EXPECT_FALSE(IniFile(dir_.File("no/such/dir.ini")).WriteString("DB", "a", "1"));
  // Something that exists but cannot be read as a file is never replaced.
  std::filesystem::create_directory(dir_.path() / "sub.ini");
  EXPECT_FALSE(IniFile(dir_.File("sub.ini")).WriteString("DB", "a", "1"));
  EXPECT_TRUE(std::filesystem::is_directory(dir_.path() / "sub.ini"));
}

}  // namespace
}  // namespace mox
