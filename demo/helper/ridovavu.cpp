// A stand-in for the product's helper library RidOvavu.dll, for the demo and
// the tests. It undoes no integration: each function answers as the
// configuration file says and logs its call (helper_answers.cpp).
// InstallIntlJRE lives in its own file so that a variant can lack it.
#include <cstdint>

#include "helper_answers.h"
#include "platform/library_abi.h"

extern "C" {

uint32_t QEL_LIBRARY_CALL IsControlPanelLocked() { return Answer("IsControlPanelLocked", nullptr); }
uint32_t QEL_LIBRARY_CALL IsJavaJavawLocked() { return Answer("IsJavaJavawLocked", nullptr); }
uint32_t QEL_LIBRARY_CALL IsjreInstalled(const char* version) { return Answer("IsjreInstalled", version); }
uint32_t QEL_LIBRARY_CALL IsMozillaInstalled() { return Answer("IsMozillaInstalled", nullptr); }
uint32_t QEL_LIBRARY_CALL IsIEInstalled() { return Answer("IsIEInstalled", nullptr); }
uint32_t QEL_LIBRARY_CALL IsNetscapeInstalled() { return Answer("IsNetscapeInstalled", nullptr); }
uint32_t QEL_LIBRARY_CALL UninstallSDK(const char* version) { return Answer("UninstallSDK", version); }
uint32_t QEL_LIBRARY_CALL UninstallJRE(const char* version) { return Answer("UninstallJRE", version); }
// The real library returns its log file's name; a 32-bit value cannot hold
// a pointer on every target, so the stand-in answers a number like the rest.
uint32_t QEL_LIBRARY_CALL GetLogFileName() { return Answer("GetLogFileName", nullptr); }
uint32_t QEL_LIBRARY_CALL IsJavaVMInUse() { return Answer("IsJavaVMInUse", nullptr); }
uint32_t QEL_LIBRARY_CALL NeedReboot() { return Answer("NeedReboot", nullptr); }

}  // extern "C"
