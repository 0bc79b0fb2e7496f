// `quill mask`: makes a window mask (.msk) from a picture.
#pragma once

namespace quill::tool {

// Arguments after the word "mask"; the exit status (2 for bad arguments, 1 for a failure).
int maskMain(int argc, char** argv);

}  // namespace quill::tool
