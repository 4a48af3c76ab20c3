// Portable. No OS headers.
//
// The calling convention of the functions a shared library exports for the
// loader (platform/loader.h) to call: the Windows API convention on Win32
// (the called function removes its arguments), the C convention elsewhere.
// The keyword itself comes from the build (platform/library_abi.cmake), so
// that no source needs to test the operating system.
#pragma once

// Put between the return type and the name: uint32_t QEL_LIBRARY_CALL F();
#define QEL_LIBRARY_CALL QEL_LIBRARY_ABI_KEYWORD
