# Installs the build tree into a fresh prefix and builds a small program
# against what is installed, once through the CMake package and once with
# pkg-config's flags; both must link libornivex.so.1 and run.
set(prefix ${WORK}/prefix)
set(libdir ${prefix}/${LIBDIR})
file(REMOVE_RECURSE ${WORK})

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

run("cmake --install" ${CMAKE_COMMAND} --install ${BIN} --prefix ${prefix})
foreach(file ${libdir}/libornivex.so ${libdir}/libornivex.so.1 ${prefix}/include/ornivex.h
             ${prefix}/bin/ornivex ${libdir}/cmake/ornivex/ornivexConfig.cmake
             ${libdir}/cmake/ornivex/ornivexConfigVersion.cmake
             ${libdir}/cmake/ornivex/ornivexTargets.cmake ${libdir}/pkgconfig/ornivex.pc)
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# A program that links the soname and runs against the installed library.
set(ENV{LD_LIBRARY_PATH} ${libdir})
function(check_consumer program)
  run("objdump" ${OBJDUMP} -p ${program})
  if(NOT out MATCHES "NEEDED +libornivex\\.so\\.1\n")
    message(FATAL_ERROR "${program} does not need libornivex.so.1:\n${out}")
  endif()
  run("${program}" ${program} ${SAMPLE})
  if(NOT out MATCHES "consumer: 176x144, 100 video and 174 audio samples")
    message(FATAL_ERROR "${program} printed:\n${out}")
  endif()
endfunction()

# The CMake package, which also refuses another major version.
set(consumer ${CMAKE_CURRENT_LIST_DIR}/install_consumer)
run("configuring the CMake consumer" ${CMAKE_COMMAND} -S ${consumer} -B ${WORK}/cmake
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_C_COMPILER=${CC} -DWANTED=${VERSION})
run("building the CMake consumer" ${CMAKE_COMMAND} --build ${WORK}/cmake)
check_consumer(${WORK}/cmake/consumer)
execute_process(COMMAND ${CMAKE_COMMAND} -S ${consumer} -B ${WORK}/cmake-other
                        -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_C_COMPILER=${CC} -DWANTED=99.0
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
if(rc EQUAL 0)
  message(FATAL_ERROR "find_package(ornivex 99.0) accepted version ${VERSION}")
endif()

# pkg-config, through the installed tree alone.
set(ENV{PKG_CONFIG_PATH} ${libdir}/pkgconfig)
run("pkg-config" ${PKG_CONFIG} --modversion ornivex)
if(NOT out STREQUAL "${VERSION}\n")
  message(FATAL_ERROR "pkg-config says version ${out}")
endif()
run("pkg-config" ${PKG_CONFIG} --cflags --libs ornivex)
separate_arguments(flags UNIX_COMMAND "${out}")
run("building the pkg-config consumer" ${CC} ${consumer}/consumer.c ${flags} -o ${WORK}/consumer-pc)
check_consumer(${WORK}/consumer-pc)
message(STATUS "installed into ${prefix}; both consumers built and ran")
