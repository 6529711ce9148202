# Writes the web edition's page with its style, its script and the module, in place of the links
# to them, and the Content-Security-Policy that allows them by their hashes and nothing else:
# cmake -DPAGE= -DSTYLE= -DSCRIPT= -DMODULE= -DOUTPUT= -P make_page.cmake.

# The policy allows no inline attribute of style or script, no javascript: address, and no script
# or style but the page's own: a page that has one would not play under it. Names are matched in
# any case, with the spaces (a form feed too) and the quoted values that a tag may hold, and in an
# address, the tabs and line ends that a browser drops from it. Character references and unquoted
# values that hold a quote are not read: a page's policy violations are the play test's to find.
file(READ ${PAGE} page)
string(TOLOWER "${page}" lower)
string(REPLACE "<script src=\"smorvala.js\"></script>" "" lower "${lower}")
string(ASCII 12 form_feed)
set(space "[ \t\r\n${form_feed}]")
string(REGEX REPLACE "[\t\r\n]" "" address_text "${lower}")
string(REGEX MATCH "javascript:" inline_markup "${address_text}")
if(NOT inline_markup)
  string(REGEX MATCH "<[a-z]([^>\"']|\"[^\"]*\"|'[^']*')*(${space}|/)(style|on[a-z]+)${space}*=|<(script|style)(${space}|[/>])"
         inline_markup "${lower}")
endif()
if(inline_markup)
  message(FATAL_ERROR "${PAGE} holds ${inline_markup}: give it a class and a rule of style.css, or a listener in page.js")
endif()

# Base64, as a policy names a hash, of bytes given as hex digits.
function(base64_of_hex hex out)
  set(alphabet ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/)
  string(LENGTH "${hex}" digits)
  set(text "")
  # Three bytes, six digits, make four characters; a last group of one or two bytes, two or three
  # and then the padding.
  foreach(at RANGE 0 ${digits} 6)
    string(SUBSTRING "${hex}" ${at} 6 group)
    string(LENGTH "${group}" length)
    if(length EQUAL 0)
      break()
    endif()
    math(EXPR value "0x${group}000000")
    math(EXPR value "${value} >> (${length} * 4)")
    math(EXPR characters "${length} / 2 + 1")
    foreach(shift 18 12 6 0)
      if(characters GREATER 0)
        math(EXPR index "(${value} >> ${shift}) & 63")
        string(SUBSTRING ${alphabet} ${index} 1 character)
        string(APPEND text ${character})
      else()
        string(APPEND text "=")
      endif()
      math(EXPR characters "${characters} - 1")
    endforeach()
  endforeach()
  set(${out} ${text} PARENT_SCOPE)
endfunction()

# Puts the content in place of the link, in an element of that name, and gives the source by which
# the policy allows it.
function(inline link element content source)
  # Any of these, in any case, would end an element early, or hide the rest of the page; the
  # script's link in the style would be taken for the page's.
  string(TOLOWER "${content}" lower)
  foreach(end IN ITEMS "</style" "</script" "<!--")
    string(FIND "${lower}" "${end}" at)
    if(NOT at EQUAL -1)
      message(FATAL_ERROR "the ${element} holds ${end}, which would break the page")
    endif()
  endforeach()
  string(FIND "${page}" "${link}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${PAGE} has no ${link}")
  endif()
  string(REPLACE "${link}" "<${element}>\n${content}</${element}>" page "${page}")
  string(SHA256 digest "\n${content}")
  base64_of_hex(${digest} hash)
  set(page "${page}" PARENT_SCOPE)
  set(${source} "'sha256-${hash}'" PARENT_SCOPE)
endfunction()

file(READ ${STYLE} style)
file(READ ${SCRIPT} script)
inline("<link rel=\"stylesheet\" href=\"style.css\">" style "${style}" style_source)
# The module, as text that the script decodes (web/module.js), in a data block before it: a data
# block runs nothing, so the policy needs no hash of it.
execute_process(COMMAND base64 -w 0 ${MODULE} OUTPUT_VARIABLE module COMMAND_ERROR_IS_FATAL ANY)
set(link "<script src=\"smorvala.js\"></script>")
string(REPLACE "${link}" "<script type=\"application/octet-stream\" id=\"module\">${module}</script>\n${link}"
       page "${page}")
inline("${link}" script "${script}" script_source)

# Only what the edition needs: its script and style, WebAssembly, the sounds (fetched), the icons,
# the manifest and the service worker, all from its own folder's origin. frame-ancestors, which a
# <meta> cannot give, is the header's alone.
set(policy "default-src 'none'; script-src ${script_source} 'wasm-unsafe-eval'; style-src ${style_source}; \
img-src 'self'; connect-src 'self'; manifest-src 'self'; worker-src 'self'; base-uri 'none'; form-action 'none'")
set(charset "<meta charset=\"utf-8\">")
string(FIND "${page}" "${charset}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${PAGE} has no ${charset}")
endif()
string(REPLACE "${charset}" "${charset}\n<meta http-equiv=\"Content-Security-Policy\" content=\"${policy}\">"
       page "${page}")
file(WRITE ${OUTPUT} "${page}")
