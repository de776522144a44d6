#pragma once

// The executable's file name without its extension ("Zantor" for Zantor.exe): the
// caption of every message box. A renamed copy shows its own name. Worked out on
// the first call and kept in static storage, so later calls cannot fail.
const char* ApplicationName();
