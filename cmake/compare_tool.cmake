# Runs the ornivex tool's commands on the sample, natively (NATIVE_TOOL) and
# under Wine (TOOL), each in a fresh directory under WORK with relative
# paths, and fails unless both give the same exit statuses, the same
# standard output and error (but for line ends and the path separator) and
# files of the same bytes.
include(${CMAKE_CURRENT_LIST_DIR}/wine_env.cmake)
set(commands
    "dump s.mp4" "samples s.mp4" "info --json s.mp4"
    "extract s.mp4 --video v.m4v --audio a.aac"
    "mux -o m.mp4 --video v.m4v --audio a.aac"
    "mux -o m.mp4 --audio a.aac"  # over the file it wrote before
    "extract s.mp4 --video s.mp4" "mux -o a.aac --audio a.aac" "info none.mp4" "samples")

function(run_tool name)
  set(dir ${WORK}/${name})
  file(REMOVE_RECURSE ${dir})
  file(MAKE_DIRECTORY ${dir})
  file(COPY_FILE ${SAMPLE} ${dir}/s.mp4)
  set(out "")
  foreach(command IN LISTS commands)
    separate_arguments(args UNIX_COMMAND "${command}")
    execute_process(COMMAND ${ARGN} ${args} WORKING_DIRECTORY ${dir} RESULT_VARIABLE rc
                    OUTPUT_VARIABLE o ERROR_VARIABLE e TIMEOUT 120)
    string(APPEND out "$ ornivex ${command}: ${rc}\n${o}${e}")
  endforeach()
  file(GLOB left RELATIVE ${dir} ${dir}/*)
  foreach(f IN LISTS left)
    file(SHA256 ${dir}/${f} sum)
    string(APPEND out "${f}: ${sum}\n")
  endforeach()
  string(REPLACE "\r\n" "\n" out "${out}")
  string(REPLACE "\\" "/" out "${out}")
  file(WRITE ${WORK}/${name}.txt "${out}")
  set(transcript "${out}" PARENT_SCOPE)
endfunction()

run_tool(linux ${NATIVE_TOOL})
set(linux "${transcript}")
use_wine_prefix(${PREFIX})
run_tool(${ARCH} ${WINE} ${TOOL})
execute_process(COMMAND ${WINESERVER} -w TIMEOUT 60)
if(NOT linux STREQUAL transcript)
  execute_process(COMMAND diff ${WORK}/linux.txt ${WORK}/${ARCH}.txt OUTPUT_VARIABLE difference)
  message(FATAL_ERROR "the tool differs under Wine (${WORK}/linux.txt, ${WORK}/${ARCH}.txt):\n"
                      "${difference}")
endif()
string(LENGTH "${linux}" size)
message(STATUS "${ARCH} and Linux alike: ${size} bytes of transcript")
