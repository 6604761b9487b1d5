# One-way layers, enforced by the compiler.
#
# Sources include each other as "folder/name.h" (platform/fs.h, scan/...).
# Instead of putting all of src/ on every include path, each library gets an
# include folder of its own in the build tree that holds one link: its own
# source folder. A library sees a folder's headers only when it links the
# library that owns that folder, so an include that points up a layer, or
# across to a layer it does not link, fails to compile.
#
#   platform <- scan <- remedies <- ui <- app
#                               ^-- cli
#
# quarn_layer(TARGET FOLDER [SOURCE_ROOT]) gives TARGET the include folder for
# SOURCE_ROOT/FOLDER (SOURCE_ROOT defaults to src). Several targets may share
# one folder (the ui folder holds four libraries).
function(quarn_layer target folder)
  set(root ${CMAKE_SOURCE_DIR}/src)
  if(ARGC GREATER 2)
    set(root ${ARGV2})
  endif()
  set(dir ${CMAKE_BINARY_DIR}/layers/${folder})
  if(NOT EXISTS ${dir}/${folder})
    file(MAKE_DIRECTORY ${dir})
    file(CREATE_LINK ${root}/${folder} ${dir}/${folder} SYMBOLIC)
  endif()
  target_include_directories(${target} PUBLIC ${dir})
endfunction()
