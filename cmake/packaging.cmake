# What `cmake --install` puts where, and the packages CPack builds from it: a .deb on Linux, a zip
# and an NSIS installer for Windows. Included at the end of the top-level CMakeLists.txt, once
# every program exists. The generated files (icon, manifest, manual page) come from packaging/.
#
#   Linux:   cpack -G DEB  in a build folder   (scripts/release.sh builds every package)
#   Windows: cpack -G "ZIP;NSIS"  in a MinGW cross-build folder
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(GLOB lcd_scenarios ${PROJECT_SOURCE_DIR}/board/scenarios/*.scenario)

if(WIN32)
  # One folder: the window program, its console companion (cmd.exe and PowerShell find
  # lcdwrite.com before lcdwrite.exe), the example and the scenarios.
  install(TARGETS lcdwrite lcdwrite_console RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/app/examples/Quorix.lcd DESTINATION examples)
  install(FILES ${lcd_scenarios} DESTINATION scenarios)
  # For the administrator of a PostgreSQL journal (lcdwrite --journal-setup does the same).
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/lcdwrite-journal.sql DESTINATION .)
else()
  include(GNUInstallDirs)
  set(lcd_generated ${PROJECT_BINARY_DIR}/packaging)
  install(TARGETS lcdwrite RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/linux/lcdwrite.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  foreach(size ${LCDWRITE_ICON_SIZES})
    install(FILES ${LCDWRITE_ICON_DIR}/lcdwrite-${size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
      RENAME lcdwrite.png)
  endforeach()
  install(FILES ${lcd_generated}/lcdwrite.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/app/examples/Quorix.lcd
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lcdwrite/examples)
  install(FILES ${lcd_scenarios} DESTINATION ${CMAKE_INSTALL_DATADIR}/lcdwrite/scenarios)
  # The FT232R's latency timer at 1 ms from the moment it is plugged in.
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/linux/60-lcdwrite.rules
    DESTINATION ${LCDWRITE_UDEV_RULES_DIR})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/linux/copyright ${lcd_generated}/changelog.gz
    ${PROJECT_SOURCE_DIR}/packaging/lcdwrite-journal.sql DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# The packages.
set(CPACK_PACKAGE_NAME lcdwrite)
set(CPACK_PACKAGE_VENDOR "lcdwrite")
set(CPACK_PACKAGE_CONTACT "${LCDWRITE_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "writes a configuration into an LCD controller board over an FT232R")
set(CPACK_PACKAGE_DESCRIPTION
  "lcdwrite writes the configuration held in Quorix.lcd into an LCD controller
board connected through an FT232R USB-serial converter: it finds the
converter's port, resets the board over DTR and DSR, clears its counters and
programs its serial number, device type and 120 parameters. It runs in a
window or in the terminal, and against a simulated machine for trying it out
without hardware.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY lcdwrite)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
  set(CPACK_GENERATOR ZIP NSIS)
  set(lcd_arch win32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(lcd_arch win64)
  endif()
  set(CPACK_PACKAGE_FILE_NAME lcdwrite-${PROJECT_VERSION}-${lcd_arch})
  set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/windows/cpack-options.cmake)
  # The programs are stripped when they are linked; their debug information stays beside them
  # in the build (lcdwrite.exe.debug), not in the packages.
  set(CPACK_STRIP_FILES OFF)
  # The installer's script is ours (packaging/windows/NSIS.template.in): German and English,
  # no licence page, the Start-menu entries, the uninstall entry, one installation at a time.
  # The registry keys are named without the version, so an update finds the installed one.
  # PATH is left alone: the installer's string limit (1024 characters) would cut a longer PATH
  # when it is rewritten.
  set(CPACK_MODULE_PATH ${PROJECT_SOURCE_DIR}/packaging/windows)
  set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY lcdwrite)
  set(CPACK_NSIS_DISPLAY_NAME "LCD Konfiguration schreiben")
  set(CPACK_NSIS_INSTALLED_ICON_NAME lcdwrite.exe)
  set(CPACK_NSIS_MUI_ICON ${LCDWRITE_ICON_DIR}/lcdwrite.ico)
  set(CPACK_NSIS_MUI_UNIICON ${LCDWRITE_ICON_DIR}/lcdwrite.ico)
  set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
  # The maker and copyright of the installer's version information, as the programs carry.
  set(CPACK_LCDWRITE_COMPANY "${LCDWRITE_COMPANY}")
  set(CPACK_LCDWRITE_COPYRIGHT "Copyright © ${LCDWRITE_RELEASE_YEAR} ${LCDWRITE_COPYRIGHT_HOLDER}")
  # The installer's own manifest, its wizard picture, and the script that puts the manifest into
  # the installer and the uninstaller and gives the uninstaller its own description
  # (packaging/CMakeLists.txt, packaging/windows).
  set(CPACK_LCDWRITE_SETUP_MANIFEST ${LCDWRITE_ICON_DIR}/lcdwrite-setup.manifest)
  set(CPACK_LCDWRITE_WIZARD_BITMAP ${LCDWRITE_ICON_DIR}/lcdwrite-wizard.bmp)
  find_package(Python3 COMPONENTS Interpreter REQUIRED)
  set(CPACK_LCDWRITE_PYTHON ${Python3_EXECUTABLE})
  set(CPACK_LCDWRITE_PE_RESOURCES ${PROJECT_SOURCE_DIR}/packaging/windows/pe-resources.py)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The libraries the program links, found by dpkg-shlibdeps in the built binary.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
