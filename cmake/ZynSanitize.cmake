# ZYN_SANITIZE=address,undefined or thread instruments every target.
if(ZYN_SANITIZE)
  add_compile_options(-fsanitize=${ZYN_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${ZYN_SANITIZE})
endif()

# ZYN_FUZZ (clang only) makes the whole tree a fuzzing build: every target is
# compiled with coverage feedback, AddressSanitizer and UBSan, so a fuzz
# target that links the engine or loads a plug-in sees their branches too.
# The fuzz targets themselves add -fsanitize=fuzzer (tests/fuzz).
option(ZYN_FUZZ "Build the libFuzzer targets (clang only)" OFF)
# Shared objects are linked with every symbol resolved, except in the fuzzing
# build: clang puts the sanitizer runtime into the executable only, so an
# instrumented library refers to it without defining it.
set(ZYN_LINK_NO_UNDEFINED -Wl,--no-undefined)
if(ZYN_FUZZ AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined -g)
  add_link_options(-fsanitize=address,undefined)
  set(ZYN_LINK_NO_UNDEFINED "")
endif()
