// A session recorded as a stand-in script: its header (RecordingWriter.h makes
// each call's entry). Plain C++: the window-free part of the recorder.
#pragma once

#include "CallLogLine.h"
#include "Growing.h"
#include "LibraryIdentity.h"

struct RecordingHeader {
    const char* zantorVersion = "";
    unsigned bits = 0;
    const LibraryIdentity* library = nullptr;  // null: not known
    LogTime date{};
    unsigned codePage = 0;  // the ANSI code page the library's texts are in
    bool anonymized = false;
};

// The first lines of a recording: a warning about the personal data it holds,
// then the [Recording] section (Zantor, the library's identity, the date, the
// code page).
void AppendRecordingHeader(GrowingText& out, const RecordingHeader& header);
