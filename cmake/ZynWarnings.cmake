# One interface target carries the warning flags; every zyn target links it.
add_library(zyn_warnings INTERFACE)
target_compile_options(zyn_warnings INTERFACE
  $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wshadow -Wnon-virtual-dtor>
  $<$<COMPILE_LANGUAGE:C>:-Wall -Wextra>)
if(ZYN_WERROR)
  target_compile_options(zyn_warnings INTERFACE -Werror)
endif()
