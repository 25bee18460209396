# Configures and builds the core library alone with another compiler, warnings
# as errors. -DSOURCE=<source tree> -DBINARY=<build folder> -DCOMPILER=<c++ compiler>
execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${BINARY} -DCMAKE_BUILD_TYPE=Debug
            -DCMAKE_CXX_COMPILER=${COMPILER} -DMELODECK_CORE_ONLY=ON -DMELODECK_WERROR=ON
    RESULT_VARIABLE configured)
if(NOT configured EQUAL 0)
    message(FATAL_ERROR "configuring the core with ${COMPILER} failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY} --target melodeck_core -j 2
                RESULT_VARIABLE built)
if(NOT built EQUAL 0)
    message(FATAL_ERROR "building the core with ${COMPILER} failed")
endif()
