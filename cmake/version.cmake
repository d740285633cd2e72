# The version of project() in the top CMakeLists.txt is the one version of everything: the
# version resources of both executables, the manifest and the packages take it from here.
foreach(_part MINOR PATCH TWEAK)
  set(FOTREL_VERSION_${_part} "${PROJECT_VERSION_${_part}}")
  if(FOTREL_VERSION_${_part} STREQUAL "")
    set(FOTREL_VERSION_${_part} 0)
  endif()
endforeach()
# A manifest's assembly version has four numbers.
set(FOTREL_VERSION_QUAD
    "${PROJECT_VERSION_MAJOR}.${FOTREL_VERSION_MINOR}.${FOTREL_VERSION_PATCH}.${FOTREL_VERSION_TWEAK}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/fotrel_version.h.in ${CMAKE_BINARY_DIR}/generated/fotrel_version.h @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/res/fotrel.manifest.in ${CMAKE_BINARY_DIR}/generated/fotrel.manifest @ONLY)
