# Delay-import libraries: a DLL imported through one of them is loaded at the first call of one of
# its functions instead of with the program. For system DLLs that only natives and rare paths need
# (COM, the shell): most runs never call them, and each costs its load and its dependencies' before
# the first line of the program runs. Only KnownDLLs belong here, which the loader takes from the
# system directory however they are loaded (tests/e2e/test_pe_imports.py reads delay imports too).
#
#   delayed_import_libraries(<variable> <dll>...)
# sets <variable> to the libraries to link instead of the toolchain's import libraries of <dll>s.
# The functions come from the toolchain's own import library; the delay-load helper is mingw-w64's
# (libmingwex, linked by default).
function(delayed_import_libraries variable)
  find_program(LAUNCHER_DLLTOOL ${MINGW_TRIPLE}-dlltool REQUIRED)
  find_program(LAUNCHER_NM ${MINGW_TRIPLE}-nm REQUIRED)
  set(libraries)
  foreach(dll ${ARGN})
    execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=lib${dll}.a
                    OUTPUT_VARIABLE import_library OUTPUT_STRIP_TRAILING_WHITESPACE)
    execute_process(COMMAND ${LAUNCHER_NM} ${import_library} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
    # "__imp_Name" (x64) or "__imp__Name@N" (x86) name each function the library imports.
    string(REGEX MATCHALL " I __imp_[^\n]+" entries "${symbols}")
    list(TRANSFORM entries REPLACE "^ I __imp_" "")
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      list(TRANSFORM entries REPLACE "^_" "")
      set(kill_at --kill-at)
    else()
      set(kill_at)
    endif()
    list(REMOVE_DUPLICATES entries)
    list(JOIN entries "\n" exports)
    set(def ${CMAKE_BINARY_DIR}/delayed/${dll}.def)
    set(library ${CMAKE_BINARY_DIR}/delayed/lib${dll}_delayed.a)
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/delayed)
    file(GENERATE OUTPUT ${def} CONTENT "LIBRARY ${dll}.dll\nEXPORTS\n${exports}\n")
    add_custom_command(OUTPUT ${library}
                       COMMAND ${LAUNCHER_DLLTOOL} ${kill_at} --def ${dll}.def --dllname ${dll}.dll
                               --output-delaylib lib${dll}_delayed.a
                       WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/delayed DEPENDS ${def} VERBATIM)
    add_custom_target(${dll}_delayed_library DEPENDS ${library})
    add_library(${dll}_delayed STATIC IMPORTED GLOBAL)
    set_target_properties(${dll}_delayed PROPERTIES IMPORTED_LOCATION ${library})
    add_dependencies(${dll}_delayed ${dll}_delayed_library)
    list(APPEND libraries ${dll}_delayed)
  endforeach()
  set(${variable} ${libraries} PARENT_SCOPE)
endfunction()
