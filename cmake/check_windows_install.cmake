# Installs a Windows build into a fresh prefix and builds the small
# consumer against it as a mingw-w64 user would (the header, -lornivex and
# the import library), then runs it under Wine next to the installed DLL.
include(${CMAKE_CURRENT_LIST_DIR}/wine_env.cmake)
set(prefix ${WORK}/prefix)
file(REMOVE_RECURSE ${WORK})

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err
                  TIMEOUT 240)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

run("cmake --install" ${CMAKE_COMMAND} --install ${BIN} --prefix ${prefix})
foreach(file bin/ornivex.dll bin/ornivex.exe lib/libornivex.dll.a lib/ornivex.def include/ornivex.h)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

run("building the consumer" ${CC} ${CMAKE_CURRENT_LIST_DIR}/install_consumer/consumer.c
    -I${prefix}/include -L${prefix}/lib -lornivex -static-libgcc -o ${prefix}/bin/consumer.exe)
use_wine_prefix(${PREFIX})
windows_path(${SAMPLE} sample)
run("the consumer" ${WINE} ${prefix}/bin/consumer.exe ${sample})
execute_process(COMMAND ${WINESERVER} -w TIMEOUT 60)
if(NOT out MATCHES "consumer: 176x144, 100 video and 174 audio samples")
  message(FATAL_ERROR "the consumer printed:\n${out}")
endif()
message(STATUS "installed into ${prefix}; the consumer linked the import library and ran")
