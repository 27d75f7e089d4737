# Builds the Debian package with cpack into OUT_DIR and checks what it holds:
# the program, the desktop entry with the scheme handler, the icons in the
# hicolor theme, the board's library, the copyright and changelog, and run-time
# dependencies on Debian packages; that the program and the library carry no
# debugging information, that the installed program opens its board, that the
# description says what it is, and, where lintian is installed, that it finds
# no error.
file(REMOVE_RECURSE ${OUT_DIR})
execute_process(
  COMMAND cpack -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${OUT_DIR}
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cpack failed:\n${out}")
endif()
file(GLOB debs ${OUT_DIR}/*.deb)
list(LENGTH debs count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one package in ${OUT_DIR}, found: ${debs}")
endif()

execute_process(COMMAND dpkg-deb --contents ${debs} OUTPUT_VARIABLE contents RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "dpkg-deb cannot read ${debs}")
endif()
set(expected ./usr/bin/zelvan ./usr/${BOARD_DIR}/libzelvan-board.so ./usr/share/applications/app.zelvan.Zelvan.desktop
             ./usr/share/doc/zelvan/copyright ./usr/share/doc/zelvan/changelog.gz)
foreach(size 16 32 64 128 256 512)
  list(APPEND expected ./usr/share/icons/hicolor/${size}x${size}/apps/app.zelvan.Zelvan.png)
endforeach()
foreach(path ${expected})
  string(FIND "${contents}" " ${path}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the package lacks ${path}:\n${contents}")
  endif()
endforeach()
# Nothing of the tests or benchmarks.
if(contents MATCHES "_tests|bench_|key_holder|relaunch_probe")
  message(FATAL_ERROR "the package holds test or benchmark files:\n${contents}")
endif()

execute_process(COMMAND dpkg-deb --field ${debs} Package Depends OUTPUT_VARIABLE fields)
foreach(dependency "Package: zelvan" "libqt6widgets6" "libcurl4" "libtesseract5"
                   "libsecret-1-0" "tesseract-ocr-eng" "pocketsphinx-en-us" "fonts-inter")
  string(FIND "${fields}" "${dependency}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the package's control fields lack ${dependency}:\n${fields}")
  endif()
endforeach()

execute_process(COMMAND dpkg-deb --field ${debs} Description OUTPUT_VARIABLE description)
string(REGEX MATCHALL "\n " lines "${description}")
list(LENGTH lines more)
if(more LESS 4)
  message(FATAL_ERROR "the package's description has no more than its summary:\n${description}")
endif()

set(unpacked ${OUT_DIR}/unpacked)
execute_process(COMMAND dpkg-deb -x ${debs} ${unpacked})
foreach(binary usr/bin/zelvan usr/${BOARD_DIR}/libzelvan-board.so)
  execute_process(COMMAND readelf -S ${unpacked}/${binary} OUTPUT_VARIABLE sections)
  if(sections MATCHES "\\.debug_info|\\.symtab")
    message(FATAL_ERROR "the packaged ${binary} is not stripped")
  endif()
endforeach()
# The installed program finds its board library where the package puts it.
execute_process(COMMAND bash ${BOARD_CHECK} ${unpacked}/usr/bin/zelvan ${FAKE_PLATFORM}
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the packaged program did not open its board:\n${out}")
endif()
file(SIZE ${debs} bytes)
math(EXPR megabytes "${bytes} / 1048576")
message(STATUS "package: ${bytes} bytes")
if(bytes GREATER 10485760)
  message(FATAL_ERROR "the package takes ${megabytes} MB, more than 10")
endif()

find_program(LINTIAN lintian)
if(LINTIAN)
  execute_process(COMMAND ${LINTIAN} --no-tag-display-limit ${debs} OUTPUT_VARIABLE tags ERROR_VARIABLE tags)
  message(STATUS "lintian:\n${tags}")
  if(tags MATCHES "(^|\n)E: ")
    message(FATAL_ERROR "lintian finds errors in the package:\n${tags}")
  endif()
endif()

execute_process(COMMAND dpkg-deb --info ${debs} OUTPUT_VARIABLE info)
message(STATUS "${info}")
