# Debian's stb headers (libstb-dev) are used from a copy in the build folder, for two
# reasons. A cross build must not search /usr/include as a whole. And stb_image 2.27's
# JPEG reader does undefined arithmetic on corrupt coded data (the fuzz targets found it),
# which the copy checks for as later stb_image versions do:
# - its bit reader takes more bits than it holds, the count goes negative and the next
#   refill shifts by 32 or more: a read that finds too few bits now gives zeros, and a
#   combined Huffman code longer than the bits left is a corrupt file;
# - its DC prediction adds and multiplies in int without bound: a sum past int or a
#   coefficient past a short is a corrupt file (no sound picture has one).
# Other versions are copied as they are.

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

# The DC prediction at `indent`, scaled by `scale`: checked before it is summed and scaled.
function(yulo_stb_check_dc var indent scale)
  set(text "${${var}}")
  set(sum "${indent}dc = j->img_comp[b].dc_pred + diff;\n${indent}j->img_comp[b].dc_pred = dc;\n")
  set(store "${indent}data[0] = (short) (dc * ${scale});\n")
  yulo_stb_patch(text 1 "${sum}${store}" "${indent}if (!stbi__dc_sum_valid(j->img_comp[b].dc_pred, diff)) return stbi__err(\"bad delta\", \"Corrupt JPEG\");\n${sum}${indent}if (!stbi__dc_product_valid(dc, ${scale})) return stbi__err(\"can't merge dc and ac\", \"Corrupt JPEG\");\n${store}")
  set(${var} "${text}" PARENT_SCOPE)
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
  set(decode "// decode a jpeg huffman value from the bitstream\n")
  set(helpers [=[
// whether a DC prediction plus its difference stays an int
static int stbi__dc_sum_valid(int a, int b)
{
   long long s = (long long) a + b;
   return s >= INT_MIN && s <= INT_MAX;
}

// whether a DC coefficient times its scale stays a short
static int stbi__dc_product_valid(int a, int b)
{
   long long p = (long long) a * b;
   return p >= -32768 && p <= 32767;
}

]=])
  yulo_stb_patch(stb_image_text 1 "${decode}" "${helpers}${decode}")
  yulo_stb_check_dc(stb_image_text "   " "dequant[0]")           # baseline
  yulo_stb_check_dc(stb_image_text "      " "(1 << j->succ_low)")  # progressive
endif()
yulo_stb_write(${YULO_STB_INCLUDE}/stb/stb_image.h "${stb_image_text}")
