# vk_warnings(target): the project's warning set for its own code.
function(vk_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
    -Wcast-align -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough)
  if(VK_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
