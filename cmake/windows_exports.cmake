# The exports of the Windows DLL (target ornivex), from the one list of
# decorated names (ORNIVEX_DECORATED_NAMES) in src/exports/ornivex.def.
# Sets ORNIVEX_DLL_DEF, the module-definition file it links with.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  # x64 has one calling convention: the same calls under their plain names
  set(ORNIVEX_DLL_DEF ${PROJECT_BINARY_DIR}/ornivex.def)
  set(def "LIBRARY ornivex\nEXPORTS\n")
  foreach(name IN LISTS ORNIVEX_EXPORT_NAMES)
    string(APPEND def "  ${name}\n")
  endforeach()
  file(WRITE ${ORNIVEX_DLL_DEF} "${def}")
else()
  set(ORNIVEX_DLL_DEF ${ORNIVEX_DEF})
  # The linker's import library would decorate the decorated names once
  # more (__MP4FileOpen@8); a C caller of the standard-call MP4FileOpen
  # needs _MP4FileOpen@8 importing the export _MP4FileOpen@8.
  set(import_def ${PROJECT_BINARY_DIR}/ornivex-import.def)
  set(def "LIBRARY ornivex.dll\nEXPORTS\n")
  foreach(name IN LISTS ORNIVEX_DECORATED_NAMES)
    string(REGEX REPLACE "^_" "" symbol "${name}")
    string(APPEND def "  ${symbol} == ${name}\n")
  endforeach()
  file(WRITE ${import_def} "${def}")
  add_custom_command(TARGET ornivex POST_BUILD
    COMMAND ${CMAKE_DLLTOOL} -d ${import_def} -l $<TARGET_LINKER_FILE:ornivex>
    COMMENT "Import library for C callers" VERBATIM)
endif()
