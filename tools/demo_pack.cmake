# Stages and packs the demo (examples/demo): copies the project to OUT/project, builds its movie,
# puts the movie control beside it and packs OUT/quill-demo.exe; with RUNNER it then clicks
# through the packed demo. Used by tools/demo.sh (with the Linux quill) and by the demo's ctest
# (with quill.exe under the emulator).
#   cmake -DQUILL=quill [-DEMULATOR=wine-run.sh] -DSTUB=quill-projector.exe -DCONTROL=quill_movie.ocx
#         -DSOURCE=examples/demo -DOUT=build/demo [-DRUNNER=quill_demo_runner.exe] -P demo_pack.cmake
foreach(var QUILL STUB CONTROL SOURCE OUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "demo_pack.cmake: ${var} is not set")
  endif()
endforeach()
set(emulator)
if(EMULATOR)
  set(emulator ${EMULATOR})
endif()

set(project ${OUT}/project)
file(REMOVE_RECURSE ${project})
file(MAKE_DIRECTORY ${project})
file(COPY ${SOURCE}/ DESTINATION ${project})
file(COPY_FILE ${CONTROL} ${project}/quill_movie.ocx)

function(run what)
  execute_process(COMMAND ${emulator} ${ARGN} RESULT_VARIABLE code OUTPUT_VARIABLE out
    ERROR_VARIABLE out)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "demo: ${what} failed (${code}):\n${out}")
  endif()
  message(STATUS "${out}")
endfunction()

run("building the movie" ${QUILL} movie build ${project}/movie.toml -o ${project}/demo.swf)
run("packing" ${QUILL} pack ${project}/demo.toml -o ${OUT}/quill-demo.exe --stub ${STUB})
if(RUNNER)
  run("the click-through" ${RUNNER} ${OUT}/quill-demo.exe ${OUT})
endif()
