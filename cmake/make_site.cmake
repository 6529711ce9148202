# Writes the site: cmake -DSOURCE_DIR= -DVERSION= -DSITE= -DSUMS= -DFILES="setup;zip;deb"
# -DPUBLISHER_VALUES= -DWEB_EDITION= [-DSIGNER_VALUES=] -P make_site.cmake. SITE then holds the
# home page index.html; the game's page morvala.htm, with the size and SHA-256 sum of each
# download, and who signed them in a signed build (signature_words.cmake); the downloads and
# SHA256SUMS themselves; the screenshot where the AppStream file names it; the game's icon as
# favicon.ico; the style sheet; and the web edition, the folder WEB_EDITION, in play/. Every
# address on the pages is relative: the site works wherever it is served, and from the disk. The
# pages hold nothing of the build's time or place.
include(${CMAKE_CURRENT_LIST_DIR}/release_date.cmake)
include(${PUBLISHER_VALUES})
set(pages ${SOURCE_DIR}/docs/site)

file(REMOVE_RECURSE ${SITE})
file(MAKE_DIRECTORY ${SITE}/smorvala)
foreach(file IN LISTS FILES ITEMS ${SUMS})
  get_filename_component(name ${file} NAME)
  file(COPY_FILE ${file} ${SITE}/${name})
endforeach()
file(COPY_FILE ${SOURCE_DIR}/docs/screenshot.png ${SITE}/smorvala/screenshot.png)
file(COPY_FILE ${SOURCE_DIR}/res/smorvala.ico ${SITE}/favicon.ico)
file(COPY_FILE ${pages}/style.css ${SITE}/style.css)
file(COPY ${WEB_EDITION}/ DESTINATION ${SITE}/play)

# The screenshot's size, from its PNG header: the page keeps its room while the picture loads.
file(READ ${SOURCE_DIR}/docs/screenshot.png size_fields OFFSET 16 LIMIT 8 HEX)
string(SUBSTRING ${size_fields} 0 8 width)
string(SUBSTRING ${size_fields} 8 8 height)
math(EXPR SCREENSHOT_WIDTH "0x${width}")
math(EXPR SCREENSHOT_HEIGHT "0x${height}")

set(DOWNLOAD_ROWS "")
foreach(file IN LISTS FILES)
  get_filename_component(name ${file} NAME)
  if(name MATCHES "-setup\\.exe$")
    set(what "安装版（推荐）：Windows 安装程序，带开始菜单快捷方式，可在“应用和功能”中卸载")
  elseif(name MATCHES "\\.zip$")
    set(what "绿色版：免安装，解压后双击 SMorvala.exe")
  else()
    set(what "Debian/Ubuntu 软件包：在 Wine 中运行，自动安装所需的一切")
  endif()
  file(SIZE ${file} bytes)
  math(EXPR kilobytes "(${bytes} + 512) / 1024")
  file(SHA256 ${file} sum)
  string(APPEND DOWNLOAD_ROWS "<tr><td><a href=\"${name}\">${name}</a><br>${what}</td>"
         "<td>${kilobytes} KB（${bytes} 字节）</td><td><code>${sum}</code></td></tr>\n")
endforeach()

# A signed build's page says who signed the programs, and what Windows shows of it.
set(SIGNATURE "")
set(SIGNATURE_EN "")
if(SIGNER_VALUES)
  include(${CMAKE_CURRENT_LIST_DIR}/signature_words.cmake)
endif()
configure_file(${pages}/morvala.htm.in ${SITE}/morvala.htm @ONLY)
configure_file(${pages}/index.html.in ${SITE}/index.html @ONLY)
