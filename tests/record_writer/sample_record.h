// A complete record as an installer of a runtime would write it.
#pragma once

#include "record_writer.h"

inline uninstall_record::Record SampleRecord() {
  return {"Qel Lumenar Tarvik 1.4.2_02", "C:\\Program Files\\Tarvik\\j2re1.4.2_02", "C:\\Program Files\\Tarvik\\j2re1.4.2_02",
          "1", "4", "2", "02", "1.4.2_02", "1", "0", "Tarvik 1.4.2_02",
          "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Qel Tarvik 1.4.2_02"};
}
