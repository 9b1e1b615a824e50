# Makes the release packages of one Windows build: a portable zip and an MSI.
#   cmake -DPROGRAM=.../Lumivane.exe -DSTRIP=...-strip -DARCH=i686|x86_64
#         -DVERSION=X.Y.Z -DPUBLISHER=... -DWIXL=.../wixl -DOUTPUT_DIR=... -P package.cmake
# The program is shipped without its debug sections; the zip's Lumivane.exe and
# the one the MSI installs are the same file.
cmake_minimum_required(VERSION 3.21)
include(${CMAKE_CURRENT_LIST_DIR}/names.cmake)

foreach(input PROGRAM ARCH VERSION PUBLISHER WIXL OUTPUT_DIR)
  if(NOT ${input})
    message(FATAL_ERROR "package.cmake needs -D${input}=...")
  endif()
endforeach()
get_filename_component(source_dir ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
lumivane_package_names(${ARCH} ${VERSION} zip msi)
lumivane_next_version(${VERSION} next_version)

set(stage ${OUTPUT_DIR}/stage-${ARCH})
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage})
if(STRIP)
  # strip stamps a PE file with the time of day unless SOURCE_DATE_EPOCH names
  # another; the program's own time keeps the packages of one build byte for byte alike.
  file(TIMESTAMP ${PROGRAM} built "%s" UTC)
  set(ENV{SOURCE_DATE_EPOCH} ${built})
  execute_process(COMMAND ${STRIP} --strip-debug -o ${stage}/Lumivane.exe ${PROGRAM}
                  COMMAND_ERROR_IS_FATAL ANY)
else()
  file(COPY_FILE ${PROGRAM} ${stage}/Lumivane.exe)
endif()
file(COPY_FILE ${source_dir}/LICENSE ${stage}/LICENSE)
file(COPY_FILE ${source_dir}/windows/lumivane.ico ${stage}/lumivane.ico)
# Notepad of older Windows shows a file with bare line feeds as one line.
configure_file(${CMAKE_CURRENT_LIST_DIR}/README.txt.in ${stage}/README.txt @ONLY
               NEWLINE_STYLE CRLF)

file(REMOVE ${OUTPUT_DIR}/${zip} ${OUTPUT_DIR}/${msi})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${OUTPUT_DIR}/${zip} --format=zip
                        Lumivane.exe LICENSE README.txt
                WORKING_DIRECTORY ${stage} COMMAND_ERROR_IS_FATAL ANY)

if(ARCH STREQUAL "i686")
  set(msi_arch x86)
  set(win64 no)
else()
  set(msi_arch x64)
  set(win64 yes)
endif()
# wixl finds the sources named in lumivane.wxs in its working folder.
execute_process(COMMAND ${WIXL} -a ${msi_arch} -D Version=${VERSION} -D NextVersion=${next_version}
                        -D Publisher=${PUBLISHER} -D Win64=${win64} -o ${OUTPUT_DIR}/${msi}
                        ${CMAKE_CURRENT_LIST_DIR}/lumivane.wxs
                WORKING_DIRECTORY ${stage} RESULT_VARIABLE result ERROR_VARIABLE wixl_errors)
if(NOT result EQUAL 0 OR NOT EXISTS ${OUTPUT_DIR}/${msi})
  message(FATAL_ERROR "wixl failed (${result}):\n${wixl_errors}")
endif()
message(STATUS "Packages: ${OUTPUT_DIR}/${zip}, ${OUTPUT_DIR}/${msi}")
