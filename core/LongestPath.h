// The longest path Windows takes (with the \\?\ prefix), in UTF-16 units, and its NUL.
#pragma once

#include <cstddef>

constexpr std::size_t kLongestPath = 32768;
