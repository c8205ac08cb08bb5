// The plug-in as a host sees it before any database is involved: its exported symbols, its name,
// and what it does when it is used out of order.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <type_traits>

#include "apMoxSettingsManager.h"
#include "plugin/plugin_host.h"
#include "plugin_library.h"

// A host that loads the library holds the exports through the header's function-pointer types:
// they must stay the exports' own.
static_assert(std::is_same_v<MoxInitPluginFunction, decltype(&Init_Plugin)>);
static_assert(std::is_same_v<MoxGetNamePluginFunction, decltype(&GetName_Plugin)>);
static_assert(std::is_same_v<MoxCommandPluginFunction, decltype(&Command_Plugin)>);
static_assert(std::is_same_v<MoxFinalizePluginFunction, decltype(&Finalize_Plugin)>);

namespace mox::test {
namespace {

std::string RunCommand(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  std::array<char, 4096> buffer;
  std::size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), n);
  pclose(pipe);
  return output;
}

std::size_t CountLines(const std::vector<std::string>& lines, const std::string& text) {
  return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), text));
}

// A library file name no other test uses, so that this test's log file is its own.
std::string UniqueLibraryName(const std::string& suffix = "") {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::string("apMoxSettingsManager_") + info->name() + suffix + ".so";
}

TEST(ExportsTest, OnlyTheFourEntryPointsAreExported) {
  const std::string symbols = RunCommand("nm -D --defined-only '" MOX_PLUGIN_PATH "'");
  std::set<std::string> names;
  std::size_t start = 0;
  while (start < symbols.size()) {
    auto end = symbols.find('\n', start);
    if (end == std::string::npos) end = symbols.size();
    const std::string line = symbols.substr(start, end - start);
    const auto space = line.rfind(' ');
    if (space != std::string::npos) names.insert(line.substr(space + 1));
    start = end + 1;
  }
  const std::set<std::string> expected = {"Command_Plugin", "Finalize_Plugin", "GetName_Plugin",
                                          "Init_Plugin"};
  EXPECT_EQ(names, expected) << symbols;
  // Unique symbols would pin the library in memory, so dlclose could never unload it.
  const std::string dynamic = RunCommand("readelf --dyn-syms -W '" MOX_PLUGIN_PATH "'");
  EXPECT_EQ(dynamic.find("UNIQUE"), std::string::npos) << dynamic;
}

TEST(ExportsTest, NameComesFromTheLibraryFileNameAndIsTheSamePointerFromInit) {
  PluginHost host("apMoxSettingsManager_Office2.so", nullptr);
  host.Load();
  const char* name = host.GetName();
  ASSERT_NE(name, nullptr);
  EXPECT_STREQ(name, "MoxSettingsManager_Office2");
  // Init fails here (no database settings are needed for the name), but hands out the name.
  PluginSettings settings;
  settings.db_file = host.dir().File("none.fdb");
  WritePluginSettings(host.settings_path(), settings);
  EXPECT_EQ(host.Init(), name);
  host.Finalize();
  EXPECT_EQ(host.GetName(), name);
}

TEST(ExportsTest, CommandsOutsideTheInitializedStateAreRefusedWithThePanicLine) {
  PluginHost host(UniqueLibraryName(), nullptr);
  host.Load();
  EXPECT_EQ(host.Command(1, std::string("\x01"
                                        "ABC",
                                        4)),
            0);
  EXPECT_EQ(host.Command(2, ""), 0);  // length 0: dropped silently
  host.Finalize();
  EXPECT_EQ(host.Command(3, std::string("\x02"
                                        "X",
                                        2)),
            0);
  const auto lines = host.LogLines();
  const std::vector<std::string> expected = {"PLUGIN PANIC: Plugin is not initialized!",
                                             "Finalize_Plugin",
                                             "PLUGIN PANIC: Plugin is not initialized!"};
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(host.ReplyCount(), 0u);
}

