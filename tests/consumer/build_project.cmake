# Configures and builds a small project against the moved install, then runs RUN (a path
# relative to the project's build folder) with RUN_ARGS when given.
execute_process(COMMAND ${CMAKE_COMMAND} -S ${PROJECT_DIR} -B ${BUILD_DIR}
                        -DCMAKE_PREFIX_PATH=${PREFIX} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
                        -DSANITIZER=${SANITIZER} -DINCLUDE_DIR=${PREFIX}/include
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configure of ${PROJECT_DIR} failed: ${rc}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "build of ${PROJECT_DIR} failed: ${rc}")
endif()
if(RUN)
  separate_arguments(args UNIX_COMMAND "${RUN_ARGS}")
  execute_process(COMMAND ${BUILD_DIR}/${RUN} ${args} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${RUN} returned ${rc}")
  endif()
endif()
