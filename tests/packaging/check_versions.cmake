# Run with -P: TOOLS and PROGRAMS are '|'-separated program files, VERSION
# the project's version, WINDRES (Windows builds) the resource compiler,
# which reads a program's resources back as text, EMULATOR what runs them.
string(REPLACE "|" ";" TOOLS "${TOOLS}")
string(REPLACE "|" ";" PROGRAMS "${PROGRAMS}")
string(REPLACE "." "\\." version_pattern "${VERSION}")
set(failures "")

foreach(tool ${TOOLS})
  get_filename_component(name ${tool} NAME_WE)
  execute_process(COMMAND ${EMULATOR} ${tool} --version RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "^${name} ${version_pattern}\r?\n$")
    list(APPEND failures "${name} --version: exit ${rc}, \"${out}\" ${err}")
  endif()
endforeach()

if(WINDRES)
  string(REPLACE "." ", " numbers "${VERSION}")
  foreach(program ${PROGRAMS})
    get_filename_component(file ${program} NAME)
    execute_process(COMMAND ${WINDRES} --input-format=coff -i ${program} -O rc
                    RESULT_VARIABLE rc OUTPUT_VARIABLE resources ERROR_VARIABLE err)
    foreach(pattern "FILEVERSION ${numbers}, 0" "PRODUCTVERSION ${numbers}, 0"
                    "VALUE \"FileVersion\", \"${version_pattern}\"" "VALUE \"ProductVersion\", \"${version_pattern}\""
                    "VALUE \"OriginalFilename\", \"${file}\"")
      if(NOT rc EQUAL 0 OR NOT resources MATCHES "${pattern}")
        list(APPEND failures "${file}: no ${pattern} in its resources ${err}")
      endif()
    endforeach()
  endforeach()
endif()

if(failures)
  list(JOIN failures "\n" text)
  message(FATAL_ERROR "${text}")
endif()
list(LENGTH TOOLS tool_count)
list(LENGTH PROGRAMS program_count)
message(STATUS "${tool_count} tools answer --version ${VERSION}; ${program_count} programs checked")
