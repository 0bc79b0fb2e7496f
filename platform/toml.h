// The TOML parser for description and project files. The parser asserts a state that bad input
// can reach (a table header opening with a character no key starts with) and then reports that
// input as an ordinary parse error; the assertion is switched off so debug and fuzz builds give
// the error too instead of aborting.
#pragma once

#ifndef TOML_ASSERT
#define TOML_ASSERT(expr) static_assert(true)
#endif
#include <toml++/toml.h>
