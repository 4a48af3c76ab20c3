# The project's one version number (project(qel VERSION ...)) as a generated
# header for the programs, and as a Windows version resource for each
# program file.
configure_file(${CMAKE_CURRENT_LIST_DIR}/qel_version.h.in ${PROJECT_BINARY_DIR}/generated/qel_version.h @ONLY)
add_library(qel_version INTERFACE)
target_include_directories(qel_version INTERFACE ${PROJECT_BINARY_DIR}/generated)

set(QEL_VERSION_RC_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/version_info.rc.in)

# qel_version_resource(TARGET "FileDescription text"): gives the program the
# version header and, on Windows, a VERSIONINFO resource.
function(qel_version_resource target description)
  target_link_libraries(${target} PRIVATE qel_version)
  if(NOT WIN32)
    return()
  endif()
  set(QEL_RC_TARGET ${target})
  set(QEL_RC_DESCRIPTION ${description})
  set(QEL_RC_FILE_NAME ${target}${CMAKE_EXECUTABLE_SUFFIX})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${QEL_VERSION_RC_TEMPLATE} ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
