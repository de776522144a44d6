// /anonymize: the card's personal data replaced wherever Zantor writes a card to a
// file (the recording, the call log, the burn-in's report), so that a session can
// be sent on without the person's identity. Plain C++ but for the session key.
#pragma once

#include <cstddef>
#include <cstdint>

#include "CallRecord.h"

class Anonymizer {
public:
    // `codePage`: the ANSI code page the library's texts are in; `key`: the
    // session's secret, so that the same value is replaced alike within a session
    // (a burn-in's reads still compare equal) and cannot be guessed back from it.
    Anonymizer(unsigned codePage, std::uint64_t key) : m_codePage(codePage), m_key(key) {}

    // Replaces, in place, the `length` bytes (before the NUL) that GetCardInfo
    // wrote for field `index`. The ten text fields keep their byte length and each
    // character's width and kind: a digit stays a digit, a letter a letter of the
    // same case, a two-byte character a two-byte character; blanks and
    // punctuation stay. The photo (11) becomes base64 text of the same length
    // that decodes to a plain grey JPEG (carrying a keyed hash of the original,
    // so that different photos stay different), or 'A's when the length cannot
    // hold one. Other indices are left alone.
    void Replace(std::int32_t index, char* bytes, std::size_t length) const;
    // Replaces, in place, what in a register's value may be a card's text (a
    // library that copies a field through a register may leave part of it there):
    // each byte that is an ASCII digit or letter, or above ASCII, becomes another
    // of its kind, the same value alike; the other bytes (zeros, controls) stay.
    void ReplaceRegister(std::uint64_t (&value)[2]) const;

private:
    void ReplaceText(char* bytes, std::size_t length, std::uint64_t seed) const;
    void ReplacePhoto(char* bytes, std::size_t length, std::uint64_t seed) const;

    unsigned m_codePage;
    std::uint64_t m_key;
};

// Tells `inner` of every call with GetCardInfo's value replaced as above: its text,
// nothing of what the library left after the text's NUL, and the values of the
// registers it left changed.
class AnonymizingObserver final : public CallObserver {
public:
    AnonymizingObserver(CallObserver& inner, const Anonymizer& anonymizer) : m_inner(inner), m_anonymizer(anonymizer) {}

    // The value buffers Zantor hands over are zero-filled: passed on as they are.
    void BeforeCall(const CallRecord& call) override { m_inner.BeforeCall(call); }
    void OnCall(const CallRecord& call) override;

private:
    CallObserver& m_inner;
    const Anonymizer& m_anonymizer;
};

#ifdef _WIN32
// A secret for the session from the system's random numbers.
std::uint64_t RandomSessionKey();
#endif
