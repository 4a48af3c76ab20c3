# Warnings are errors on our own code; third-party headers come in as SYSTEM.
option(QEL_WERROR "Treat warnings as errors on our own code" ON)
function(qel_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra $<$<BOOL:${QEL_WERROR}>:-Werror>
    -Wno-unused-parameter
    $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>
    # GCC 12 reports false overlaps inside libstdc++'s std::string at -O2.
    $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>)
endfunction()

# qel_library(name SOURCES... [LIBS ...]) is spelled out per area; this only
# keeps the common properties in one place.
function(qel_target_defaults target)
  qel_warnings(${target})
  if(WIN32)
    target_compile_definitions(${target} PRIVATE _WIN32_WINNT=0x0501 WIN32_LEAN_AND_MEAN NOMINMAX)
  endif()
endfunction()
