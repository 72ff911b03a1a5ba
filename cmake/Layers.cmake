# The product's layers: one static library per folder, linking only the folders below it.
#
#   app -> http -> net -> rt
#   app -> gui  -> rt
#
# Every library's sources see the headers of their own folder and the folders below it
# only: its include root, made in the build tree, holds a link to each of those folders
# and nothing else. An include of a higher or a sibling folder (gui/ from net/ or http/)
# is then not found, and a call into one has nothing to link against.

# exitpoll_layer(FOLDER [BELOW folder...]): the library exitpoll_FOLDER; the folders BELOW
# must have been declared before it. The folder's CMakeLists.txt adds its sources.
function(exitpoll_layer folder)
  cmake_parse_arguments(L "" "" "BELOW" ${ARGN})
  set(root ${CMAKE_BINARY_DIR}/layers/${folder})
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root})
  foreach(seen ${folder} ${L_BELOW})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${seen} ${root}/${seen} SYMBOLIC)
  endforeach()

  add_library(exitpoll_${folder} STATIC)
  target_include_directories(exitpoll_${folder} PUBLIC ${root})
  target_compile_options(exitpoll_${folder} PRIVATE ${EXITPOLL_PRODUCT_FLAGS})
  foreach(lower ${L_BELOW})
    target_link_libraries(exitpoll_${folder} PUBLIC exitpoll_${lower})
  endforeach()
endfunction()
