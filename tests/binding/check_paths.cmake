# A built module names no folder of the machine that built it: its sources
# appear relative to the tree (diagnostics name them), never absolute.
execute_process(COMMAND strings ${MODULE} OUTPUT_VARIABLE text COMMAND_ERROR_IS_FATAL ANY)
foreach(folder IN ITEMS "${SOURCE_DIR}" "${BINARY_DIR}")
  string(FIND "${text}" "${folder}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "${MODULE} holds the build machine's folder ${folder}")
  endif()
endforeach()
string(FIND "${text}" "src/models/" relative)
if(relative EQUAL -1)
  message(FATAL_ERROR "no source named relative to the tree in ${MODULE}: is this the module?")
endif()
message(STATUS "no build-machine folder in ${MODULE}")
