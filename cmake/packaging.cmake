# Release packages of the Windows build, made by CPack: `cmake --build <dir> --target package`
# writes Fotrel-<version>-win64-setup.exe (NSIS, 64-bit, per user by default) and the portable
# Fotrel-<version>-win64.zip with the same files. The installer's behaviour lives in
# packaging/NSIS.template.in; packaging/cpack-project.cmake names the files and refuses a build
# that talks to a loopback service host.
option(FOTREL_PACKAGE_TEST "Allow packages of a build whose service host is a loopback address (tests only)" OFF)

foreach(_target Fotrel fotrel-cli)
  if(TARGET ${_target})
    install(TARGETS ${_target} RUNTIME DESTINATION .)
  endif()
endforeach()
# The short Chinese README, with Windows line ends for Notepad.
configure_file(${CMAKE_SOURCE_DIR}/packaging/README.txt.in ${CMAKE_BINARY_DIR}/packaging/README.txt
               @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/packaging/README.txt DESTINATION .)
# The notices of the runtime code that MinGW links into both executables (-static).
if(MINGW)
  foreach(_notice gcc-runtime mingw-w64-runtime)
    configure_file(${CMAKE_SOURCE_DIR}/packaging/licenses/${_notice}.txt
                   ${CMAKE_BINARY_DIR}/packaging/licenses/${_notice}.txt NEWLINE_STYLE CRLF)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/licenses/${_notice}.txt DESTINATION licenses)
  endforeach()
endif()

set(CPACK_GENERATOR NSIS64 ZIP)
set(CPACK_PACKAGE_NAME Fotrel)
set(CPACK_PACKAGE_VENDOR Zorvan)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Zorvan照片冲印")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Fotrel)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Fotrel)
set(CPACK_STRIP_FILES ON)
set(CPACK_NSIS_DISPLAY_NAME "Zorvan照片冲印")
set(CPACK_NSIS_PACKAGE_NAME "Zorvan照片冲印")
set(CPACK_NSIS_MUI_ICON ${CMAKE_SOURCE_DIR}/res/ico/128.ico)
set(CPACK_NSIS_MUI_UNIICON ${CMAKE_SOURCE_DIR}/res/ico/128.ico)
# Our own installer template instead of CPack's (which installs for all users with elevation).
set(CPACK_MODULE_PATH ${CMAKE_SOURCE_DIR}/packaging)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/packaging/cpack-project.cmake)
set(CPACK_FOTREL_SERVICE_HOST "${FOTREL_SERVICE_HOST}")
set(CPACK_FOTREL_PACKAGE_TEST ${FOTREL_PACKAGE_TEST})
include(CPack)
