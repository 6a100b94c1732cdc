// The path separator. The program's own layouts speak of "\"; on this
// platform every path helper takes the separator from here.
#pragma once

#include <string>

inline const std::string kPathSep = "/";
