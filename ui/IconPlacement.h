// Where the minimised window draws its icon.
#pragma once

// The icon's offset that centres it in `outer` pixels: an odd extra pixel goes to
// the left (or top) margin, and the division truncates toward zero.
constexpr int CentredIconOffset(int outer, int icon)
{
    return (outer - icon + 1) / 2;
}
