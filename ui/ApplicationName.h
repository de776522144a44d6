#pragma once

#include <string>

// The executable's file name without its extension ("Zantor" for Zantor.exe): the
// caption of every message box. A renamed copy shows its own name.
std::string ApplicationName();
