# Writes the web edition's page with its style and its script, the module within it, in place of
# the links to them: cmake -DPAGE= -DSTYLE= -DSCRIPT= -DOUTPUT= -P make_page.cmake.

# Puts the file's text in place of the link, in an element of that name.
function(inline link element file)
  file(READ ${file} content)
  # Either of these, in any case, would end the element early, or hide the rest of the page.
  string(TOLOWER "${content}" lower)
  string(FIND "${lower}" "</${element}" end)
  string(FIND "${lower}" "<!--" comment)
  string(FIND "${page}" "${link}" at)
  if(NOT end EQUAL -1 OR NOT comment EQUAL -1)
    message(FATAL_ERROR "${file} holds </${element} or <!--, which would break the page")
  elseif(at EQUAL -1)
    message(FATAL_ERROR "${PAGE} has no ${link}")
  endif()
  string(REPLACE "${link}" "<${element}>\n${content}</${element}>" page "${page}")
  set(page "${page}" PARENT_SCOPE)
endfunction()

file(READ ${PAGE} page)
inline("<link rel=\"stylesheet\" href=\"style.css\">" style ${STYLE})
inline("<script src=\"smorvala.js\"></script>" script ${SCRIPT})
file(WRITE ${OUTPUT} "${page}")
