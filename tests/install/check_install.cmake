# Installs the build into PREFIX (emptied first) and checks the installed tree: the programs,
# the module of FFmpeg's encoders that they load from it, the desktop entry, the AppStream metainfo, the icon in every size, the MIME type and the
# manual pages, then runs desktop-file-validate, appstreamcli and update-mime-database on them.
# Run by CTest: cmake -DBUILD_DIR= -DSOURCE_DIR= -DPREFIX= -DLIBDIR= -DVERSION= -DDESKTOP_FILE_VALIDATE=
#   -DAPPSTREAMCLI= -DUPDATE_MIME_DATABASE= -P check_install.cmake
cmake_minimum_required(VERSION 3.25)

set(id org.example.Kelbo)
set(failures 0)
macro(fail message)
  message(SEND_ERROR "${message}")
  math(EXPR failures "${failures} + 1")
endmacro()

foreach(tool DESKTOP_FILE_VALIDATE APPSTREAMCLI UPDATE_MIME_DATABASE)
  if(NOT ${tool} OR ${tool} MATCHES "NOTFOUND")
    message(FATAL_ERROR "${tool} is missing: scripts/setup.sh installs it")
  endif()
endforeach()

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${result}):\n${output}")
endif()

# Every installed file, and nothing else.
set(module ${LIBDIR}/kelbo/kelbo-ffmpeg.so)
set(expected
  bin/kelbo
  bin/kelbo-export
  ${module}
  share/applications/${id}.desktop
  share/metainfo/${id}.metainfo.xml
  share/mime/packages/kelbo.xml
  share/icons/hicolor/scalable/apps/${id}.svg
  share/man/man1/kelbo.1
  share/man/man1/kelbo-export.1)
set(sizes 16 32 48 64 128 256)
foreach(size IN LISTS sizes)
  list(APPEND expected share/icons/hicolor/${size}x${size}/apps/${id}.png)
endforeach()
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE "${PREFIX}" "${PREFIX}/*")
list(SORT installed)
list(SORT expected)
if(NOT installed STREQUAL expected)
  string(REPLACE ";" "\n  " got "${installed}")
  string(REPLACE ";" "\n  " want "${expected}")
  fail("installed files:\n  ${got}\nexpected:\n  ${want}")
endif()

foreach(program kelbo kelbo-export)
  execute_process(COMMAND test -x "${PREFIX}/bin/${program}" RESULT_VARIABLE not_executable)
  if(NOT not_executable EQUAL 0)
    fail("bin/${program} is not executable")
  endif()
endforeach()

# The installed program loads the installed module, not the one of the build, when it needs
# FFmpeg's encoders (the dynamic loader says which file it loaded).
execute_process(COMMAND "${CMAKE_COMMAND}" -E env LD_DEBUG=files "${PREFIX}/bin/kelbo-export" --list-codecs
  RESULT_VARIABLE result OUTPUT_VARIABLE codecs ERROR_VARIABLE loaded)
string(FIND "${loaded}" "file=${PREFIX}/bin/../${module} [0];  dynamically loaded" at)
if(NOT result EQUAL 0 OR at EQUAL -1 OR NOT codecs MATCHES "\nH264\t")
  fail("bin/kelbo-export --list-codecs (${result}) did not load ${module}:\n${codecs}")
endif()

# Each PNG: the signature, then the IHDR chunk with width and height as 32-bit big-endian.
foreach(size IN LISTS sizes)
  set(png "${PREFIX}/share/icons/hicolor/${size}x${size}/apps/${id}.png")
  if(EXISTS "${png}")
    file(READ "${png}" header LIMIT 24 HEX)
    math(EXPR hex_size "${size}" OUTPUT_FORMAT HEXADECIMAL)
    string(SUBSTRING "${hex_size}" 2 -1 hex_size)
    string(LENGTH "${hex_size}" length)
    while(length LESS 8)
      string(PREPEND hex_size "0")
      math(EXPR length "${length} + 1")
    endwhile()
    string(TOLOWER "${hex_size}" hex_size)
    set(want "89504e470d0a1a0a0000000d49484452${hex_size}${hex_size}")
    if(NOT header STREQUAL want)
      fail("${size}x${size} icon: PNG header ${header}, expected ${want}")
    endif()
  endif()
