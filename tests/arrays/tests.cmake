# The array front and the C library: the generated files up to date, the C
# example against the built library, the array front's own suite and the
# module's contract suites run against it, under each interpreter.
add_test(NAME function_surface_current COMMAND ${MIRLAXON_SURFACE_CHECK})

if(TARGET mirlaxon_c)
  enable_language(C)
  add_executable(example_light_curve_c ${PROJECT_SOURCE_DIR}/examples/light_curve.c)
  target_include_directories(example_light_curve_c PRIVATE ${PROJECT_SOURCE_DIR}/src/binding/c)
  target_link_libraries(example_light_curve_c PRIVATE mirlaxon_c m)
  set_target_properties(example_light_curve_c PROPERTIES C_STANDARD 99 C_EXTENSIONS OFF)
  add_test(NAME example_light_curve_c COMMAND example_light_curve_c)
  add_test(NAME c_library_exports
    COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:mirlaxon_c>
      -P ${CMAKE_CURRENT_SOURCE_DIR}/arrays/check_exports.cmake)
endif()

# The suites of tests/binding that apply to the array front (the module's
# panic type and its own module object are its own; under PyPy the front's
# Python functions report an unexpected keyword before too many positional
# arguments, where the module reports the count first).
set(MIRLAXON_CONTRACT_SUITES test_hostile test_interrupt test_threads test_arguments test_buffers test_disk
    test_ring test_limb_law)
foreach(host pypy cpython)
  string(TOUPPER ${host} HOST)
  if(MIRLAXON_${HOST}_MODULE_DIR AND TARGET mirlaxon_c)
    mirlaxon_python_environment(${host} environment)
    add_test(NAME arrays_${host}
      COMMAND ${MIRLAXON_${HOST}_EXECUTABLE} -m unittest discover -s ${CMAKE_CURRENT_SOURCE_DIR}/arrays
        -p "test_*.py")
    add_test(NAME arrays_contract_${host}
      COMMAND ${MIRLAXON_${HOST}_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/arrays/contract.py
        ${MIRLAXON_CONTRACT_SUITES})
    set_tests_properties(arrays_${host} arrays_contract_${host} PROPERTIES ENVIRONMENT "${environment}")
  endif()
endforeach()
