# WSOCK32, SHELL32 and VERSION serve only the close (the report, the mail fallback, the
# Windows 9x version check), but imported they are loaded, with the DLLs they pull in, before
# the program's first instruction, and that start-up delays the window's first paint by as
# much as everything the window itself does. exitpoll.exe therefore links import libraries of
# the same names, made here with dlltool's delay-import stubs from every function the
# toolchain's own libraries offer: the code calls those functions as before, and
# rt/delay_load_win32.cpp loads each DLL at the first call into it.
#
# EXITPOLL_DELAY_LOAD_LINK_FLAGS puts their folder first on the program's library path, so
# that each -lwsock32, -lshell32 and -lversion of its link line finds them. It also names
# as needed each function of these DLLs that the program may import (the list that
# tests/app/imports_test.py holds it to): the code calls them through their address-table
# entries ("__imp_"), which start out pointing at the loading stubs, and the linker drops an
# import's stub that no symbol names, leaving the entry 0.
set(EXITPOLL_DELAY_LOAD_DIR ${CMAKE_BINARY_DIR}/delay_load)
file(MAKE_DIRECTORY ${EXITPOLL_DELAY_LOAD_DIR})
set(EXITPOLL_DELAY_LOAD_LINK_FLAGS -L${EXITPOLL_DELAY_LOAD_DIR})
# A function that cannot be found at its first call is replaced by a stand-in that fails
# (rt/delay_load_win32.cpp); delay_load_stand_ins.cpp tells it, for each function named here,
# how many bytes of arguments to remove (from the "@n" of its name) and what a failure reads:
# -1 for Winsock (SOCKET_ERROR, INVALID_SOCKET, INADDR_NONE, a WSAStartup error), except
# where it returns a pointer or a handle; 0 everywhere else.
set(EXITPOLL_DELAY_LOAD_POINTER_RESULTS gethostbyname WSAAsyncGetHostByName)
set(EXITPOLL_DELAY_LOAD_MAX_ARGUMENTS 24)
set(stand_ins "")
foreach(dll wsock32 shell32 version)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=lib${dll}.a
                  OUTPUT_VARIABLE library OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${CMAKE_NM} --defined-only ${library}
                  OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
  # "00000000 T _socket@12": the stub of an exported function, named as the compiler
  # calls it. The definition lists it without the leading underscore.
  string(REGEX MATCHALL "[0-9a-f]+ T _[A-Za-z0-9_@]+" functions "${symbols}")
  set(definition "LIBRARY ${dll}.dll\nEXPORTS\n")
  foreach(line ${functions})
    string(REGEX REPLACE "^[0-9a-f]+ T _" "" function "${line}")
    string(APPEND definition "${function}\n")
  endforeach()
  file(WRITE ${EXITPOLL_DELAY_LOAD_DIR}/${dll}.def "${definition}")
  # --kill-at: the DLL exports the names without "@n".
  execute_process(COMMAND ${CMAKE_DLLTOOL} --machine i386 --kill-at --dllname ${dll}.dll
                          --def ${EXITPOLL_DELAY_LOAD_DIR}/${dll}.def
                          --output-delaylib ${EXITPOLL_DELAY_LOAD_DIR}/lib${dll}.a
                  COMMAND_ERROR_IS_FATAL ANY)

  string(TOUPPER ${dll} upper)
  file(STRINGS ${CMAKE_SOURCE_DIR}/tests/app/win95_nt4_imports.txt listed REGEX "^${upper} ")
  foreach(entry ${listed})
    string(REGEX REPLACE "^${upper} " "" name "${entry}")
    string(REGEX MATCH "\n${name}(@[0-9]+)?\n" decorated "${definition}")
    string(STRIP "${decorated}" decorated)
    if(NOT decorated)
      message(FATAL_ERROR "${dll}.dll has no function ${name}")
    endif()
    list(APPEND EXITPOLL_DELAY_LOAD_LINK_FLAGS -Wl,-u,_${decorated})

    string(REGEX REPLACE "^.*@" "" arguments "${decorated}")
    if(arguments STREQUAL decorated OR arguments GREATER EXITPOLL_DELAY_LOAD_MAX_ARGUMENTS)
      message(FATAL_ERROR "${dll}.dll's ${name} takes arguments no stand-in removes")
    endif()
    set(shape ${arguments})
    if(dll STREQUAL wsock32 AND NOT name IN_LIST EXITPOLL_DELAY_LOAD_POINTER_RESULTS)
      math(EXPR shape "${arguments} + 1")
    endif()
    math(EXPR shape "${shape}" OUTPUT_FORMAT HEXADECIMAL)
    string(REPLACE "0x" "\\x" shape "${shape}")
    string(APPEND stand_ins "    \"${shape}\" \"${name}\\0\"\n")
  endforeach()
endforeach()
set(EXITPOLL_DELAY_LOAD_STAND_INS ${EXITPOLL_DELAY_LOAD_DIR}/delay_load_stand_ins.cpp)
file(CONFIGURE OUTPUT ${EXITPOLL_DELAY_LOAD_STAND_INS} @ONLY CONTENT "\
// Made by cmake/DelayLoad.cmake: each function the program may delay-import, as the bytes
// of arguments it takes plus 1 where its failure reads -1 (else 0), then its name.
extern const char kDelayLoadStandIns[] =
${stand_ins}    \"\";
extern const int kDelayLoadStandInsSize = sizeof(kDelayLoadStandIns) - 1;
")
