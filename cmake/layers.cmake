# One-way layers, enforced by the compiler for includes and by the
# configuration for links (quarn_check_links, below).
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

# quarn_sealed_layer(TARGET FOLDER [SOURCE_ROOT]) is quarn_layer for a folder
# whose subfolders are its own: the platform's posix/ and win32/ hold headers
# that only its implementation may see. Whoever links TARGET sees the
# folder's top-level headers only, each through a link of its own in
# layers/FOLDER/FOLDER; TARGET's own sources see the whole folder through
# layers/FOLDER-internals/FOLDER. A test that must reach the private headers
# links TARGET_internals, which only targets under tests/ may link (see
# quarn_check_links).
function(quarn_sealed_layer target folder)
  set(root ${CMAKE_SOURCE_DIR}/src)
  if(ARGC GREATER 2)
    set(root ${ARGV2})
  endif()

  set(public ${CMAKE_BINARY_DIR}/layers/${folder}/${folder})
  # A build tree from before the folder was sealed holds a link to the whole
  # folder here; file(REMOVE) takes the link away, never what it points to.
  if(IS_SYMLINK ${public})
    file(REMOVE ${public})
  endif()
  file(MAKE_DIRECTORY ${public})
  # CONFIGURE_DEPENDS makes a new header reach the view without a manual
  # reconfigure.
  file(GLOB headers CONFIGURE_DEPENDS ${root}/${folder}/*.h)
  set(names)
  foreach(header IN LISTS headers)
    get_filename_component(name ${header} NAME)
    list(APPEND names ${name})
    if(NOT EXISTS ${public}/${name})
      file(CREATE_LINK ${header} ${public}/${name} SYMBOLIC)
    endif()
  endforeach()
  # A header that was removed or moved into a subfolder must not stay
  # reachable through a stale link.
  file(GLOB links ${public}/*)
  foreach(link IN LISTS links)
    get_filename_component(name ${link} NAME)
    if(IS_SYMLINK ${link} AND NOT name IN_LIST names)
      file(REMOVE ${link})
    endif()
  endforeach()
  target_include_directories(${target} PUBLIC ${CMAKE_BINARY_DIR}/layers/${folder})

  set(internals ${CMAKE_BINARY_DIR}/layers/${folder}-internals)
  if(NOT EXISTS ${internals}/${folder})
    file(MAKE_DIRECTORY ${internals})
    file(CREATE_LINK ${root}/${folder} ${internals}/${folder} SYMBOLIC)
  endif()
  target_include_directories(${target} PRIVATE ${internals})

  add_library(${target}_internals INTERFACE)
  target_include_directories(${target}_internals INTERFACE ${internals})
  target_link_libraries(${target}_internals INTERFACE ${target})
  set_target_properties(${target}_internals PROPERTIES QUARN_TESTS_ONLY ON)
endfunction()

# One-way links, checked when every target is defined.
#
# The include folders above keep a source from naming a header it should not
# see, but a target_link_libraries line is enough to put a higher layer's, or
# a tool's, code into a library's program. quarn_check_links([ROOT]) walks
# every target that the build defines and what it links, directly or through
# other libraries, and stops the configuration at the first break of a rule:
#
# - a target in src/FOLDER links only targets of its own folder and of the
#   folders QUARN_LAYER_USES_FOLDER names (a folder of src/ that is not in
#   QUARN_LAYERS is a break in itself, so a new layer must take its place
#   here first);
# - nothing in src/ links a target defined elsewhere in the tree (tools/,
#   tests/, bench/...): the programs never carry the sample tree or a test's
#   helpers;
# - a target marked QUARN_TESTS_ONLY (the internals of a sealed layer) is
#   linked only from tests/.
#
# Imported targets (Qt, CLI11, GoogleTest) and plain system libraries are the
# toolchain's, not layers, and are neither checked nor walked. ROOT, by
# default the top of the source tree, is where src/ and tools/ lie; the
# check's own test gives a tree of its own.
set(QUARN_LAYERS platform scan remedies ui cli app)
set(QUARN_LAYER_USES_platform "")
set(QUARN_LAYER_USES_scan platform)
set(QUARN_LAYER_USES_remedies platform scan)
set(QUARN_LAYER_USES_ui platform scan remedies)
set(QUARN_LAYER_USES_cli platform scan remedies)
set(QUARN_LAYER_USES_app platform scan remedies ui)

# Every target defined in dir and the folders below it.
function(_quarn_targets_below dir out)
  get_property(found DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _quarn_targets_below(${sub} more)
    list(APPEND found ${more})
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# Where target was defined: "src/FOLDER" inside src/, the top folder
# ("tools", "tests"...) elsewhere in the tree, "." for the top CMakeLists.txt,
# and ".." outside the tree (a dependency built from its own sources).
function(_quarn_place target root out)
  get_target_property(dir ${target} SOURCE_DIR)
  file(RELATIVE_PATH rel ${root} ${dir})
  if(rel MATCHES "^src/([^/]+)")
    set(${out} src/${CMAKE_MATCH_1} PARENT_SCOPE)
  elseif(rel STREQUAL "")
    set(${out} . PARENT_SCOPE)
  elseif(rel MATCHES "^\\.\\./")
    set(${out} .. PARENT_SCOPE)
  else()
    string(REGEX MATCH "^[^/]+" top ${rel})
    set(${out} ${top} PARENT_SCOPE)
  endif()
endfunction()

# The targets that target links directly, aliases resolved, imported ones
# left out.
function(_quarn_links_of target out)
  set(links)
  foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
    get_target_property(items ${target} ${property})
    if(NOT items)
      continue()
    endif()
    foreach(item IN LISTS items)
      # A generator expression names its target last: $<LINK_ONLY:x> (a
      # static library's private link), $<$<CONFIG:Debug>:x>.
      if(item MATCHES "^\\$<.*:([^:<>]+)>+$")
        set(item ${CMAKE_MATCH_1})
      endif()
      # Anything else, such as comctl32 or the "::@(...)" markers that a
      # link made from another folder leaves, is no target.
      if(NOT TARGET "${item}")
        continue()
      endif()
      get_target_property(aliased ${item} ALIASED_TARGET)
      if(aliased)
        set(item ${aliased})
      endif()
      get_target_property(imported ${item} IMPORTED)
      if(NOT imported)
        list(APPEND links ${item})
      endif()
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES links)
  set(${out} ${links} PARENT_SCOPE)
endfunction()

function(quarn_check_links)
  set(root ${CMAKE_SOURCE_DIR})
  if(ARGC GREATER 0)
    set(root ${ARGV0})
  endif()
  _quarn_targets_below(${CMAKE_SOURCE_DIR} targets)
  # A break is told once, by the link that makes it, however many targets
  # above it reach it.
  set(breaks)
  set(told)
  foreach(target IN LISTS targets)
    _quarn_place(${target} ${root} place)
    set(layer)
    if(place MATCHES "^src/(.+)")
      set(layer ${CMAKE_MATCH_1})
      if(NOT layer IN_LIST QUARN_LAYERS)
        list(APPEND breaks "${target} is in ${place}, which is not one of the layers (QUARN_LAYERS)")
        continue()
      endif()
    endif()

    # Breadth first through everything target links, with the chain of
    # links that reached each target for the message.
    _quarn_links_of(${target} queue)
    set(chains)
    foreach(next IN LISTS queue)
      list(APPEND chains "${target} -> ${next}")
    endforeach()
    set(seen)
    list(LENGTH queue waiting)
    while(waiting GREATER 0)
      list(POP_FRONT queue dep)
      list(POP_FRONT chains chain)
      list(LENGTH queue waiting)
      if(dep IN_LIST seen)
        continue()
      endif()
      list(APPEND seen ${dep})
      _quarn_place(${dep} ${root} dep_place)

      set(rule)
      get_target_property(tests_only ${dep} QUARN_TESTS_ONLY)
      if(tests_only AND NOT place STREQUAL "tests")
        set(rule "${dep} is for tests only")
      elseif(layer AND dep_place MATCHES "^src/(.+)")
        set(dep_layer ${CMAKE_MATCH_1})
        if(NOT dep_layer STREQUAL layer AND NOT dep_layer IN_LIST QUARN_LAYER_USES_${layer})
          set(rule "src/${layer} may not link src/${dep_layer}")
        endif()
      elseif(layer AND NOT dep_place STREQUAL "..")
        set(rule "src/ may not link ${dep_place}/")
      endif()
      if(NOT "${rule}" STREQUAL "")
        string(REGEX MATCH "[^ ]+ -> [^ ]+$" made "${chain}")
        if(NOT made IN_LIST told)
          list(APPEND told "${made}")
          list(APPEND breaks "${chain}: ${rule}")
        endif()
        # What dep links in turn comes with the break, not as a break of
        # its own.
        continue()
      endif()

      _quarn_links_of(${dep} more)
      foreach(next IN LISTS more)
        list(APPEND queue ${next})
        list(APPEND chains "${chain} -> ${next}")
      endforeach()
      list(LENGTH queue waiting)
    endwhile()
  endforeach()

  if(NOT "${breaks}" STREQUAL "")
    list(JOIN breaks "\n  " text)
    message(FATAL_ERROR "A link breaks the layers (cmake/layers.cmake):\n  ${text}")
  endif()
endfunction()
