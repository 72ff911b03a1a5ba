# Compiler flags of both builds. Warnings are errors everywhere.
add_compile_options(-Wall -Wextra -Werror)

if(EXITPOLL_WINDOWS)
  # The product is meant to be tiny: no exceptions, RTTI or thread-safe statics, every
  # function in its own section so the linker can drop what nothing calls.
  set(EXITPOLL_PRODUCT_FLAGS -fno-exceptions -fno-rtti -fno-threadsafe-statics
      -ffunction-sections -fdata-sections -fno-asynchronous-unwind-tables)
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
