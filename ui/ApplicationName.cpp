#include "ApplicationName.h"

#include <windows.h>

#include <vector>

std::string ApplicationName()
{
    // Grow the buffer until the whole path fits (long paths exceed MAX_PATH).
    std::vector<char> path(MAX_PATH);
    DWORD length = 0;
    for (;;) {
        length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return std::string();
        if (length < path.size())
            break;
        path.resize(path.size() * 2);
    }

    std::string name(path.data(), length);
    const std::size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name;
}
