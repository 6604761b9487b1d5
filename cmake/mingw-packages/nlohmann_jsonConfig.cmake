# The package file for nlohmann-json's headers in the cross build (see
# ../mingw-packages.cmake): the target exists already.
if(TARGET nlohmann_json::nlohmann_json)
  set(nlohmann_json_FOUND TRUE)
else()
  set(nlohmann_json_FOUND FALSE)
  set(nlohmann_json_NOT_FOUND_MESSAGE "nlohmann-json's headers were not found at QUARN_NLOHMANN_JSON_HEADERS")
endif()
