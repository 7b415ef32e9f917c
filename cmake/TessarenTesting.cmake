# tessaren_add_test(NAME name SOURCES ... [LIBRARIES ...] [DISPLAY] [SERVER] [TIMEOUT s]
#                   [LABELS ...])
# One GoogleTest executable per call. Natively each test case shows up in ctest on its
# own; in the Windows build the executable runs under Wine through the cross-compiling
# emulator (cmake/wine-run), with a display only when DISPLAY is given, and beside the
# test HTTP server (tests/support/with_picture_server.sh) when SERVER is given.
include(GoogleTest)

function(tessaren_add_test)
  cmake_parse_arguments(T "DISPLAY;SERVER" "NAME;TIMEOUT" "SOURCES;LIBRARIES;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBRARIES} tessaren_gtest_main)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  if(WIN32 AND T_SERVER)
    add_test(NAME ${T_NAME}
      COMMAND bash ${CMAKE_SOURCE_DIR}/tests/support/with_picture_server.sh
        ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}.server ${CMAKE_BINARY_DIR}/wine-run
        $<TARGET_FILE:${T_NAME}>)
  elseif(WIN32)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  endif()
  if(WIN32)
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "wine;${T_LABELS}")
    if(T_DISPLAY)
      # Tests with a display get a prefix of their own and take turns in it: Wine's
      # desktop process keeps the X display of whichever program started it, so it must
      # never outlive that program's display nor be started by a headless one.
      set_property(TEST ${T_NAME} APPEND PROPERTY ENVIRONMENT
        TESSAREN_NEEDS_DISPLAY=1 TESSAREN_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix-display)
      set_property(TEST ${T_NAME} PROPERTY RESOURCE_LOCK wine-display)
    endif()
  else()
    gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST
      PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "native;${T_LABELS}")
  endif()
endfunction()

if(WIN32)
  # Every Windows executable that ctest starts goes through Wine, in a prefix private
  # to this build folder.
  configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run CACHE FILEPATH "" FORCE)
endif()
