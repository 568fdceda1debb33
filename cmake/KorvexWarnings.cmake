# korvex_target_defaults(target): warnings and language level shared by every target of ours.
function(korvex_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  target_compile_features(${target} PUBLIC cxx_std_20)
endfunction()

# Adds each immediate sub-folder of the current source folder that has a CMakeLists.txt,
# in name order, so that a new component needs no edit of its parent.
function(korvex_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# korvex_include_root(target scope): the headers of the current source folder are included with the
# folder's name, as in "net/http_transfer.h". The include root that gives them is a folder of the build
# tree holding one link, <folder name> -> this folder, and nothing else: a target reaches the headers
# of the targets it links and no others, as if each library had an include root of its own.
function(korvex_include_root target scope)
  get_filename_component(name ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set(root ${CMAKE_BINARY_DIR}/include-roots/${target})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${name} SYMBOLIC)
  target_include_directories(${target} ${scope} ${root})
endfunction()
