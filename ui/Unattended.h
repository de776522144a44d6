// Telling what went wrong when nobody is there to answer a box: a burn-in started
// by a script or a build server.
#pragma once

class CallLog;

// Writes `text` and a line end to the standard error of whoever started Zantor:
// the handle it inherited, or else the console of the process that started it
// (AttachConsole), if either is there; and, when `log` has a file open, appends it
// there as a "#error" line. Never waits for a person.
void TellUnattended(const wchar_t* text, CallLog* log);
