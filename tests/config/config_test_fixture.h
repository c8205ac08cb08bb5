// Puts the plug-in library in a temporary folder, with its program log under a pretend host, so
// that tests see the settings file and the logged lines.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace mox::test {

class ConfigTest : public ::testing::Test {
 protected:
  ConfigTest();
  ~ConfigTest() override;

  // Where the settings file of the library in lib_dir() lies.
  std::string settings_file() const { return lib_dir() + "apMoxSettingsManager.ini"; }
  // The library's directory, with its trailing separator.
  std::string lib_dir() const { return temp_.File("lib") + "/"; }

  // Opens the program log for a host executable in the temporary folder and the library in
  // lib_dir().
  void OpenLog();
  // Every line of the program log so far, without its time stamp, in the order written.
  std::vector<std::string> LogLines() const;

  TempDir temp_;
};

}  // namespace mox::test
