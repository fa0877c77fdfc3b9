# qrt_add_subfolders(): adds every sub-folder of the current folder that has
# a CMakeLists.txt, in name order, so a new group needs no edit here.
function(qrt_add_subfolders)
  file(GLOB children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  list(SORT children)
  foreach(child ${children})
    get_filename_component(dir ${child} DIRECTORY)
    add_subdirectory(${dir})
  endforeach()
endfunction()

# qrt_library(NAME DIR [DEPS ...]): a static library from every .cpp in DIR
# (not recursing), so that adding a source file needs no build edit.
function(qrt_library name dir)
  cmake_parse_arguments(Q "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT srcs)
    set(srcs ${CMAKE_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  if(Q_DEPS)
    target_link_libraries(${name} PUBLIC ${Q_DEPS})
  endif()
endfunction()
