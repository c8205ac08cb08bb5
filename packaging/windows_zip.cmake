# The Windows package: a .zip with the plug-in and LogClient.dll side by side (both go to the
# host's folder, where the plug-in looks for the log client), the public header and the sample
# settings file. The sample stays under examples/: beside the plug-in it would be read as its
# settings.
# (Installed as targets, so that CPack strips them; LogClient.dll's import library is left out.)
install(TARGETS apMoxSettingsManager mox_log_client
        LIBRARY DESTINATION . RUNTIME DESTINATION . ARCHIVE DESTINATION lib EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/include/apMoxSettingsManager.h DESTINATION include)
install(FILES ${PROJECT_SOURCE_DIR}/examples/apMoxSettingsManager.ini DESTINATION examples)

set(CPACK_PACKAGE_VENDOR "apMoxSettingsManager developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "settings-database plug-in for a host service")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
# apMoxSettingsManager-<version>-win32.zip or -win64.zip, by the build's pointer size.
set(CPACK_GENERATOR ZIP)
set(CPACK_STRIP_FILES ON)
include(CPack)
