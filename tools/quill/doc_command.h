// `quill doc`: the reference of the classes and global functions this build registers, read from
// their binding tables: at the terminal, as Markdown pages, or as a check that every member is
// described.
#pragma once

namespace quill::tool {

// `quill doc [CLASS[.MEMBER]] | --markdown DIR | --check` (argv after "doc").
int docMain(int argc, char** argv);

}  // namespace quill::tool
