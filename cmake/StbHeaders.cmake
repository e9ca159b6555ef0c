# Debian's stb headers (libstb-dev) are used from a copy in the build folder, for two
# reasons. A cross build must not search /usr/include as a whole. And stb_image 2.27's
# JPEG bit reader, given corrupt coded data, takes more bits than it holds: its bit count
# goes negative and the next refill shifts by 32 or more, which is undefined (the fuzz
# targets found it). The copy stops there as later stb_image versions do: a block that
# runs out of bits reads zeros, and a combined Huffman code longer than the bits left is a
# corrupt file. Other versions are copied as they are.

set(YULO_STB_SOURCE /usr/include/stb)
set(YULO_STB_INCLUDE ${CMAKE_BINARY_DIR}/stb-include)

# Replaces `from` with `to` in the variable named by `var`, which must hold it `count` times.
function(yulo_stb_patch var count from to)
  string(LENGTH "${${var}}" before)
  string(REPLACE "${from}" "" stripped "${${var}}")
  string(LENGTH "${stripped}" after)
  string(LENGTH "${from}" one)
  math(EXPR found "(${before} - ${after}) / ${one}")
  if(NOT found EQUAL count)
    message(FATAL_ERROR "stb_image.h: expected ${count} of \"${from}\", found ${found}")
  endif()
  string(REPLACE "${from}" "${to}" patched "${${var}}")
  set(${var} "${patched}" PARENT_SCOPE)
endfunction()

# Writes text to path unless it already holds it, so that builds stay up to date.
function(yulo_stb_write path text)
  if(EXISTS ${path})
    file(READ ${path} old)
    if(old STREQUAL text)
      return()
    endif()
  endif()
  file(WRITE ${path} "${text}")
endfunction()

file(MAKE_DIRECTORY ${YULO_STB_INCLUDE}/stb)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${YULO_STB_SOURCE}/stb_image.h ${YULO_STB_SOURCE}/stb_vorbis.h)
configure_file(${YULO_STB_SOURCE}/stb_vorbis.h ${YULO_STB_INCLUDE}/stb/stb_vorbis.h COPYONLY)
file(READ ${YULO_STB_SOURCE}/stb_image.h stb_image_text)
if(stb_image_text MATCHES "stb_image - v2\\.27 ")
  set(refill_n "   if (j->code_bits < n) stbi__grow_buffer_unsafe(j);\n")
  yulo_stb_patch(stb_image_text 2 "${refill_n}"
                 "${refill_n}   if (j->code_bits < n) return 0; // out of bits: zeros\n")
  set(refill_1 "   if (j->code_bits < 1) stbi__grow_buffer_unsafe(j);\n")
  yulo_stb_patch(stb_image_text 1 "${refill_1}"
                 "${refill_1}   if (j->code_bits < 1) return 0; // out of bits: zero\n")
  set(combined "s = r & 15; // combined length\n")
  yulo_stb_patch(stb_image_text 2 "${combined}"
                 "${combined} if (s > j->code_bits) return stbi__err(\"bad huffman code\", \"Corrupt JPEG\");\n")
endif()
yulo_stb_write(${YULO_STB_INCLUDE}/stb/stb_image.h "${stb_image_text}")
