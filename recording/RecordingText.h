// A session recorded as a stand-in script: the header, and each call's entry as
// the bytes to append for it. Identical answers are written once, as an
// [Answer.N] section, and each call after that is a number on a calls= line.
// Plain C++: the window-free part of the recorder.
#pragma once

#include <cstddef>
#include <cstdint>

#include "CallLogLine.h"
#include "CallRecord.h"
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

// Makes the entries of one session's calls, in order.
class RecordingWriter {
public:
    explicit RecordingWriter(unsigned codePage);
    RecordingWriter(const RecordingWriter&) = delete;
    RecordingWriter& operator=(const RecordingWriter&) = delete;

    // Keeps what the call's buffers hold before the call, to tell what it wrote.
    void Before(const CallRecord& call);
    // The call's entry, into `out` (emptied first): a new [Answer.N] and the call's
    // number, or only the number of an answer written before. False when memory
    // ran out (`out` is then not whole).
    bool Entry(const CallRecord& call, GrowingText& out);

private:
    // An answer written before: its text's hash and length. Answer N is the N-th.
    struct Known {
        std::uint64_t hash[2];
        std::size_t length;
    };
    // What the library wrote into one buffer, as `key=` and the recording's value.
    void AppendBuffer(const char* key, const CallBuffer& buffer, std::size_t index);
    void AppendBreaches(const CallOutcome& outcome);
    std::int32_t Find(std::size_t slot) const;

    unsigned m_codePage;
    GrowingArray<char> m_before[2];  // the buffers before the call, up to their last byte not zero
    std::size_t m_beforeSize[2] = {};
    bool m_haveBefore[2] = {};
    GrowingArray<char> m_known;  // each answer's Known, as bytes: the growth every text has
    std::int32_t m_lastInSlot[kOperationCount + 12] = {};  // the last answer per operation (and field)
    GrowingText m_answer;   // the answer's keys: what identical answers share
    GrowingText m_notes;    // comments written with a new answer only
    std::uint64_t m_hash[2] = {};
    std::int32_t m_answers = 0;
    unsigned m_onLine = 0;  // calls on the current calls= line
};
