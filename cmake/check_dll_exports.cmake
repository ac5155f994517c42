# Cross-builds the 32-bit Windows DLL and fails unless its export table
# lists exactly the decorated names of the module-definition file.
include(${CMAKE_CURRENT_LIST_DIR}/def_names.cmake)
read_def_names(${DEF} expected)

execute_process(COMMAND ${CMAKE_COMMAND} -S ${SRC} -B ${BIN}
                        -DCMAKE_TOOLCHAIN_FILE=${SRC}/cmake/mingw-i686.cmake
                        -DCMAKE_BUILD_TYPE=Release -DORNIVEX_TESTS=OFF
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configuring the Windows build failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BIN} --target ornivex RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "building ornivex.dll failed")
endif()

execute_process(COMMAND ${OBJDUMP} -p ${BIN}/ornivex.dll OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed")
endif()
string(REPLACE "\n" ";" lines "${out}")
set(actual "")
set(in_table FALSE)
foreach(line IN LISTS lines)
  if(line MATCHES "Ordinal/Name Pointer")
    set(in_table TRUE)
  elseif(in_table AND line MATCHES "^[ \t]*\\[ *[0-9]+\\] (.+)$")
    list(APPEND actual "${CMAKE_MATCH_1}")
  elseif(in_table AND line STREQUAL "")
    set(in_table FALSE)
  endif()
endforeach()
list(SORT actual)
if(NOT "${actual}" STREQUAL "${expected}")
  message(FATAL_ERROR "DLL exports differ\n  expected: ${expected}\n  actual:   ${actual}")
endif()
list(LENGTH actual n)
message(STATUS "ornivex.dll exports ${n} decorated names, as listed")
