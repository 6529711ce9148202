# Writes SHA256SUMS in the format of sha256sum, so that `sha256sum -c SHA256SUMS` checks every
# file named: cmake -DSUMS=PATH -DFILES="a;b" -P write_sha256sums.cmake, each file beside SUMS.
set(sums "")
foreach(file IN LISTS FILES)
  file(SHA256 ${file} sum)
  get_filename_component(name ${file} NAME)
  string(APPEND sums "${sum}  ${name}\n")
endforeach()
file(WRITE ${SUMS} "${sums}")
