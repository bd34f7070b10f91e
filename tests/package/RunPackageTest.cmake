# Installs the engine component of BUILD_DIR into a temporary prefix, builds
# the outside project SOURCE_DIR against it and runs it.
# -D BUILD_DIR, SOURCE_DIR, WORK_DIR, BUILD_TYPE, CXX_FLAGS, LINK_FLAGS
function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  message(STATUS "${what}: ok\n${out}")
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component ekavros)

# The implementation's own headers stay out of the installed tree.
foreach(private 3d/3DObjectPrivate.h 3d/gles/3DObjectGLES.h 3d/gles/GLESErrors.h)
  file(GLOB_RECURSE found ${prefix}/*/${private})
  if(found)
    message(FATAL_ERROR "private header installed: ${found}")
  endif()
endforeach()
file(GLOB_RECURSE public ${prefix}/include/ekavros/engine/3d/gles/3DEngineGLES.h)
if(NOT public)
  message(FATAL_ERROR "public header engine/3d/gles/3DEngineGLES.h not installed")
endif()

run("configure" ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_BUILD_TYPE=${BUILD_TYPE} "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${LINK_FLAGS}")
run("build" ${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run("run" ${WORK_DIR}/build/package_user)
file(REMOVE_RECURSE ${WORK_DIR})
