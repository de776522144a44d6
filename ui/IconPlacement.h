// Where the minimised window draws its icon.
#pragma once

// The icon's offset that centres it in `outer` pixels: an odd extra pixel goes to
// the left (or top) margin, and the division truncates toward zero.
constexpr int CentredIconOffset(int outer, int icon)
{
    return (outer - icon + 1) / 2;
}

struct IconOrigin {
    int x;
    int y;
};

// The top-left corner that centres an icon in a client area of the given size.
constexpr IconOrigin CentredIconOrigin(int clientWidth, int clientHeight, int iconWidth, int iconHeight)
{
    return {CentredIconOffset(clientWidth, iconWidth), CentredIconOffset(clientHeight, iconHeight)};
}
