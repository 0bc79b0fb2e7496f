# `quill doc` at the terminal: what a user types first, and the ways it can go wrong.
# Variables: QUILL, EMULATOR.
set(failed "")
function(expect code pattern)
  execute_process(COMMAND ${EMULATOR} ${QUILL} doc ${ARGN}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL code OR NOT "${out}${err}" MATCHES "${pattern}")
    set(failed "${failed}quill doc ${ARGN}: exit ${rc}, expected ${code} and /${pattern}/:\n${out}${err}\n"
      PARENT_SCOPE)
  endif()
endfunction()
# The index lists classes and the global functions with their arguments.
expect(0 "StringStream  A growable.*Global functions.*print\\(value, \\.\\.\\.\\)" )
# A class page: the constructor, sections, read-only marks, global constants.
expect(0 "^FileStream \\(also Stream\\)\n  new FileStream\\(\\[path \\[, mode\\]\\]\\).*Methods.*  read\\(count\\)\n.*Properties.*  eof\n      True once a read met the end of the file\\. Read-only\\..*\\$STREAM_EOF = -1" FileStream)
# An alias finds its class; a member of a shared table shows under each class.
expect(0 "^FileStream\\.getShort\\(\\)\n  Reads a signed 16-bit" Stream.getShort)
expect(0 "^StringStream\\.toString\\(\\)\n" StringStream.toString)
expect(0 "^Mail\\.toString\\(\\)\n  Gives \"\\[object Mail\\]\"\\." Mail.toString)
expect(0 "^  parseInt\\(text \\[, radix\\]\\)\n" parseInt)
expect(0 "^\\$STREAM_IN = 1\n" FileStream.$STREAM_IN)
# Mistakes: unknown names, case, a stray option, two names.
expect(1 "no class or function named Nothing" Nothing)
expect(1 "no class or function named stringstream" stringstream)
expect(1 "StringStream has no member named nothing" StringStream.nothing)
expect(1 "StringStream has no member named \n" StringStream.)
expect(2 "usage: quill doc" --frobnicate)
expect(2 "usage: quill doc" Mail SendMail)
expect(2 "usage: quill doc" --markdown)
expect(2 "usage: quill doc" --check Mail)
if(failed)
  message(FATAL_ERROR "${failed}")
endif()
