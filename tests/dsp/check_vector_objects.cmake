# The objects built with -msse2 / -mavx2 must define no weak or unique
# symbols: such a symbol is code the linker may keep for the whole library,
# which would then run AVX instructions on any processor.
#   cmake -DOBJECTS="a.o|b.o|..." -P check_vector_objects.cmake
string(REPLACE "|" ";" objects "${OBJECTS}")
set(checked 0)
foreach(object IN LISTS objects)
  if(NOT object MATCHES "(kernels|voice_render|resampler|hrtf_render|placed_mix)_(sse2|avx2)\\.cpp\\.o$")
    continue()
  endif()
  execute_process(COMMAND nm -C "${object}" OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "nm failed on ${object}")
  endif()
  string(REGEX MATCHALL "[^\n]* [WVu] [^\n]*" shared "${symbols}")
  # The exception personality reference is data the toolchain emits in every
  # object of some build types; it holds no code of ours.
  list(FILTER shared EXCLUDE REGEX " DW\\.ref\\.")
  if(shared)
    message(FATAL_ERROR "${object} defines shared symbols:\n${shared}")
  endif()
  math(EXPR checked "${checked} + 1")
endforeach()
message(STATUS "${checked} vector objects checked")
