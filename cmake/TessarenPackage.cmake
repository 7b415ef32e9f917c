# What a Windows user downloads, made by every Windows build (scripts/package copies it
# to build/dist): in ${CMAKE_BINARY_DIR}/package,
#   tessaren-<version>-setup.exe     the NSIS installer (res/installer/tessaren.nsi)
#   tessaren-<version>-portable.zip  tessaren.exe, its console companion tessaren.com,
#                                    README.txt and licenses\
# Both are made from one staging folder, so they hold the same files.
find_program(TESSAREN_MAKENSIS makensis REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# The libraries linked into tessaren.exe whose licence texts travel with it. The decoders
# and parsers are listed before their code links them.
set(TESSAREN_LICENSED_LIBRARIES libjpeg-turbo mingw-w64 gcc zlib libspng libwebp giflib gumbo
  pugixml uriparser nlohmann-json)
if(TARGET tessaren_stb)  # stb_image_resize, where the imaging code resamples with it
  list(APPEND TESSAREN_LICENSED_LIBRARIES stb)
endif()

set(package_dir ${CMAKE_BINARY_DIR}/package)
set(stage_dir ${package_dir}/stage)
set(TESSAREN_STAGE_DIR ${stage_dir})
set(TESSAREN_SETUP ${package_dir}/tessaren-${PROJECT_VERSION}-setup.exe)
set(TESSAREN_PORTABLE_ZIP ${package_dir}/tessaren-${PROJECT_VERSION}-portable.zip)

# What the installer and README.txt say of the registry, from the program's own table of
# stored values: an NSIS include with the keys and value names, and settings.txt, one line
# per key: the key, a TAB, and the names of the values Tessaren keeps there.
set(TESSAREN_SETTINGS_TABLE ${CMAKE_SOURCE_DIR}/settings/settings_table.def)
set(TESSAREN_SETTINGS_NSIS ${CMAKE_BINARY_DIR}/generated/settings.nsh)
set(TESSAREN_SETTINGS_LIST ${CMAKE_BINARY_DIR}/generated/settings.txt)
add_custom_command(OUTPUT ${TESSAREN_SETTINGS_NSIS} ${TESSAREN_SETTINGS_LIST}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/settings-table ${TESSAREN_SETTINGS_TABLE}
    --nsis ${TESSAREN_SETTINGS_NSIS} --list ${TESSAREN_SETTINGS_LIST}
  DEPENDS ${CMAKE_SOURCE_DIR}/scripts/settings-table ${TESSAREN_SETTINGS_TABLE}
  COMMENT "Listing the registry keys and values of the settings table")

# README.txt: the user part of README.md as Windows text, with the registry keys and value
# names from settings.txt.
add_custom_command(OUTPUT ${TESSAREN_STAGE_DIR}/README.txt
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/readme-txt
    --version ${PROJECT_VERSION} --settings ${TESSAREN_SETTINGS_LIST}
    ${CMAKE_SOURCE_DIR}/README.md ${TESSAREN_STAGE_DIR}/README.txt
  DEPENDS ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/scripts/readme-txt
    ${TESSAREN_SETTINGS_LIST}
  COMMENT "Writing README.txt from README.md")

# The Welcome and Finish pages' picture, drawn for 100, 150 and 200 % scaling.
set(TESSAREN_INSTALLER_ART ${package_dir}/art)
set(art_files)
foreach(scale 100 150 200)
  list(APPEND art_files ${TESSAREN_INSTALLER_ART}/welcome-${scale}.bmp)
endforeach()
add_custom_command(OUTPUT ${art_files}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/make-installer-art ${TESSAREN_INSTALLER_ART}
  DEPENDS ${CMAKE_SOURCE_DIR}/scripts/make-installer-art
  COMMENT "Drawing the installer's pictures")

set(license_files)
foreach(library IN LISTS TESSAREN_LICENSED_LIBRARIES)
  list(APPEND license_files ${stage_dir}/licenses/${library}.txt)
endforeach()
# The uninstaller removes the licence texts it installed, by name, and nothing else there.
set(license_deletes "")
foreach(library IN LISTS TESSAREN_LICENSED_LIBRARIES)
  string(APPEND license_deletes [=[Delete "$INSTDIR\licenses\]=] "${library}" [=[.txt"]=] "\n")
endforeach()
file(WRITE ${package_dir}/licenses.nsh "${license_deletes}")

add_custom_command(OUTPUT ${license_files}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage_dir}/licenses
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/collect-licenses
    ${stage_dir}/licenses ${TESSAREN_CACHE} ${TESSAREN_LICENSED_LIBRARIES}
  DEPENDS ${CMAKE_SOURCE_DIR}/scripts/collect-licenses
  COMMENT "Collecting the licence texts")

