# `quill movie` as a user meets it: usage on bad arguments (status 2), a message naming the file
# and the fault on failure (status 1, nothing written), and build and info on an example.
# Variables: QUILL (the tool), EMULATOR (empty natively, Wine for the Windows build), EXAMPLE
# (a description), WORK (a scratch directory).
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
set(failures "")

function(run expect_status expect_text)
  execute_process(COMMAND ${EMULATOR} ${QUILL} movie ${ARGN}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REPLACE "\r\n" "\n" all "${out}${err}")
  if(NOT "${rc}" STREQUAL "${expect_status}")
    string(APPEND failures "quill movie ${ARGN}: status ${rc}, expected ${expect_status}\n${all}\n")
  elseif(NOT all MATCHES "${expect_text}")
    string(APPEND failures "quill movie ${ARGN}: no \"${expect_text}\" in\n${all}\n")
  endif()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

run(2 "usage: quill movie build")
run(2 "missing file name" build)
run(2 "unknown movie command" frob x.swf)
run(2 "unknown option --fast" build x.toml --fast)
run(1 "quill movie: ${WORK}/missing.toml: cannot open it" build "${WORK}/missing.toml")

file(WRITE "${WORK}/bad.toml" "[movie]\nwidth = 10\nheight = 10\n[[shape]]\nname = \"a\"\nrect = [0, 0, 1, 1]\ncolour = \"#ff0000\"\n")
run(1 "bad.toml:7: unknown key \"colour\" in shape \"a\"" build "${WORK}/bad.toml" -o "${WORK}/bad.swf")
if(EXISTS "${WORK}/bad.swf")
  string(APPEND failures "a failed build left ${WORK}/bad.swf behind\n")
endif()

run(0 "" build "${EXAMPLE}" -o "${WORK}/plain.swf")
run(0 "FWS version 6.*stage 400 x 240 pixels.*DefineEditText \\(37\\).*DefineButton2 \\(34\\).*ShowFrame"
  info "${WORK}/plain.swf")
run(0 "getURL \"FSCommand:Quill_Run\", \"saveGame\"" info "${WORK}/plain.swf" --actions)
run(0 "" build "${EXAMPLE}" --compressed -o "${WORK}/packed.swf")
run(0 "CWS version 6, [0-9]+ bytes \\([0-9]+ uncompressed\\)" info "${WORK}/packed.swf")
run(1 "bad.toml: not a movie" info "${WORK}/bad.toml")

file(REMOVE_RECURSE "${WORK}")
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
