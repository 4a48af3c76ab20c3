# Lays out the demo payload and the nested archive's contents from scratch:
#   PAYLOAD_DIR/AUTORUN.INF, PAYLOAD_DIR/product/..., [PAYLOAD_DIR/uninstall]
#   RUNTIME_DIR/qelinst    (packed into PAYLOAD_DIR/runtime.zip afterwards)
# Run with -P and -D for each upper-case name used below.
foreach(var PAYLOAD_DIR RUNTIME_DIR PRODUCT_DIR AUTORUN INSTALLER)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "stage_payload.cmake needs -D${var}=...")
  endif()
endforeach()

file(REMOVE_RECURSE "${PAYLOAD_DIR}" "${RUNTIME_DIR}")
file(MAKE_DIRECTORY "${PAYLOAD_DIR}" "${RUNTIME_DIR}")
file(COPY "${PRODUCT_DIR}/" DESTINATION "${PAYLOAD_DIR}/product" USE_SOURCE_PERMISSIONS)
file(COPY "${AUTORUN}" DESTINATION "${PAYLOAD_DIR}")
file(COPY "${INSTALLER}" DESTINATION "${RUNTIME_DIR}" USE_SOURCE_PERMISSIONS)
if(DEFINED UNINSTALLER AND NOT UNINSTALLER STREQUAL "")
  file(COPY "${UNINSTALLER}" DESTINATION "${PAYLOAD_DIR}" USE_SOURCE_PERMISSIONS)
endif()
