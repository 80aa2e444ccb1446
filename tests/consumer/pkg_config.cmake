# Compiles and links the consumer with the flags pkg-config gives for the moved install, and
# runs it; the program finds the library through the libdir pkg-config reports.
set(ENV{PKG_CONFIG_PATH} ${PREFIX}/${LIBDIR}/pkgconfig)
execute_process(COMMAND pkg-config --cflags --libs qorva_mat
                OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "pkg-config --cflags --libs qorva_mat failed: ${rc}")
endif()
execute_process(COMMAND pkg-config --variable=libdir qorva_mat
                OUTPUT_VARIABLE libdir OUTPUT_STRIP_TRAILING_WHITESPACE)
file(REAL_PATH ${libdir} libdir)
file(REAL_PATH ${PREFIX}/${LIBDIR} expected)
if(NOT libdir STREQUAL expected)
  message(FATAL_ERROR "pkg-config libdir is ${libdir}, expected ${expected}")
endif()
message(STATUS "pkg-config: ${flags}")
separate_arguments(flags UNIX_COMMAND "${flags}")
file(MAKE_DIRECTORY ${BUILD_DIR})
execute_process(COMMAND ${CXX_COMPILER} -std=c++17 ${SANITIZER} ${SOURCE_DIR}/main.cpp ${flags}
                        -Wl,-rpath,${libdir} -o ${BUILD_DIR}/consumer
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "compiling with the pkg-config flags failed: ${rc}")
endif()
separate_arguments(args UNIX_COMMAND "${RUN_ARGS}")
execute_process(COMMAND ${BUILD_DIR}/consumer ${args} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the consumer built with pkg-config returned ${rc}")
endif()
