# Run by CPack once the zip is made, while it still lies in CPack's staging tree beside the files
# it holds: SHA256SUMS in the package directory, in the format of sha256sum, with the sums of the
# zip and of the program in it, so that `sha256sum -c SHA256SUMS` checks both.
set(sums "")
file(GLOB programs ${CPACK_TEMPORARY_DIRECTORY}/*.exe)
foreach(file IN LISTS CPACK_PACKAGE_FILES programs)
  file(SHA256 ${file} sum)
  get_filename_component(name ${file} NAME)
  string(APPEND sums "${sum}  ${name}\n")
endforeach()
file(WRITE ${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS "${sums}")
