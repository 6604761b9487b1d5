# The package file for CLI11's headers in the cross build (see
# ../mingw-packages.cmake): the target exists already.
if(TARGET CLI11::CLI11)
  set(CLI11_FOUND TRUE)
else()
  set(CLI11_FOUND FALSE)
  set(CLI11_NOT_FOUND_MESSAGE "CLI11's headers were not found at QUARN_CLI11_HEADERS")
endif()
