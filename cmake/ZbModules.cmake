# Module groups: each becomes a static library zb_<name> built from the .cpp files of its
# folders and of their Linux/ sub-folders. Files named *MainM.cpp hold a program's main and
# belong to the executable, not to a group.
set(ZB_GROUPS "" CACHE INTERNAL "")

function(zb_group name)
  set(sources "")
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS
      ${CMAKE_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_SOURCE_DIR}/${dir}/Linux/*.cpp)
    list(APPEND sources ${found})
  endforeach()
  list(FILTER sources EXCLUDE REGEX "MainM\\.cpp$")
  if(NOT sources)
    # A group whose folders are still empty: keep the target so the link line is stable.
    set(stub ${CMAKE_BINARY_DIR}/zb_${name}_empty.cpp)
    file(WRITE ${stub} "// no sources yet\n")
    set(sources ${stub})
  endif()
  add_library(zb_${name} STATIC ${sources})
  target_include_directories(zb_${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(zb_${name} PUBLIC
    PkgConfig::ZB_PC SDL2::SDL2 ZLIB::ZLIB Threads::Threads ${CMAKE_DL_LIBS})
  set(ZB_GROUPS ${ZB_GROUPS} zb_${name} CACHE INTERNAL "")
endfunction()

# zb_runtime: every group, linked as one rescanned group because modules call each other
# both ways (the virtual machine reaches instances, instances run code).
function(zb_runtime)
  add_library(zb_runtime INTERFACE)
  string(REPLACE ";" "," groups "${ZB_GROUPS}")
  target_link_libraries(zb_runtime INTERFACE "$<LINK_GROUP:RESCAN,${groups}>")
endfunction()

# zb_test(group): tests/<group>/*.cpp become the executable test_<group>; every case is a
# ctest test labelled with the group (ctest -L <group> runs one group).
function(zb_test group)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${group}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(test_${group} ${sources})
  target_link_libraries(test_${group} PRIVATE zb_runtime zb_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(test_${group} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  gtest_discover_tests(test_${group}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS ${group}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
endfunction()
