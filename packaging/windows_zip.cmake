# The Windows package: a .zip per architecture with what an integrator needs. At its top the
# plug-in, LogClient.dll and mox-host.exe side by side (the plug-in looks for the log client in the
# host's folder, mox-host.exe loads the plug-in from its own), then the header, the .def file for
# an import library, the examples and the README and copyright texts. The sample settings file
# stays under examples/: beside the plug-in it would be read as its settings.

# The version resources: file and product version from the project's, copyright from
# packaging/copyright ("Copyright: <years> <holder>").
file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/copyright mox_copyright_line REGEX "^Copyright: " LIMIT_COUNT 1)
string(REGEX REPLACE "^Copyright: ([0-9, -]+) (.+)$" "\\1;\\2" mox_copyright "${mox_copyright_line}")
list(GET mox_copyright 0 MOX_COPYRIGHT_YEARS)
list(GET mox_copyright 1 MOX_COPYRIGHT_HOLDER)

function(mox_add_version_resource target filename filetype description)
  set(MOX_RC_FILENAME ${filename})
  set(MOX_RC_FILETYPE ${filetype})
  set(MOX_RC_DESCRIPTION ${description})
  get_filename_component(MOX_RC_INTERNAL_NAME ${filename} NAME_WE)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${MOX_RC_INTERNAL_NAME}.rc)
  configure_file(${CMAKE_CURRENT_SOURCE_DIR}/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

mox_add_version_resource(apMoxSettingsManager apMoxSettingsManager.dll VFT_DLL
                         "apMoxSettingsManager settings-database plug-in")
mox_add_version_resource(mox_log_client LogClient.dll VFT_DLL
                         "apMoxSettingsManager log client for syslog servers")
mox_add_version_resource(mox-host mox-host.exe VFT_APP
                         "apMoxSettingsManager sample host and installation check")

# The .def file for an import library (dlltool -d, or lib /def). The DLL exports plain names; on
# 32-bit Windows the callers' objects ask for the __stdcall names with their "@<bytes of
# arguments>", which the .def gives and dlltool's --kill-at strips from the imported names.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(mox_stdcall_init "@12")
  set(mox_stdcall_get_name "@4")
  set(mox_stdcall_command "@12")
  set(mox_stdcall_finalize "@0")
endif()
set(mox_def ${CMAKE_CURRENT_BINARY_DIR}/apMoxSettingsManager.def)
file(WRITE ${mox_def} "LIBRARY apMoxSettingsManager.dll\r\nEXPORTS\r\n"
     "  Init_Plugin${mox_stdcall_init}\r\n  GetName_Plugin${mox_stdcall_get_name}\r\n"
     "  Command_Plugin${mox_stdcall_command}\r\n  Finalize_Plugin${mox_stdcall_finalize}\r\n")

# The sample settings file with Windows line ends, as the plug-in itself writes them.
file(READ ${CMAKE_CURRENT_SOURCE_DIR}/apMoxSettingsManager.windows.ini mox_sample_ini)
string(REPLACE "\n" "\r\n" mox_sample_ini "${mox_sample_ini}")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/apMoxSettingsManager.ini "${mox_sample_ini}")
# Both are read at configure time: a change to either configures again.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_CURRENT_SOURCE_DIR}/apMoxSettingsManager.windows.ini ${CMAKE_CURRENT_SOURCE_DIR}/copyright)

# (Installed as targets, so that CPack strips them; LogClient.dll's import library is left out.)
install(TARGETS apMoxSettingsManager mox_log_client mox-host
        LIBRARY DESTINATION . RUNTIME DESTINATION . ARCHIVE DESTINATION lib EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/include/apMoxSettingsManager.h DESTINATION include)
install(FILES ${mox_def} DESTINATION lib)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/apMoxSettingsManager.ini
              ${PROJECT_SOURCE_DIR}/examples/minimal_host_windows.c
              ${PROJECT_SOURCE_DIR}/examples/settings_db.sql
        DESTINATION examples)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
install(FILES copyright DESTINATION . RENAME COPYRIGHT.txt)

set(CPACK_PACKAGE_VENDOR "apMoxSettingsManager developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "settings-database plug-in for a host service")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
# apMoxSettingsManager-<version>-win32.zip or -win64.zip, by the build's pointer size.
set(CPACK_GENERATOR ZIP)
set(CPACK_STRIP_FILES ON)
include(CPack)
