# One static library per folder under src/. Sources are picked up from the folder, so adding a unit is adding
# its .h/.cpp pair; dependencies are declared once per folder and point downwards only.
function(velkor_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    add_library(velkor_${name} STATIC ${sources})
    target_include_directories(velkor_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(velkor_${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(velkor_${name} INTERFACE)
    target_include_directories(velkor_${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(velkor_${name} INTERFACE ${ARG_DEPS})
  endif()
  add_library(velkor::${name} ALIAS velkor_${name})
endfunction()

# One test program per folder under tests/, discovered by CTest test by test. Test programs run with their
# own scratch folders (see tests/support), so CTest may run them in parallel.
function(velkor_tests name)
  cmake_parse_arguments(ARG "" "" "DEPS;LABELS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(velkor_tests_${name} ${sources})
  target_link_libraries(velkor_tests_${name} PRIVATE ${ARG_DEPS} velkor_testsupport GTest::gtest_main GTest::gmock)
  target_compile_definitions(velkor_tests_${name} PRIVATE VELKOR_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/${name}"
                                                          VELKOR_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(velkor_tests_${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${name})
  if(ARG_LABELS)
    # Discovery passes one value per property, so further labels are added once CTest knows the tests.
    set(labels_file "${CMAKE_CURRENT_BINARY_DIR}/velkor_tests_${name}_labels.cmake")
    file(WRITE "${labels_file}"
         "foreach(test IN LISTS velkor_tests_${name}_TESTS)\n"
         "  set_tests_properties(\"\${test}\" PROPERTIES LABELS \"${name};${ARG_LABELS}\")\n"
         "endforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${labels_file}")
  endif()
endfunction()
