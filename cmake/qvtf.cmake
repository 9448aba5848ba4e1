# One static library per subsystem folder; its sources are every .cpp in it.
function(qvtf_library name)
  file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${name}/*.cpp)
  if(NOT _src)
    set(_src ${CMAKE_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(qvtf_${name} STATIC ${_src})
  target_include_directories(qvtf_${name} PUBLIC ${CMAKE_SOURCE_DIR})
  foreach(dep ${ARGN})
    target_link_libraries(qvtf_${name} PUBLIC qvtf_${dep})
  endforeach()
endfunction()

# One test program per folder of tests/; every .cpp in it is part of it.
function(qvtf_test_folder name)
  file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp)
  if(NOT _src)
    return()
  endif()
  add_executable(test_${name} ${_src})
  target_link_libraries(test_${name} PRIVATE qvtf_testsupport ${ARGN} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(test_${name}
    WORKING_DIRECTORY ${QVTF_PROGRAM_DIR}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 300 LABELS ${name} ENVIRONMENT "QVTF_PROGRAM_DIR=${QVTF_PROGRAM_DIR};QVTF_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()
