# Writes the web edition's page with its style and its script, the module within it, in place of
# the links to them: cmake -DPAGE= -DSTYLE= -DSCRIPT= -DOUTPUT= -P make_page.cmake.

# Puts the file's text in place of the link, in an element of that name.
function(inline link element file)
  file(READ ${file} content)
  # Any of these, in any case, would end an element early, or hide the rest of the page; the
  # script's link in the style would be taken for the page's.
  string(TOLOWER "${content}" lower)
  foreach(end IN ITEMS "</style" "</script" "<!--")
    string(FIND "${lower}" "${end}" at)
    if(NOT at EQUAL -1)
      message(FATAL_ERROR "${file} holds ${end}, which would break the page")
    endif()
  endforeach()
  string(FIND "${page}" "${link}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${PAGE} has no ${link}")
  endif()
  string(REPLACE "${link}" "<${element}>\n${content}</${element}>" page "${page}")
  set(page "${page}" PARENT_SCOPE)
endfunction()

file(READ ${PAGE} page)
inline("<link rel=\"stylesheet\" href=\"style.css\">" style ${STYLE})
inline("<script src=\"smorvala.js\"></script>" script ${SCRIPT})
file(WRITE ${OUTPUT} "${page}")
