// `quill movie`: builds movie files from descriptions and lists what a movie file holds.
#pragma once

// Arguments after the word "movie"; the exit status (2 for bad arguments, 1 for a failure).
int movieCommand(int argc, char** argv);
