# Defines the imported target qorva_mat::hdf5 from the results of
# find_package(HDF5 COMPONENTS CXX): the include directory and the two
# libraries libhdf5_cpp and libhdf5, nothing else. FindHDF5's own targets and
# variables also carry the compiler wrapper's definitions (HDF_NO_NAMESPACE,
# OLD_HEADER_FILENAME, ...), which hide the H5 namespace the headers use, and
# the libraries HDF5 itself depends on, which its shared libraries bring along.
# Used by the build and by the installed package configuration. When the two
# libraries are not found, no target is made and QORVA_HDF5_ERROR says why.
unset(QORVA_HDF5_ERROR)
if(NOT TARGET qorva_mat::hdf5)
  set(_qorva_hdf5_libraries ${HDF5_CXX_LIBRARIES})
  list(FILTER _qorva_hdf5_libraries INCLUDE REGEX "/libhdf5(_serial)?(_cpp)?\\.(so|dylib|a)$")
  set(_qorva_hdf5_include_dirs ${HDF5_CXX_INCLUDE_DIRS})
  if(NOT _qorva_hdf5_include_dirs)
    set(_qorva_hdf5_include_dirs ${HDF5_INCLUDE_DIRS})
  endif()
  list(LENGTH _qorva_hdf5_libraries _qorva_hdf5_count)
  if(_qorva_hdf5_count EQUAL 2)
    add_library(qorva_mat::hdf5 INTERFACE IMPORTED)
    set_target_properties(qorva_mat::hdf5 PROPERTIES
      INTERFACE_INCLUDE_DIRECTORIES "${_qorva_hdf5_include_dirs}"
      INTERFACE_LINK_LIBRARIES "${_qorva_hdf5_libraries}")
  else()
    string(REPLACE ";" " " _qorva_hdf5_found "${HDF5_CXX_LIBRARIES}")
    set(QORVA_HDF5_ERROR "libhdf5_cpp and libhdf5 are not among the HDF5 libraries found: ${_qorva_hdf5_found}")
    unset(_qorva_hdf5_found)
  endif()
  unset(_qorva_hdf5_libraries)
  unset(_qorva_hdf5_include_dirs)
  unset(_qorva_hdf5_count)
endif()
