// The longest path Windows takes (with the \\?\ prefix), in UTF-16 units, and its
// NUL: the one bound every path Zantor keeps is held to.
#pragma once

#include <cstddef>

constexpr std::size_t kLongestPath = 32768;
