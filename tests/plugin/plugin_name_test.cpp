#include "plugin/plugin_name.h"

#include <gtest/gtest.h>

namespace mox {
namespace {

TEST(PluginNameTest, SuffixBetweenFirstUnderscoreAndFirstDot) {
  EXPECT_EQ(ComputePluginName("apMoxSettingsManager.so"), "MoxSettingsManager");
  EXPECT_EQ(ComputePluginName("apMoxSettingsManager_Office2.so"), "MoxSettingsManager_Office2");
  EXPECT_EQ(ComputePluginName("ap_a_b.c.so"), "MoxSettingsManager_a_b");
}

TEST(PluginNameTest, FallsBackToTheBaseNameWhenTheSuffixIsEmptyOrMisplaced) {
  EXPECT_EQ(ComputePluginName("apMoxSettingsManager_.so"), "MoxSettingsManager");
  EXPECT_EQ(ComputePluginName("ap.Mox_x.so"), "MoxSettingsManager");
  EXPECT_EQ(ComputePluginName("apMoxSettingsManager_Office2"), "MoxSettingsManager");
  EXPECT_EQ(ComputePluginName(""), "MoxSettingsManager");
}

TEST(PluginNameTest, MatchIsExactAndKeepsHighBytes) {
  EXPECT_EQ(ComputePluginName("ap_\xC0\xFF x.so"), "MoxSettingsManager_\xC0\xFF x");
  EXPECT_EQ(ComputePluginName("ap-x.so"), "MoxSettingsManager");
}

}  // namespace
}  // namespace mox
