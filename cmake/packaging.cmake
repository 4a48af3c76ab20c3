# The five programs a packager works with: their version resources, where
# `cmake --install` puts them, and the packages CPack makes of them (a ZIP
# of the Windows build, a tarball of a native build).
#
# The three tools go to bin. setupstub and uninstall are no commands of the
# packing machine but parts of every installer (sfxpack copies setupstub,
# the payload carries uninstall): natively they go to libexec/qel, where a
# generic name like "uninstall" cannot shadow anything on the PATH; on
# Windows all five sit together in bin.
set(QEL_PROGRAM_DESCRIPTIONS
  setupstub "Qel self-extracting installer"
  uninstall "Qel uninstaller"
  sfxpack "Qel installer packer"
  zipengine "Qel ZIP engine command line"
  uninstall_record "Qel uninstall record writer")

set(QEL_INSTALLED_PROGRAMS "")
while(QEL_PROGRAM_DESCRIPTIONS)
  list(POP_FRONT QEL_PROGRAM_DESCRIPTIONS program description)
  if(NOT TARGET ${program})
    continue()  # sfxpack needs zlib; the build says so when it is missing
  endif()
  qel_version_resource(${program} "${description}")
  if(WIN32 OR NOT program MATCHES "^(setupstub|uninstall)$")
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  else()
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/qel)
  endif()
  list(APPEND QEL_INSTALLED_PROGRAMS ${program})
endwhile()

# The package's README: at the top of the Windows ZIP (with CR LF line
# ends, for Notepad), in the documentation folder otherwise.
if(WIN32)
  set(QEL_README_NEWLINES CRLF)
  set(QEL_DOC_DESTINATION .)
  set(QEL_README_LAYOUT "bin\\        setupstub.exe, uninstall.exe, sfxpack.exe, zipengine.exe, uninstall_record.exe")
else()
  set(QEL_README_NEWLINES UNIX)
  set(QEL_DOC_DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set(QEL_README_LAYOUT "bin/          sfxpack, zipengine, uninstall_record\nlibexec/qel/  setupstub, uninstall (the parts every installer carries)")
endif()
configure_file(${PROJECT_SOURCE_DIR}/docs/package_readme.txt.in ${PROJECT_BINARY_DIR}/README.txt @ONLY
               NEWLINE_STYLE ${QEL_README_NEWLINES})
install(FILES ${PROJECT_BINARY_DIR}/README.txt ${PROJECT_SOURCE_DIR}/docs/packaging.md
        DESTINATION ${QEL_DOC_DESTINATION})

set(CPACK_PACKAGE_NAME qel)
set(CPACK_PACKAGE_VENDOR Qel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME qel-${PROJECT_VERSION}-win32)
else()
  set(CPACK_GENERATOR TGZ)
  string(TOLOWER "qel-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" CPACK_PACKAGE_FILE_NAME)
endif()
include(CPack)
