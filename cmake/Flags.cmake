# Compiler flags of both builds. Warnings are errors everywhere.
add_compile_options(-Wall -Wextra -Werror)

if(EXITPOLL_WINDOWS)
  # The product is meant to be tiny: no exceptions, RTTI or thread-safe statics, every
  # function in its own section so the linker can drop what nothing calls, size before speed
  # (-Oz), no frame pointer, and the stack kept at the 4-byte alignment that Win32 itself
  # guarantees instead of padding every call to 16 (the product uses no SSE).
  set(EXITPOLL_PRODUCT_FLAGS -fno-exceptions -fno-rtti -fno-threadsafe-statics
      -ffunction-sections -fdata-sections -fno-asynchronous-unwind-tables
      -Oz -fomit-frame-pointer -mpreferred-stack-boundary=2)
  add_link_options(-static -static-libgcc -static-libstdc++)
  set(EXITPOLL_PRODUCT_LINK_FLAGS -Wl,--gc-sections -s -mwindows)
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
  set(EXITPOLL_NO_CRT_LIBS ${EXITPOLL_DELAY_LOAD_LINK_FLAGS}
      wsock32 gdi32 shell32 version user32 kernel32 gcc)
  # The C library functions must not turn their own loops back into library calls.
  set(EXITPOLL_LIBC_SUBSET_FLAGS -ffreestanding -fno-tree-loop-distribute-patterns)
endif()
