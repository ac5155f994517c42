# Makes the Wine prefix that the host runs share, unless it is there: the
# first start of Wine fills it, which takes a while.
include(${CMAKE_CURRENT_LIST_DIR}/wine_env.cmake)
use_wine_prefix(${PREFIX})
if(EXISTS ${PREFIX}/system.reg)
  message(STATUS "Wine prefix ${PREFIX}: ready")
  return()
endif()
file(REMOVE_RECURSE ${PREFIX})  # half made by an interrupted run
execute_process(COMMAND ${WINE} wineboot --init RESULT_VARIABLE rc
                OUTPUT_VARIABLE out ERROR_VARIABLE out TIMEOUT 500)
# wait for the server and the prefix's services to finish
execute_process(COMMAND ${WINESERVER} -w TIMEOUT 60)
if(NOT rc EQUAL 0 OR NOT EXISTS ${PREFIX}/system.reg)
  message(FATAL_ERROR "wineboot failed (${rc}):\n${out}")
endif()
message(STATUS "Wine prefix ${PREFIX}: made")
