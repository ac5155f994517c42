# Runs the reading host over the same files on Linux and under Wine and
# fails unless both print the same. The files are listed by the test
# ReadHostFiles.ListedForTheComparison, which makes ffmpeg's ones.
include(${CMAKE_CURRENT_LIST_DIR}/wine_env.cmake)
execute_process(COMMAND ${TESTS} --gtest_filter=ReadHostFiles.ListedForTheComparison
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "listing the files failed:\n${out}")
endif()
if(NOT out MATCHES "read host files: ([^\n]+)")
  message(STATUS "skipped: ffmpeg is not installed")
  return()
endif()
file(STRINGS ${CMAKE_MATCH_1} files)
list(LENGTH files count)

execute_process(COMMAND ${NATIVE_HOST} ${NATIVE_LIB} ${files}
                RESULT_VARIABLE rc OUTPUT_VARIABLE linux ERROR_VARIABLE err TIMEOUT 120)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the Linux reading host failed (${rc}):\n${err}")
endif()

use_wine_prefix(${PREFIX})
windows_path(${DLL} dll)
set(windows_files "")
foreach(f IN LISTS files)
  windows_path(${f} w)
  list(APPEND windows_files "${w}")
endforeach()
execute_process(COMMAND ${WINE} ${HOST} ${dll} ${windows_files}
                RESULT_VARIABLE rc OUTPUT_VARIABLE windows ERROR_VARIABLE err TIMEOUT 300)
execute_process(COMMAND ${WINESERVER} -w TIMEOUT 60)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the Windows reading host failed (${rc}):\n${err}")
endif()
# the console's line ends, and the paths as the library prints them
string(REPLACE "\r\n" "\n" windows "${windows}")
foreach(f w IN ZIP_LISTS files windows_files)
  string(REPLACE "[${w}]" "[${f}]" windows "${windows}")
endforeach()

if(NOT linux STREQUAL windows)
  file(WRITE ${OUT}/linux.txt "${linux}")
  file(WRITE ${OUT}/windows.txt "${windows}")
  execute_process(COMMAND diff ${OUT}/linux.txt ${OUT}/windows.txt OUTPUT_VARIABLE difference)
  string(SUBSTRING "${difference}" 0 4000 difference)
  message(FATAL_ERROR "Linux and Windows read ${count} files differently "
                      "(${OUT}/linux.txt, ${OUT}/windows.txt):\n${difference}")
endif()
string(LENGTH "${linux}" size)
message(STATUS "${count} files read alike on Linux and Windows: ${size} bytes of output")
