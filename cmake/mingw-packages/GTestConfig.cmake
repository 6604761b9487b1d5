# The package file for the googletest that the cross build compiles itself
# (see ../mingw-packages.cmake): its targets exist already.
if(TARGET GTest::gtest AND TARGET GTest::gtest_main)
  set(GTest_FOUND TRUE)
else()
  set(GTest_FOUND FALSE)
  set(GTest_NOT_FOUND_MESSAGE "the cross build's googletest targets are missing")
endif()
