# vk_embed_text(<target> <symbol> <file>): compiles the text of <file> into
# <target> as `extern const char <symbol>[]` (namespace embedded). The
# build is reconfigured when the file changes.
function(vk_embed_text target symbol file)
  file(READ "${file}" content)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
  set(out "${CMAKE_CURRENT_BINARY_DIR}/embedded_${symbol}.cpp")
  file(CONFIGURE OUTPUT "${out}" CONTENT
"// Generated from ${file}; do not edit.
namespace embedded {
extern const char ${symbol}[];
const char ${symbol}[] = R\"VKEMBED(@content@)VKEMBED\";
}  // namespace embedded
" @ONLY)
  target_sources(${target} PRIVATE "${out}")
endfunction()
