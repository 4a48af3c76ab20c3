# qel_library_abi(target): gives `target` the calling-convention keyword of
# platform/library_abi.h, for a library whose exports the loader calls, or
# for code that declares such functions.
function(qel_library_abi target)
  if(WIN32)
    target_compile_definitions(${target} PRIVATE QEL_LIBRARY_ABI_KEYWORD=__stdcall)
  else()
    target_compile_definitions(${target} PRIVATE QEL_LIBRARY_ABI_KEYWORD=)
  endif()
endfunction()
