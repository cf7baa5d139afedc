# vk_warnings(target): the project's warning set for its own code.
function(vk_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
    -Wcast-align -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough
    # Designated initializers leave fields to their defaults on purpose.
    -Wno-missing-field-initializers)
  if(VK_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
