# Layers: the table of docs/architecture.md ("Layers", read through scripts/check_layers.py
# --list) gives the layers lowest first, each with its folders. Each layer becomes a static
# library zb_<layer> of the .cpp files of its folders and of their Linux/ sub-folders, linked
# against the layer below it only, so a call that goes up the order does not link (CI also
# checks the libraries with nm: scripts/check_layers.py --libs). Files named *MainM.cpp hold a
# program's main and belong to the executable. The top layer's library is zb_runtime's target.
set(ZB_LAYERS "" CACHE INTERNAL "")

function(zb_layers)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  execute_process(
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/check_layers.py --root ${CMAKE_SOURCE_DIR} --list
    OUTPUT_VARIABLE table RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "the layer table of docs/architecture.md could not be read")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/docs/architecture.md ${CMAKE_SOURCE_DIR}/scripts/check_layers.py)
  string(REPLACE "\n" ";" rows "${table}")
  set(below "")
  set(layers "")
  foreach(row IN LISTS rows)
    if(row STREQUAL "")
      continue()
    endif()
    string(REPLACE " " ";" words "${row}")
    list(POP_FRONT words name)
    set(sources "")
    foreach(dir IN LISTS words)
      if(dir STREQUAL ".")
        file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/*.cpp ${CMAKE_SOURCE_DIR}/Linux/*.cpp)
      else()
        file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_SOURCE_DIR}/${dir}/Linux/*.cpp)
      endif()
      list(APPEND sources ${found})
    endforeach()
    list(FILTER sources EXCLUDE REGEX "MainM\\.cpp$")
    if(NOT sources)
      # A layer whose folders are still empty: keep the target so the chain is whole.
      set(stub ${CMAKE_BINARY_DIR}/zb_${name}_empty.cpp)
      file(WRITE ${stub} "// no sources yet\n")
      set(sources ${stub})
    endif()
    add_library(zb_${name} STATIC ${sources})
    target_include_directories(zb_${name} PUBLIC ${CMAKE_SOURCE_DIR})
    if(below)
      target_link_libraries(zb_${name} PUBLIC ${below})
    else()
      target_link_libraries(zb_${name} PUBLIC
        zb_imgui PkgConfig::ZB_PC SDL2::SDL2 X11::X11 ZLIB::ZLIB Threads::Threads ${CMAKE_DL_LIBS})
    endif()
    set(below zb_${name})
    list(APPEND layers ${name})
  endforeach()
  set(ZB_LAYERS ${layers} CACHE INTERNAL "")
  # Everything: the top layer, which brings every layer below it.
  add_library(zb_runtime INTERFACE)
  target_link_libraries(zb_runtime INTERFACE ${below})
endfunction()

# zb_test(group layer): tests/<group>/*.cpp become the executable test_<group>, linked with
# the layer it tests (and so those below it; "runtime" for the whole runtime) and with the
# shared test helpers of the highest layer at or below it (the libraries zb_testsupport_<layer>
# that tests/CMakeLists.txt makes with zb_test_support, each over the one below it). Every case
# is a ctest test labelled with the group (ctest -L <group> runs one group).
function(zb_test group layer)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${group}/*.cpp)
  if(NOT sources)
    return()
  endif()
  set(order ${ZB_LAYERS} runtime)
  list(FIND order ${layer} rank)
  if(rank LESS 0)
    message(FATAL_ERROR "zb_test(${group}): no layer ${layer} (the layers: ${order})")
  endif()
  get_property(helpers GLOBAL PROPERTY ZB_TEST_SUPPORT)
  set(support "")
  foreach(helper IN LISTS helpers)
    list(FIND order ${helper} at)
    if(at LESS_EQUAL rank)
      set(support zb_testsupport_${helper})
    endif()
  endforeach()
  if(layer STREQUAL "runtime")
    set(library zb_runtime)
  else()
    set(library zb_${layer})
  endif()
  add_executable(test_${group} ${sources})
  target_link_libraries(test_${group} PRIVATE ${support} ${library} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(test_${group} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR})
  # The windowed games each run an X server, the runner and xdotool: one at a time, so that a
  # loaded machine (a sanitizer build, two cores) cannot starve them past their patience.
  set(serial FALSE)
  if(group STREQUAL "windowed")
    set(serial TRUE)
  endif()
  gtest_discover_tests(test_${group}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS ${group} RUN_SERIAL ${serial}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
endfunction()
