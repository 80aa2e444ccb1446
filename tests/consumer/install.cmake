# Installs the built tree into a scratch prefix, checks that nothing in it names an absolute
# path or an internal header, then moves the prefix elsewhere; the other package tests use
# only the moved copy.
file(REMOVE_RECURSE ${WORK_DIR})
set(staging ${WORK_DIR}/staging)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BINARY_DIR} --prefix ${staging}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed: ${rc}")
endif()

foreach(expected include/qorva_mat/qorva_mat.hpp include/qorva_mat/version.hpp
                 include/qorva_gil/interpolator.hpp ${LIBDIR}/pkgconfig/qorva_mat.pc
                 ${LIBDIR}/cmake/qorva_mat/qorva_matHdf5.cmake
                 share/qorva_mat/examples/ud_carbon_epoxy.xml
                 share/qorva_mat/examples/build_material.cpp)
  if(NOT EXISTS ${staging}/${expected})
    message(FATAL_ERROR "not installed: ${expected}")
  endif()
endforeach()
if(MPI_COMPONENT)
  foreach(expected include/qorva_mat/mpi/load_bcast.hpp ${LIBDIR}/cmake/qorva_mat/qorva_matMpiTargets.cmake
                   share/qorva_mat/examples/mpi/bcast_materials.cpp)
    if(NOT EXISTS ${staging}/${expected})
      message(FATAL_ERROR "not installed: ${expected}")
    endif()
  endforeach()
endif()
file(GLOB_RECURSE internal RELATIVE ${staging} ${staging}/include/*/detail/*)
if(internal)
  message(FATAL_ERROR "internal headers installed: ${internal}")
endif()

# The exported targets may name installed files only through ${_IMPORT_PREFIX}.
file(GLOB target_files ${staging}/${LIBDIR}/cmake/qorva_mat/qorva_matTargets*.cmake)
foreach(target_file ${target_files})
  file(STRINGS ${target_file} absolute REGEX "INTERFACE_[A-Z_]+ \"(.*;)?/|IMPORTED_LOCATION[A-Z_]* \"/")
  if(absolute)
    message(FATAL_ERROR "absolute path in ${target_file}:\n${absolute}")
  endif()
endforeach()

file(RENAME ${staging} ${WORK_DIR}/moved)
