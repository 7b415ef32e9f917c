# What a Windows user downloads, made by every Windows build (scripts/package copies it
# to build/dist): in ${CMAKE_BINARY_DIR}/package,
#   tessaren-<version>-setup.exe     the NSIS installer (res/installer/tessaren.nsi)
#   tessaren-<version>-portable.zip  tessaren.exe, README.txt and licenses\
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

# README.txt: the user part of README.md as Windows text, with the registry keys and value
# names from settings.txt when the build writes that file. Its rule may come later in this
# folder's lists, so whether README.txt depends on it is decided once the folder is read.
set(TESSAREN_SETTINGS_LIST ${CMAKE_BINARY_DIR}/generated/settings.txt)
function(tessaren_add_readme_txt)
  set(inputs ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/scripts/readme-txt)
  get_source_file_property(settings_generated ${TESSAREN_SETTINGS_LIST} GENERATED)
  if(settings_generated OR EXISTS ${TESSAREN_SETTINGS_LIST})
    list(APPEND inputs ${TESSAREN_SETTINGS_LIST})
  endif()
  add_custom_command(OUTPUT ${TESSAREN_STAGE_DIR}/README.txt
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/readme-txt
      --version ${PROJECT_VERSION} --settings ${TESSAREN_SETTINGS_LIST}
      ${CMAKE_SOURCE_DIR}/README.md ${TESSAREN_STAGE_DIR}/README.txt
    DEPENDS ${inputs}
    COMMENT "Writing README.txt from README.md")
endfunction()
cmake_language(DEFER CALL tessaren_add_readme_txt)

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

set(staged ${stage_dir}/tessaren.exe ${stage_dir}/README.txt ${license_files})

add_custom_command(OUTPUT ${TESSAREN_SETUP}
  COMMAND ${TESSAREN_MAKENSIS} -V2 -WX -NOCD
    -DVERSION=${PROJECT_VERSION} -DSTAGE=${stage_dir} -DICON=${CMAKE_BINARY_DIR}/app/icons/wall.ico
    -DLICENSES=${package_dir}/licenses.nsh
    -DOUTFILE=${TESSAREN_SETUP} ${CMAKE_SOURCE_DIR}/res/installer/tessaren.nsi
  DEPENDS ${staged} ${CMAKE_SOURCE_DIR}/res/installer/tessaren.nsi ${CMAKE_BINARY_DIR}/app/icons/wall.ico
    ${package_dir}/licenses.nsh
  COMMENT "Building the installer tessaren-${PROJECT_VERSION}-setup.exe")

add_custom_command(OUTPUT ${TESSAREN_PORTABLE_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${TESSAREN_PORTABLE_ZIP}
  COMMAND ${CMAKE_COMMAND} -E chdir ${stage_dir}
    ${CMAKE_COMMAND} -E tar cf ${TESSAREN_PORTABLE_ZIP} --format=zip tessaren.exe README.txt licenses
  DEPENDS ${staged}
  COMMENT "Building tessaren-${PROJECT_VERSION}-portable.zip")

add_custom_target(tessaren_package ALL DEPENDS ${TESSAREN_SETUP} ${TESSAREN_PORTABLE_ZIP})