add_custom_command(OUTPUT ${stage_dir}/tessaren.exe
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:tessaren> ${stage_dir}/tessaren.exe
  DEPENDS tessaren)

add_custom_command(OUTPUT ${stage_dir}/tessaren.com
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:tessaren_console> ${stage_dir}/tessaren.com
  DEPENDS tessaren_console)

set(staged ${stage_dir}/tessaren.exe ${stage_dir}/tessaren.com ${stage_dir}/README.txt
  ${license_files})

# The makensis command line, kept in a script so that scripts/package can make the
# installer again from signed files with the same options:
#   make-installer STAGE OUTFILE [makensis options, such as -DSIGN=command]
set(TESSAREN_MAKE_INSTALLER ${package_dir}/make-installer)
file(CONFIGURE OUTPUT ${TESSAREN_MAKE_INSTALLER} @ONLY CONTENT [=[#!/bin/sh
# Made by cmake/TessarenPackage.cmake: makes the installer from the files in STAGE.
# Usage: make-installer STAGE OUTFILE [makensis options]
stage=$1 outfile=$2
shift 2
exec '@TESSAREN_MAKENSIS@' -V2 -WX -NOCD -DVERSION='@PROJECT_VERSION@' -DSTAGE="$stage"   -DICON='@CMAKE_BINARY_DIR@/app/icons/wall.ico' -DLICENSES='@package_dir@/licenses.nsh'   -DSETTINGS_TABLE='@TESSAREN_SETTINGS_NSIS@' -DART='@TESSAREN_INSTALLER_ART@'   -DOUTFILE="$outfile" "$@" '@CMAKE_SOURCE_DIR@/res/installer/tessaren.nsi'
]=])

add_custom_command(OUTPUT ${TESSAREN_SETUP}
  COMMAND sh ${TESSAREN_MAKE_INSTALLER} ${stage_dir} ${TESSAREN_SETUP}
  DEPENDS ${staged} ${CMAKE_SOURCE_DIR}/res/installer/tessaren.nsi ${CMAKE_BINARY_DIR}/app/icons/wall.ico
    ${package_dir}/licenses.nsh ${TESSAREN_SETTINGS_NSIS} ${art_files} ${TESSAREN_MAKE_INSTALLER}
  COMMENT "Building the installer tessaren-${PROJECT_VERSION}-setup.exe")

add_custom_command(OUTPUT ${TESSAREN_PORTABLE_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${TESSAREN_PORTABLE_ZIP}
  COMMAND ${CMAKE_COMMAND} -E chdir ${stage_dir}
    ${CMAKE_COMMAND} -E tar cf ${TESSAREN_PORTABLE_ZIP} --format=zip tessaren.exe tessaren.com README.txt
      licenses
  DEPENDS ${staged}
  COMMENT "Building tessaren-${PROJECT_VERSION}-portable.zip")

add_custom_target(tessaren_package ALL DEPENDS ${TESSAREN_SETUP} ${TESSAREN_PORTABLE_ZIP}
  ${TESSAREN_SETTINGS_LIST})
