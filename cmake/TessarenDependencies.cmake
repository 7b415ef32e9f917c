# Finds libjpeg-turbo (6b interface), GoogleTest and stb_image_resize for the build at
# hand. The Windows copies of the first two are cross-built by scripts/setup into a cache
# outside the work tree; stb is one header, the same for both builds.
set(TESSAREN_CACHE "$ENV{HOME}/.cache/tessaren" CACHE PATH "Where scripts/setup keeps the cross-built libraries")
if(DEFINED ENV{TESSAREN_CACHE})
  set(TESSAREN_CACHE "$ENV{TESSAREN_CACHE}" CACHE PATH "" FORCE)
endif()

if(WIN32)
  set(jpeg_prefix ${TESSAREN_CACHE}/libjpeg-turbo-mingw64)
  set(gtest_prefix ${TESSAREN_CACHE}/googletest-mingw64)
  if(NOT EXISTS ${jpeg_prefix}/lib/libjpeg.a OR NOT EXISTS ${gtest_prefix}/lib/libgtest.a)
    message(FATAL_ERROR "The Windows libraries are missing from ${TESSAREN_CACHE}: run scripts/setup")
  endif()
  add_library(tessaren_jpeg STATIC IMPORTED GLOBAL)
  set_target_properties(tessaren_jpeg PROPERTIES
    IMPORTED_LOCATION ${jpeg_prefix}/lib/libjpeg.a
    INTERFACE_INCLUDE_DIRECTORIES ${jpeg_prefix}/include)
  add_library(tessaren_gtest STATIC IMPORTED GLOBAL)
  set_target_properties(tessaren_gtest PROPERTIES
    IMPORTED_LOCATION ${gtest_prefix}/lib/libgtest.a
    INTERFACE_INCLUDE_DIRECTORIES ${gtest_prefix}/include)
  add_library(tessaren_gtest_main STATIC IMPORTED GLOBAL)
  set_target_properties(tessaren_gtest_main PROPERTIES
    IMPORTED_LOCATION ${gtest_prefix}/lib/libgtest_main.a
    INTERFACE_LINK_LIBRARIES tessaren_gtest)
  # One self-contained .exe: no libstdc++, libgcc or winpthread DLLs beside it.
  add_link_options(-static -static-libgcc -static-libstdc++)
else()
  find_package(JPEG REQUIRED)
  find_package(GTest REQUIRED)
  add_library(tessaren_jpeg INTERFACE IMPORTED GLOBAL)
  target_link_libraries(tessaren_jpeg INTERFACE JPEG::JPEG)
  add_library(tessaren_gtest INTERFACE IMPORTED GLOBAL)
  target_link_libraries(tessaren_gtest INTERFACE GTest::gtest)
  add_library(tessaren_gtest_main INTERFACE IMPORTED GLOBAL)
  target_link_libraries(tessaren_gtest_main INTERFACE GTest::gtest_main)
  if(TESSAREN_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
  endif()
endif()

# Debian's libstb-dev: header-only, so the cross build takes it from the host's include
# directory too. SYSTEM: its own code is not held to our warning flags.
find_path(TESSAREN_STB_INCLUDE_DIR stb_image_resize.h PATHS /usr/include/stb
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT TESSAREN_STB_INCLUDE_DIR)
  message(FATAL_ERROR "stb_image_resize.h is missing: run scripts/setup (libstb-dev)")
endif()
add_library(tessaren_stb INTERFACE IMPORTED GLOBAL)
set_target_properties(tessaren_stb PROPERTIES
  INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${TESSAREN_STB_INCLUDE_DIR}
  INTERFACE_INCLUDE_DIRECTORIES ${TESSAREN_STB_INCLUDE_DIR})
