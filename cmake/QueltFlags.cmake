# Compiler flags common to every configuration.
set(QUELT_COMMON_FLAGS -msse2 -mfpmath=sse)
set(QUELT_WARNINGS -Wall -Wextra)
if(QUELT_WERROR)
  list(APPEND QUELT_WARNINGS -Werror)
endif()

if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # Sources are UTF-8; quoted Japanese texts become their Shift-JIS bytes.
  # Only the project's own targets take it (see quelt_target_defaults): libstdc++'s <chrono>
  # holds a character CP932 lacks, so no project source may include <chrono>.
  set(QUELT_CHARSET_FLAGS -finput-charset=UTF-8 -fexec-charset=CP932)
  set(QUELT_HAS_SJIS_LITERALS 1)
else()
  # clang only takes UTF-8 execution character sets: texts stay UTF-8 here.
  set(QUELT_HAS_SJIS_LITERALS 0)
endif()

if(QUELT_NATIVE)
  option(QUELT_SANITIZE "AddressSanitizer and UndefinedBehaviorSanitizer in the native build" ON)
  # The host build is 64-bit: this machine's kernel runs no 32-bit ELF programs. Code that
  # keeps pointers in integers uses pointer-sized types; 32-bit record layouts are asserted
  # only where sizeof(void*) == 4 (the Windows product build).
  set(QUELT_LINK_FLAGS "")
  if(QUELT_FUZZ)
    set(QUELT_SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  else()
    set(QUELT_SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  endif()
  if(QUELT_FUZZ)
    # Coverage instrumentation for every library the fuzz targets link.
    list(APPEND QUELT_COMMON_FLAGS -fsanitize=fuzzer-no-link)
  endif()
  if(QUELT_SANITIZE)
    list(APPEND QUELT_COMMON_FLAGS ${QUELT_SANITIZE_FLAGS})
    list(APPEND QUELT_LINK_FLAGS ${QUELT_SANITIZE_FLAGS})
  endif()
else()
  # A static runtime: the executables import only system DLLs.
  set(QUELT_LINK_FLAGS -static -static-libgcc -static-libstdc++)
endif()

add_compile_options(${QUELT_COMMON_FLAGS})
add_link_options(${QUELT_LINK_FLAGS})
add_compile_definitions(QUELT_HAS_SJIS_LITERALS=${QUELT_HAS_SJIS_LITERALS})
if(NOT QUELT_NATIVE)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
endif()
