// The notes a command adds to its message when the library broke the calling
// contract: one line per operation and state, however many of the command's
// calls broke the same rule.
#pragma once

#include <cstddef>

#include "Reader.h"
#include "ResultMessage.h"

class ContractNotes {
public:
    // Takes in the rules one call of `operation` broke. `operation` is one of
    // Zantor's literals (it is kept, not copied).
    void Add(const wchar_t* operation, const CallOutcome& outcome);
    bool empty() const { return m_count == 0; }

    // Appends each note on a line of its own, after a line break when `message`
    // is not empty. What does not fit within `message` is cut and a last line
    // says so; a note is never left out silently.
    void AppendTo(Message& message) const;

private:
    struct Note {
        const wchar_t* operation;
        ContractBreach breach;
    };
    // Every rule one operation can break: a command calls one operation.
    Note m_notes[CallOutcome::kMaxBreaches];
    std::size_t m_count = 0;
    bool m_overflowed = false;  // more rules than notes: said in the last line
    // The first change of the current directory, with its two paths.
    wchar_t m_directoryBefore[CallOutcome::kDirectoryCapacity] = {};
    wchar_t m_directoryAfter[CallOutcome::kDirectoryCapacity] = {};
};

// One note's line, without a line break, as AppendTo writes it.
void AppendContractNote(Message& message, const wchar_t* operation, const ContractBreach& breach,
                        const wchar_t* directoryBefore, const wchar_t* directoryAfter);