endforeach()

# The PNGs were made from the drawing as it stands (scripts/make-icons.sh records its hash).
file(SHA256 "${SOURCE_DIR}/data/icons/${id}.svg" drawing_hash)
file(STRINGS "${SOURCE_DIR}/data/icons/${id}.svg.sha256" recorded_hash LIMIT_COUNT 1)
if(NOT drawing_hash STREQUAL recorded_hash)
  fail("data/icons/${id}.svg changed since its PNGs were made: run scripts/make-icons.sh")
endif()

# The desktop entry: accepted by desktop-file-validate without an error or a warning, and
# naming the program, its icon and the project type.
set(desktop "${PREFIX}/share/applications/${id}.desktop")
execute_process(COMMAND "${DESKTOP_FILE_VALIDATE}" "${desktop}"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR output MATCHES "(error|warning):")
  fail("desktop-file-validate (${result}):\n${output}")
endif()
file(STRINGS "${desktop}" entry)
foreach(line "Exec=kelbo %f" "Icon=${id}"
             "MimeType=application/x-kelbo-project;image/bmp;image/gif;image/jpeg;")
  if(NOT line IN_LIST entry)
    fail("${id}.desktop lacks the line: ${line}")
  endif()
endforeach()

# The AppStream metainfo: valid without the network, with the id of the desktop entry and the
# version of the build.
set(metainfo "${PREFIX}/share/metainfo/${id}.metainfo.xml")
execute_process(COMMAND "${APPSTREAMCLI}" validate --no-net --no-color "${metainfo}"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  fail("appstreamcli validate (${result}):\n${output}")
endif()
file(READ "${metainfo}" text)
foreach(fragment "<id>${id}</id>" "<launchable type=\"desktop-id\">${id}.desktop</launchable>"
                 "<icon type=\"stock\">${id}</icon>" "<release version=\"${VERSION}\""
                 "screenshot-main.png</image>")
  string(FIND "${text}" "${fragment}" at)
  if(at EQUAL -1)
    fail("${id}.metainfo.xml lacks: ${fragment}")
  endif()
endforeach()

# The MIME package: update-mime-database compiles it and a *.kelbo name maps to the type.
# (The prefix is named as a data folder, else the tool notes that it is not searched.)
execute_process(COMMAND "${CMAKE_COMMAND}" -E env "XDG_DATA_DIRS=${PREFIX}/share" "XDG_DATA_HOME=${PREFIX}/share"
                        "${UPDATE_MIME_DATABASE}" "${PREFIX}/share/mime"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR NOT output STREQUAL "")
  fail("update-mime-database (${result}):\n${output}")
endif()
if(EXISTS "${PREFIX}/share/mime/globs2")
  file(STRINGS "${PREFIX}/share/mime/globs2" globs REGEX "kelbo")
  if(NOT globs STREQUAL "50:application/x-kelbo-project:*.kelbo")
    fail("globs2 for *.kelbo: '${globs}'")
  endif()
else()
  fail("update-mime-database wrote no globs2")
endif()

# The manual pages carry the version of the build.
foreach(page kelbo kelbo-export)
  file(STRINGS "${PREFIX}/share/man/man1/${page}.1" heading REGEX "^\\.TH ")
  if(NOT heading MATCHES "\"Kelbo ${VERSION}\"")
    fail("${page}.1 heading: ${heading}")
  endif()
endforeach()

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} check(s) of the installed tree failed")
endif()
message(STATUS "installed tree in ${PREFIX}: all checks passed")
