# ZYN_SANITIZE=address,undefined or thread instruments every target.
if(ZYN_SANITIZE)
  add_compile_options(-fsanitize=${ZYN_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${ZYN_SANITIZE})
endif()
