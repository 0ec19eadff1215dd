# The Windows installer, from CPack's NSIS generator: `cpack -G NSIS` in the build folder makes
# Quorvane-<version>-win64.exe. It installs bin\ (the two programs, and beside them the DLLs and
# Qt plugins from QUORVANE_WINDOWS_RUNTIME_DIR) into Program Files, with a Start menu entry, the
# uninstall entry, "Open with" for list files and an optional PATH entry. What CPack's variables
# cannot say is in resources/windows/quorvane.nsh.

set(QUORVANE_WINDOWS_RUNTIME_DIR "" CACHE PATH
    "Folder with the DLLs and Qt plugins the programs need (as windeployqt lays them out)")
if(QUORVANE_WINDOWS_RUNTIME_DIR)
    # The programs themselves come stripped from the build.
    install(DIRECTORY "${QUORVANE_WINDOWS_RUNTIME_DIR}/" DESTINATION ${CMAKE_INSTALL_BINDIR}
        PATTERN "*.exe" EXCLUDE)
endif()

set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_FILE_NAME Quorvane-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Quorvane)
# Names the uninstall entry and the installer's own key under Software\Kelvarn, which the
# uninstaller deletes: never "Quorvane", whose key holds the user's settings. The same for every
# version, so that a new version finds the one it replaces.
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Quorvane Setup")
set(CPACK_NSIS_PACKAGE_NAME Quorvane)
set(CPACK_NSIS_DISPLAY_NAME Quorvane)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/resources/quorvane.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/resources/quorvane.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME "bin\\quorvane.exe")
set(CPACK_PACKAGE_EXECUTABLES quorvane Quorvane)
# There is no licence to agree to; CPack would show CMake's own.
set(CPACK_NSIS_IGNORE_LICENSE_PAGE ON)
set(CPACK_NSIS_URL_INFO_ABOUT ${CPACK_PACKAGE_HOMEPAGE_URL})
set(CPACK_NSIS_HELP_LINK https://www.kelvarn.example/contact/)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
# No "Run Quorvane" on the last page: started by the elevated installer, the window would run
# elevated too, and Explorer's drops onto it would be refused.
set(CPACK_NSIS_DEFINES "
  ; A 64-bit installer: the 64-bit Program Files, and the registry that 64-bit programs see.
  Target amd64-unicode
  ; Set here: CPack's own setting trims it, which makensis does only on Windows.
  BrandingText \"Quorvane ${PROJECT_VERSION}\"
  !define QUORVANE_INSTALL_KEY \"${CPACK_PACKAGE_INSTALL_REGISTRY_KEY}\"
  !define QUORVANE_UNINSTALLER \"Uninstall.exe\"
  !include \"${PROJECT_SOURCE_DIR}/resources/windows/quorvane.nsh\"")
set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS "!insertmacro QuorvanePreinstall")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "Call QuorvaneRegister")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "Call un.QuorvaneUnregister")
# CPack's own PATH option rewrites PATH through NSIS strings of 1,024 characters, losing a longer
# one: it stays off. Without components of its own, CPack leaves the components page and its
# sections to us: there the PATH entry is offered, off unless chosen.
set(CPACK_NSIS_MODIFY_PATH OFF)
set(CPACK_NSIS_COMPONENT_SECTIONS "!insertmacro QuorvaneSections")
set(CPACK_NSIS_PAGE_COMPONENTS "!define MUI_PAGE_CUSTOMFUNCTION_PRE QuorvaneComponentsPre
  !insertmacro MUI_PAGE_COMPONENTS")
