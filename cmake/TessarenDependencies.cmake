# Finds the libraries for the build at hand: libjpeg-turbo (6b interface), GoogleTest,
# stb_image_resize, and the decoders and parsers
#   tessaren_png        libspng with zlib
#   tessaren_webp       libwebp and libwebpdemux
#   tessaren_gif        giflib
#   tessaren_gumbo      gumbo-parser (HTML5)
#   tessaren_pugixml    pugixml
#   tessaren_json       nlohmann-json (header-only)
#   tessaren_uriparser  uriparser
# Natively they are Debian's -dev packages; the Windows copies are cross-built, static, by
# scripts/setup into a cache outside the work tree. stb and nlohmann-json are headers
# only, taken from the host for both builds.
set(TESSAREN_CACHE "$ENV{HOME}/.cache/tessaren" CACHE PATH "Where scripts/setup keeps the cross-built libraries")
if(DEFINED ENV{TESSAREN_CACHE})
  set(TESSAREN_CACHE "$ENV{TESSAREN_CACHE}" CACHE PATH "" FORCE)
endif()

if(WIN32)
  set(jpeg_prefix ${TESSAREN_CACHE}/libjpeg-turbo-mingw64)
  set(gtest_prefix ${TESSAREN_CACHE}/googletest-mingw64)
  set(windows_libraries
    ${jpeg_prefix}/lib/libjpeg.a ${gtest_prefix}/lib/libgtest.a
    ${TESSAREN_CACHE}/zlib-mingw64/lib/libz.a ${TESSAREN_CACHE}/libspng-mingw64/lib/libspng.a
    ${TESSAREN_CACHE}/libwebp-mingw64/lib/libwebp.a ${TESSAREN_CACHE}/libwebp-mingw64/lib/libwebpdemux.a
    ${TESSAREN_CACHE}/giflib-mingw64/lib/libgif.a ${TESSAREN_CACHE}/gumbo-parser-mingw64/lib/libgumbo.a
    ${TESSAREN_CACHE}/pugixml-mingw64/lib/libpugixml.a ${TESSAREN_CACHE}/uriparser-mingw64/lib/liburiparser.a)
  foreach(library IN LISTS windows_libraries)
    if(NOT EXISTS ${library})
      message(FATAL_ERROR "${library} is missing: run scripts/setup")
    endif()
  endforeach()
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
  # tessaren_static_library(TARGET PREFIX LIBRARY [DEFINITIONS...]): one library of the
  # cache, its headers in PREFIX/include.
  function(tessaren_static_library target prefix library)
    add_library(${target} STATIC IMPORTED GLOBAL)
    set_target_properties(${target} PROPERTIES
      IMPORTED_LOCATION ${TESSAREN_CACHE}/${prefix}/lib/${library}
      INTERFACE_INCLUDE_DIRECTORIES ${TESSAREN_CACHE}/${prefix}/include
      INTERFACE_COMPILE_DEFINITIONS "${ARGN}")
  endfunction()
  tessaren_static_library(tessaren_zlib zlib-mingw64 libz.a)
  # The static libspng and uriparser: their headers declare dllimport without these.
  tessaren_static_library(tessaren_spng libspng-mingw64 libspng.a SPNG_STATIC)
  tessaren_static_library(tessaren_webp_core libwebp-mingw64 libwebp.a)
  tessaren_static_library(tessaren_webpdemux libwebp-mingw64 libwebpdemux.a)
  tessaren_static_library(tessaren_gif giflib-mingw64 libgif.a)
  tessaren_static_library(tessaren_gumbo gumbo-parser-mingw64 libgumbo.a)
  tessaren_static_library(tessaren_pugixml pugixml-mingw64 libpugixml.a)
  tessaren_static_library(tessaren_uriparser uriparser-mingw64 liburiparser.a URI_STATIC_BUILD)
  add_library(tessaren_png INTERFACE IMPORTED GLOBAL)
  target_link_libraries(tessaren_png INTERFACE tessaren_spng tessaren_zlib)
  add_library(tessaren_webp INTERFACE IMPORTED GLOBAL)
  target_link_libraries(tessaren_webp INTERFACE tessaren_webpdemux tessaren_webp_core)

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

  find_package(ZLIB REQUIRED)
  find_package(GIF REQUIRED)
  find_package(pugixml REQUIRED CONFIG)
  find_package(uriparser REQUIRED CONFIG)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(SPNG REQUIRED IMPORTED_TARGET spng)
  pkg_check_modules(WEBP REQUIRED IMPORTED_TARGET libwebp libwebpdemux)
  pkg_check_modules(GUMBO REQUIRED IMPORTED_TARGET gumbo)
  add_library(tessaren_png INTERFACE IMPORTED GLOBAL)
  target_link_libraries(tessaren_png INTERFACE PkgConfig::SPNG ZLIB::ZLIB)
  add_library(tessaren_webp INTERFACE IMPORTED GLOBAL)
  target_link_libraries(tessaren_webp INTERFACE PkgConfig::WEBP)
  add_library(tessaren_gif INTERFACE IMPORTED GLOBAL)
  target_link_libraries(tessaren_gif INTERFACE GIF::GIF)

  # The fuzz build takes the parsers that scripts/fuzz built with coverage instrumentation
  # (TESSAREN_FUZZ_PARSERS/NAME/include and lib/LIBRARY), each in place of the system's
  # copy, headers and all: the source may be a newer release, and linking both copies
  # would give every symbol twice. A parser missing there stays the system's.
  set(TESSAREN_FUZZ_PARSERS "" CACHE PATH "Parsers built with coverage instrumentation for the fuzzers")
  # tessaren_parser(TARGET NAME LIBRARY SYSTEM_TARGET)
  function(tessaren_parser target name library system_target)
    set(prefix ${TESSAREN_FUZZ_PARSERS}/${name})
    add_library(${target} INTERFACE IMPORTED GLOBAL)
    if(TESSAREN_FUZZ AND TESSAREN_FUZZ_PARSERS AND EXISTS ${prefix}/lib/${library})
      message(STATUS "${name}: the instrumented copy in ${prefix}")
      set_target_properties(${target} PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES ${prefix}/include
        INTERFACE_LINK_LIBRARIES ${prefix}/lib/${library})
    else()
      target_link_libraries(${target} INTERFACE ${system_target})
    endif()
  endfunction()
  tessaren_parser(tessaren_gumbo gumbo-parser libgumbo.a PkgConfig::GUMBO)
  tessaren_parser(tessaren_pugixml pugixml libpugixml.a pugixml::pugixml)
  tessaren_parser(tessaren_uriparser uriparser liburiparser.a uriparser::uriparser)

  if(TESSAREN_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
  endif()
  if(TESSAREN_FUZZ)
    # Coverage instrumentation for every target, so that the fuzzers steer through the
    # project's own code (nlohmann-json's templates with it); only the fuzzers link libFuzzer.
    add_compile_options(-fsanitize=fuzzer-no-link)
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

# nlohmann-json (Debian's nlohmann-json3-dev), header-only like stb. It is included as
# <nlohmann/json.hpp>, and the host's /usr/include must not reach the cross build: that
# build sees only a folder of its own holding a link to the host's nlohmann/.
find_path(TESSAREN_JSON_INCLUDE_DIR nlohmann/json.hpp PATHS /usr/include
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT TESSAREN_JSON_INCLUDE_DIR)
  message(FATAL_ERROR "nlohmann/json.hpp is missing: run scripts/setup (nlohmann-json3-dev)")
endif()
add_library(tessaren_json INTERFACE IMPORTED GLOBAL)
if(WIN32)
  set(json_include ${CMAKE_BINARY_DIR}/host-include/json)
  file(MAKE_DIRECTORY ${json_include})
  file(CREATE_LINK ${TESSAREN_JSON_INCLUDE_DIR}/nlohmann ${json_include}/nlohmann SYMBOLIC)
  set_target_properties(tessaren_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${json_include})
else()
  find_package(nlohmann_json 3 REQUIRED CONFIG)
  target_link_libraries(tessaren_json INTERFACE nlohmann_json::nlohmann_json)
endif()

# The pictures of Debian's source packages for conformance tests, kept by scripts/setup:
#   pngsuite/  libpng's contrib/pngsuite (PngSuite; interlaced/ within)
#   webp/      every .webp file of libwebp's source package
#   gif/       every .gif file of giflib's source package
# each with a SOURCE file naming the package version (and each file's original place).
# Tests get the folder from tessaren_testdata as TESSAREN_TESTDATA_DIR, a path the test
# program can open: under Wine the same folder through drive Z:.
set(TESSAREN_TESTDATA_DIR ${TESSAREN_CACHE}/testdata CACHE PATH "Test pictures kept by scripts/setup" FORCE)
if(NOT EXISTS ${TESSAREN_TESTDATA_DIR}/pngsuite/SOURCE)
  message(FATAL_ERROR "The test pictures are missing from ${TESSAREN_TESTDATA_DIR}: run scripts/setup")
endif()
add_library(tessaren_testdata INTERFACE IMPORTED GLOBAL)
if(WIN32)
  set_target_properties(tessaren_testdata PROPERTIES
    INTERFACE_COMPILE_DEFINITIONS TESSAREN_TESTDATA_DIR="Z:${TESSAREN_TESTDATA_DIR}")
else()
  set_target_properties(tessaren_testdata PROPERTIES
    INTERFACE_COMPILE_DEFINITIONS TESSAREN_TESTDATA_DIR="${TESSAREN_TESTDATA_DIR}")
endif()
