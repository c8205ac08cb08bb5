#include "platform/path.h"

#include <gtest/gtest.h>

namespace mox::platform {
namespace {

TEST(PathTest, SplitsAtTheLastSeparator) {
  EXPECT_EQ(FileNamePart("/opt/host/apMoxSettingsManager.so"), "apMoxSettingsManager.so");
  EXPECT_EQ(DirectoryPart("/opt/host/apMoxSettingsManager.so"), "/opt/host/");
  EXPECT_EQ(FileNamePart("plain.so"), "plain.so");
  EXPECT_EQ(DirectoryPart("plain.so"), "");
  EXPECT_EQ(FileNamePart("/opt/host/"), "");
  EXPECT_EQ(DirectoryPart("/opt/host/"), "/opt/host/");
  EXPECT_EQ(DirectoryPart("/x"), "/");
  EXPECT_EQ(FileNamePart(""), "");
  EXPECT_EQ(DirectoryPart(""), "");
}

TEST(PathTest, ReplacesOrAppendsTheExtensionOfTheFileNameOnly) {
  EXPECT_EQ(ReplaceExtension("/opt/host/apMoxSettingsManager.so", ".ini"),
            "/opt/host/apMoxSettingsManager.ini");
  EXPECT_EQ(ReplaceExtension("/opt/host/plugin", ".ini"), "/opt/host/plugin.ini");
  // A dot in a directory name is not an extension.
  EXPECT_EQ(ReplaceExtension("/opt/host.d/plugin", ".ini"), "/opt/host.d/plugin.ini");
  EXPECT_EQ(ReplaceExtension("libx.so.1", ".ini"), "libx.so.ini");
  EXPECT_EQ(ReplaceExtension("", ".ini"), ".ini");
}

}  // namespace
}  // namespace mox::platform
