# Packs the test project with the Windows or the native `quill`, runs the packed resource probe
# under Wine, checks what it read back, compares the extracted files with the project's, and
# checks that unpacking and packing again gives the same executable.
#   -DTOOL=windows|native -DQUILL=quill.exe -DNATIVE_TOOLS=list -DPROBE=resource_probe.exe
#   -DEMULATOR=wine-run.sh -DPROJECT=source folder -DEXAMPLE=the example project
#   -DWORK=scratch folder

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

if(TOOL STREQUAL "native")
  set(tool "")
  foreach(candidate ${NATIVE_TOOLS})
    if(EXISTS "${candidate}")
      set(tool "${candidate}")
      break()
    endif()
  endforeach()
  if(tool STREQUAL "")
    message("SKIPPED: no native quill (build the native-asan or native preset first)")
    return()
  endif()
  set(quill "${tool}")
else()
  set(quill ${EMULATOR} ${QUILL})
endif()

file(REMOVE_RECURSE "${WORK}")
file(COPY "${PROJECT}/" DESTINATION "${WORK}/project")
file(MAKE_DIRECTORY "${WORK}/project/extra/empty")
run(${EMULATOR} ${QUILL} compile "${WORK}/project/lib.qls" -o "${WORK}/project/lib.qsc")

run(${quill} pack "${WORK}/project/full.toml" -o "${WORK}/app.exe" --stub "${PROBE}")
run(${EMULATOR} "${WORK}/app.exe" "${WORK}/extracted")
set(probe "${out}")
file(WRITE "${WORK}/probe-output.txt" "${probe}")

foreach(expected
    "version: Quill resource probe"
    "file version: 1.2.3.4"
    "menu: 3 items in the first popup"
    "icon group: present"
    "named resource: kept by the packer"
    "stale project resource: gone"
    "ID: Quill Tests/Full \\(66 bytes\\)"
    "stamp matches"
    "product: Full Test"
    "title bytes: 46656eea747265"
    "frame 0x1010 buttons 0x10 scale 256 flags 0x101 position 9"
    "font1: Tahoma -12"
    "help file: help.chm"
    "picture: picture.jpg"
    "ML: flags 3, 4 entries"
    "1 intro.swf 30 "
    "2 Plug_Ins.xtra.dll 14 "
    "RG: round 68 "
    "RG: empty 0 missing"
    "QUILL initialize: [0-9]+ bytes [0-9a-f]+, a module"
    "QUILL savegame: [0-9]+ bytes [0-9a-f]+, a module"
    "SUPPORT .1: absent"
    "additional files: valid"
    "folder empty 0"
    "file sub.deeper.c.txt 5")
  if(NOT probe MATCHES "${expected}")
    message(FATAL_ERROR "the probe's output lacks \"${expected}\":\n${probe}")
  endif()
endforeach()
if(probe MATCHES "report:|DIFFERS|NOT A MODULE")
  message(FATAL_ERROR "the probe met errors:\n${probe}")
endif()

# The files the readers wrote are the project's files.
foreach(pair "intro.swf;movies/intro.swf" "main.swf;movies/main.swf"
             "Plug_Ins/xtra.dll;plugins/xtra.dll" "Plug_Ins/codec.dll;plugins/codec.dll"
             "round.msk;round.msk" "help.chm;help.chm" "picture.jpg;picture.jpg")
  list(GET pair 0 extracted)
  list(GET pair 1 original)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${WORK}/extracted/${extracted}"
                  "${WORK}/project/${original}" RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "${extracted} differs from ${original}")
  endif()
endforeach()

# Unpacking and packing again gives the same executable.
run(${quill} unpack "${WORK}/app.exe" -o "${WORK}/unpacked")
run(${quill} pack "${WORK}/unpacked/app.toml" -o "${WORK}/again.exe" --stub "${PROBE}")
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${WORK}/app.exe" "${WORK}/again.exe"
                RESULT_VARIABLE differs)
if(differs)
  message(FATAL_ERROR "packing the unpacked project gives a different executable")
endif()

# The example project of the documentation packs and its scripts compile.
if(TOOL STREQUAL "windows")
  run(${quill} pack "${EXAMPLE}" -o "${WORK}/demo.exe" --stub "${PROBE}")
  run(${EMULATOR} "${WORK}/demo.exe" "${WORK}/demo-extracted")
  if(NOT out MATCHES "QUILL initialize: [0-9]+ bytes [0-9a-f]+, a module" OR out MATCHES "report:")
    message(FATAL_ERROR "the example project does not read back:\n${out}")
  endif()
endif()

# The other tool's run, when it is there, read back the same resources.
if(TOOL STREQUAL "native")
  get_filename_component(base "${WORK}" DIRECTORY)
  set(other "${base}/work-windows/probe-output.txt")
  if(EXISTS "${other}")
    file(READ "${other}" windows_probe)
    # Compiled modules carry random bits in their section ids: compare their lengths only.
    set(pattern "(QUILL [a-z]+: [0-9]+ bytes) [0-9a-f]+")
    string(REGEX REPLACE "${pattern}" "\\1" windows_probe "${windows_probe}")
    string(REGEX REPLACE "${pattern}" "\\1" native_probe "${probe}")
    message("compared with the Windows run")
    if(NOT windows_probe STREQUAL native_probe)
      message(FATAL_ERROR "the native and the Windows tool packed different resources:\n"
                          "native:\n${probe}\nwindows:\n${windows_probe}")
    endif()
  endif()
endif()
message("${probe}")
