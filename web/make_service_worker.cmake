# Writes the web edition's service worker, once every other file of the edition is made:
# cmake -DEDITION= -DVERSION= -DTEMPLATE= -DFILES="index.html;..." -P make_service_worker.cmake.
# The digest of those files names its cache, so that any build that differs is a new release to
# a browser that kept an older one.
set(sums "")
foreach(file IN LISTS FILES)
  file(SHA256 ${EDITION}/${file} sum)
  string(APPEND sums "${sum}  ${file}\n")
endforeach()
string(SHA256 digest "${sums}")
string(SUBSTRING ${digest} 0 16 EDITION_DIGEST)
# The folder itself is the address a visit starts from.
list(JOIN FILES "', '" quoted)
set(EDITION_FILES "'./', '${quoted}'")
configure_file(${TEMPLATE} ${EDITION}/service-worker.js @ONLY)