TEST(ExportsTest, InitFailureIsLoggedAndLeavesThePluginUninitialized) {
  PluginSettings settings;
  settings.db_file = "/nonexistent/x.fdb";
  PluginHost host(UniqueLibraryName(), &settings);
  // A read-only settings file cannot be rewritten: creating the worker fails.
  ASSERT_EQ(chmod(host.settings_path().c_str(), 0444), 0);
  host.Load();
  host.Init();
  EXPECT_EQ(host.Command(5, std::string("\x01"
                                        "ABC",
                                        4)),
            0);
  host.Finalize();
  const auto lines = host.LogLines();
  const std::string fail = "Init_Plugin:: FAIL: Unable to write to " + host.settings_path();
  EXPECT_EQ(CountLines(lines, fail), 1u) << ::testing::PrintToString(lines);
  EXPECT_EQ(CountLines(lines, "MoxSettingsManager initializing..."), 1u);
  EXPECT_EQ(CountLines(lines, "MoxSettingsManager initialized"), 0u);
  EXPECT_EQ(CountLines(lines, "MoxSettingsManager finalizing..."), 1u);
  EXPECT_EQ(CountLines(lines, "MoxSettingsManager finalized"), 1u);
  EXPECT_EQ(CountLines(lines, "PLUGIN PANIC: Plugin is not initialized!"), 1u);
  EXPECT_EQ(lines.back(), "Finalize_Plugin");
  EXPECT_EQ(host.ReplyCount(), 0u);
}

TEST(ExportsTest, NullPayloadWithLengthIsRefusedWithoutCrash) {
  PluginSettings settings;
  settings.db_file = "/nonexistent/x.fdb";
  settings.protocol = false;
  PluginHost host(UniqueLibraryName(), &settings);
  host.Load();
  host.Init();
  EXPECT_EQ(host.CommandRaw(9, nullptr, 10), 0);
  host.Finalize();
  const auto lines = host.LogLines();
  EXPECT_EQ(
      CountLines(lines, "Command_Plugin:: FAIL: null payload with length 10, command refused"), 1u)
      << ::testing::PrintToString(lines);
  EXPECT_EQ(host.ReplyCount(), 0u);
}

TEST(ExportsTest, DlcloseUnloadsTheLibrary) {
  PluginHost host(UniqueLibraryName(), nullptr);
  host.Load();
  host.GetName();
  host.Unload();
  const std::string maps = ReadFile("/proc/self/maps");
  EXPECT_EQ(maps.find(host.library_path()), std::string::npos);
}

// The library's own path names its settings file, log files and plug-in name: it is the path the
// host gave, made absolute against the working directory at load, with links left unresolved.
TEST(ExportsTest, OwnPathIsTheOneTheHostLoadedEvenThroughALinkOrARelativePath) {
  PluginHost target("apMoxSettingsManager_Target.so", nullptr);
  const std::string folder = target.dir().File("plugins");
  std::filesystem::create_directory(folder);
  const std::string link = folder + "/apMoxSettingsManager_Alias.so";
  std::filesystem::create_symlink(target.library_path(), link);
  const std::filesystem::path start = std::filesystem::current_path();
  std::filesystem::current_path(target.dir().path());
  std::string error;
  PluginLibrary alias = PluginLibrary::Open("./plugins/apMoxSettingsManager_Alias.so", &error);
  std::filesystem::current_path(start);  // a host may move before Init_Plugin
  ASSERT_TRUE(alias) << error;
  const char* name = nullptr;
  alias.Init(&name, nullptr, 0);
  alias.Finalize();
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(std::string(name), "MoxSettingsManager_Alias");
  alias.Close();
  // Init_Plugin wrote the settings file beside the link, none beside the target or in the folder
  // the host moved to.
  EXPECT_NE(ReadFile(folder + "/apMoxSettingsManager_Alias.ini").find("DBUser="),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(start / "plugins"));
  EXPECT_FALSE(std::filesystem::exists(target.settings_path()));
  EXPECT_FALSE(std::filesystem::exists(target.dir().File("apMoxSettingsManager_Alias.ini")));
}

}  // namespace
}  // namespace mox::test
