# Installs the engine component of BUILD_DIR into a temporary prefix, builds
# the outside project SOURCE_DIR against it and runs it.
# -D BUILD_DIR, SOURCE_DIR, WORK_DIR, BUILD_TYPE, CXX_FLAGS, LINK_FLAGS
# With -D EXAMPLES="name[:arguments] ..." and COMPARE (the compare-pictures
# tool), each example runs headless in a folder of its own and its picture is
# compared with SOURCE_DIR/NAME.png; -D UPDATE=ON copies the pictures there
# instead.
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
foreach(private 3d/3DObjectPrivate.h 3d/gles/3DObjectGLES.h 3d/gles/GLESErrors.h platform/RunLoop.h
        platform/Script.h)
  file(GLOB_RECURSE found ${prefix}/*/${private})
  if(found)
    message(FATAL_ERROR "private header installed: ${found}")
  endif()
endforeach()
foreach(public engine/3d/gles/3DEngineGLES.h platform/Host.h)
  file(GLOB_RECURSE found ${prefix}/include/ekavros/${public})
  if(NOT found)
    message(FATAL_ERROR "public header ${public} not installed")
  endif()
endforeach()

run("configure" ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_BUILD_TYPE=${BUILD_TYPE} "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${LINK_FLAGS}")
run("build" ${CMAKE_COMMAND} --build ${WORK_DIR}/build)

if(NOT DEFINED EXAMPLES)
  run("run" ${WORK_DIR}/build/package_user --headless)
  file(REMOVE_RECURSE ${WORK_DIR})
  return()
endif()

# Headless pictures are drawn by Mesa's llvmpipe; see COMPARE for the tolerance.
separate_arguments(EXAMPLES)
foreach(entry IN LISTS EXAMPLES)
  string(REPLACE ":" ";" parts "${entry}")
  list(POP_FRONT parts name)
  string(REPLACE "," ";" arguments "${parts}")
  set(run_dir ${WORK_DIR}/run/${name})
  file(MAKE_DIRECTORY ${run_dir})
  execute_process(COMMAND ${WORK_DIR}/build/${name} --help RESULT_VARIABLE rc OUTPUT_QUIET)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${name} --help failed (${rc})")
  endif()
  execute_process(COMMAND ${WORK_DIR}/build/${name} --headless ${arguments} WORKING_DIRECTORY ${run_dir}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT EXISTS ${run_dir}/${name}.png)
    message(FATAL_ERROR "${name} --headless failed (${rc}) or wrote no ${name}.png:\n${out}\n${err}")
  endif()
  if(UPDATE)
    file(COPY_FILE ${run_dir}/${name}.png ${SOURCE_DIR}/${name}.png)
    message(STATUS "${name}: reference updated")
  else()
    run("${name}" ${COMPARE} ${run_dir}/${name}.png ${SOURCE_DIR}/${name}.png ${TOLERANCE} ${MAX_PERCENT})
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK_DIR})
