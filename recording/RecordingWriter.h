// Each call of a recorded session as the bytes to append for it. Identical
// answers are written once, as an [Answer.N] section, and each call after that is
// a number on a calls= line. Plain C++: the window-free part of the recorder.
#pragma once

#include <cstddef>
#include <cstdint>

#include "CallRecord.h"
#include "Growing.h"

// So many answers are remembered to find identical ones by; an answer after them
// is written as a new one (the recording says so where that starts). At the cap
// the writer holds 32 MB (24 bytes an answer, and 8 in the index on its hash).
constexpr std::uint32_t kRememberedAnswers = 1u << 20;

// Makes the entries of one session's calls, in order.
class RecordingWriter {
public:
    // `remembered`: the cap on remembered answers (kRememberedAnswers; a test's smaller).
    explicit RecordingWriter(unsigned codePage, std::uint32_t remembered = kRememberedAnswers);
    RecordingWriter(const RecordingWriter&) = delete;
    RecordingWriter& operator=(const RecordingWriter&) = delete;

    // Keeps what the call's buffers hold before the call, to tell what it wrote.
    void Before(const CallRecord& call);
    // The call's entry, into `out` (emptied first): a new [Answer.N] and the call's
    // number, or only the number of an answer written before. False when memory
    // ran out (`out` is then not whole).
    bool Entry(const CallRecord& call, GrowingText& out);

    // How many answers were written, and how many of them are remembered.
    std::uint32_t Answers() const { return m_answers; }
    std::size_t Remembered() const { return m_known.size(); }

private:
    // An answer written before: its text's hash and length. Answer N is the N-th.
    struct Known {
        std::uint64_t hash[2];
        std::uint32_t length;
    };
    // What the library wrote into one buffer, as `key=` and the recording's value.
    void AppendBuffer(const char* key, const CallBuffer& buffer, std::size_t index);
    void AppendBreaches(const CallOutcome& outcome);
    // The number of the remembered answer identical to m_answer, or 0.
    std::uint32_t Find() const;
    // Remembers m_answer as answer `id`; false when memory ran out.
    bool Remember(std::uint32_t id);

    unsigned m_codePage;
    std::uint32_t m_remembered;
    GrowingArray<char> m_before[2];  // the buffers before the call, up to their last byte not zero
    std::size_t m_beforeSize[2] = {};
    bool m_haveBefore[2] = {};
    GrowingArray<Known> m_known;  // the remembered answers, answer N at N - 1
    // Open addressing on the answer's hash, at most half full: each slot 0 or the
    // number of a remembered answer, so that a search costs the same at the
    // millionth answer as at the first.
    GrowingArray<std::uint32_t> m_index;
    GrowingText m_answer;   // the answer's keys: what identical answers share
    GrowingText m_notes;    // comments written with a new answer only
    std::uint64_t m_hash[2] = {};
    std::uint32_t m_answers = 0;
    unsigned m_onLine = 0;  // calls on the current calls= line
};
