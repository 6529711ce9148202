# Writes the web edition's service worker, once every other file of the edition is made:
# cmake -DEDITION= -DVERSION= -DTEMPLATE= -DFILES="index.html;..." -P make_service_worker.cmake.
# The worker keeps a file only if it is this build's, by its SHA-256; the digest of them all and of
# the worker's own source names its cache, so that any build that differs is a new release to a
# browser that kept an older one, and a new worker never writes into the cache that the one before
# it plays from.
file(SHA256 ${TEMPLATE} template_sum)
set(sums "${template_sum}  service-worker.js\n")
set(EDITION_FILES "")
foreach(file IN LISTS FILES)
  file(SHA256 ${EDITION}/${file} sum)
  string(APPEND sums "${sum}  ${file}\n")
  string(APPEND EDITION_FILES "  '${file}': '${sum}',\n")
endforeach()
string(SHA256 digest "${sums}")
string(SUBSTRING ${digest} 0 16 EDITION_DIGEST)
configure_file(${TEMPLATE} ${EDITION}/service-worker.js @ONLY)

# The folder holds the edition and nothing else, not even what an older build made there.
file(GLOB made RELATIVE ${EDITION} ${EDITION}/*)
list(REMOVE_ITEM made ${FILES} service-worker.js)
foreach(file IN LISTS made)
  file(REMOVE_RECURSE ${EDITION}/${file})
endforeach()
