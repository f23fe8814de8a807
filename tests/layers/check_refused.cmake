# Builds TARGET, a probe naming HEADER from a layer that must not see it, and
# passes only if the build fails because HEADER was not found. HEADER must
# exist in src/, so that a misspelt name cannot pass.
if(NOT EXISTS "${SOURCE_DIR}/src/${HEADER}")
  message(FATAL_ERROR "src/${HEADER} does not exist: the probe proves nothing")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY_DIR} --target ${TARGET}
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(status EQUAL 0)
  message(FATAL_ERROR "${TARGET} built: ${HEADER} is visible from a layer below it")
endif()
# g++: "fatal error: models/far_field.hpp: No such file or directory";
# clang: "fatal error: 'models/far_field.hpp' file not found".
string(REPLACE "." "\\." pattern "${HEADER}")
if(NOT output MATCHES "${pattern}: No such file or directory|'${pattern}' file not found")
  message(FATAL_ERROR "${TARGET} failed, but not for want of ${HEADER}:\n${output}")
endif()
message(STATUS "${TARGET} refused, as it must: ${HEADER} not found")
