# Compiler flags of both builds. Warnings are errors everywhere.
add_compile_options(-Wall -Wextra -Werror)

if(EXITPOLL_WINDOWS)
  # The product is meant to be tiny: no exceptions, RTTI or thread-safe statics, every
  # function in its own section so the linker can drop what nothing calls, size before speed
  # (-Oz), no frame pointer, and the stack kept at the 4-byte alignment that Win32 itself
  # guarantees instead of padding every call to 16 (the product uses no SSE); for the same
  # reason tables keep their own alignment rather than 32 bytes for vector loads that never
  # come (300 bytes of padding). Arguments are pushed, not stored into room reserved up
  # front: a sixth less code. MinGW allows that only without stack probes, so no frame may
  # be large enough to need one: over 4000 bytes, or of a size known only at run time, fails
  # the build.
  set(EXITPOLL_PRODUCT_FLAGS -fno-exceptions -fno-rtti -fno-threadsafe-statics
      -ffunction-sections -fdata-sections -fno-asynchronous-unwind-tables
      -Oz -fomit-frame-pointer -mpreferred-stack-boundary=2 -mno-accumulate-outgoing-args
      -mno-stack-arg-probe -Wframe-larger-than=4000 -Wvla -malign-data=abi)
  add_link_options(-static -static-libgcc -static-libstdc++)
  # No C run-time applies run-time pseudo-relocations in the product (rt/startup_win32.cpp):
  # a data import that would need one fails the link instead of reading the wrong place.
  # Without auto-import as well, the linker would keep the data imports that need none by
  # merging the read-only data into the writable section.
  # NX and ASLR are the linker's defaults; terminal-server-aware keeps Windows from
  # redirecting the program's view of the Windows folder on a terminal server.
  set(EXITPOLL_PRODUCT_LINK_FLAGS -Wl,--gc-sections -s -mwindows
      -Wl,--disable-runtime-pseudo-reloc -Wl,--disable-auto-import -Wl,--tsaware)
else()
  # RTTI stays on here: UBSan needs it to check virtual calls.
  set(EXITPOLL_PRODUCT_FLAGS -fno-exceptions)
  set(EXITPOLL_SANITIZERS -fsanitize=address,undefined -fno-omit-frame-pointer
      -fno-sanitize-recover=all)
  add_compile_options(${EXITPOLL_SANITIZERS})
  add_link_options(${EXITPOLL_SANITIZERS})
endif()

if(EXITPOLL_WINDOWS)
  # A program without the C run-time: ProgramEntry instead of the start-up objects, the C
  # library functions from rt/, the system DLLs and libgcc's helpers. The map file lists
  # what takes the room.
  set(EXITPOLL_NO_CRT_SOURCES ${CMAKE_SOURCE_DIR}/rt/new_win32.cpp
      ${CMAKE_SOURCE_DIR}/rt/startup_win32.cpp ${CMAKE_SOURCE_DIR}/rt/libc_subset.cpp
      ${CMAKE_SOURCE_DIR}/rt/delay_load_win32.cpp)
  set(EXITPOLL_NO_CRT_LINK_FLAGS -nostdlib -Wl,-e,_ProgramEntry
      -Wl,-Map,${CMAKE_BINARY_DIR}/exitpoll.map)
  # WSOCK32, SHELL32 and VERSION are loaded at their first use (cmake/DelayLoad.cmake).
  include(${CMAKE_CURRENT_LIST_DIR}/DelayLoad.cmake)
  list(APPEND EXITPOLL_NO_CRT_SOURCES ${EXITPOLL_DELAY_LOAD_STAND_INS})
  set(EXITPOLL_NO_CRT_LIBS ${EXITPOLL_DELAY_LOAD_LINK_FLAGS}
      wsock32 gdi32 shell32 version user32 kernel32 gcc)
  # The C library functions must not turn their own loops back into library calls.
  set(EXITPOLL_LIBC_SUBSET_FLAGS -ffreestanding -fno-tree-loop-distribute-patterns)
endif()
