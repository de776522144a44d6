// The result codes that count as success, per operation: 0 for every operation
// unless the command line declares others (/success readCard=0x90). A burn-in
// judges each returned code by these; nothing is inferred from what a library
// happens to return most often.
#pragma once

#include <cstddef>
#include <cstdint>

#include "CallRecord.h"

class SuccessCodes {
public:
    // The most codes one operation can be given; more is refused as a bad value.
    static constexpr std::size_t kMaxPerOperation = 16;

    // Adds `code` to the codes of `operation` (the first one declared replaces
    // the default 0). False when the operation already has kMaxPerOperation.
    bool Declare(Operation operation, std::int32_t code)
    {
        const auto index = static_cast<std::size_t>(operation);
        for (std::size_t i = 0; i < m_count[index]; ++i)
            if (m_codes[index][i] == code) return true;
        if (m_count[index] == kMaxPerOperation)
            return false;
        m_codes[index][m_count[index]++] = code;
        return true;
    }

    bool IsSuccess(Operation operation, std::int32_t code) const
    {
        const auto index = static_cast<std::size_t>(operation);
        if (m_count[index] == 0)
            return code == 0;
        for (std::size_t i = 0; i < m_count[index]; ++i)
            if (m_codes[index][i] == code) return true;
        return false;
    }

    // Whether the command line declared the codes of `operation` (else 0 alone).
    bool Declared(Operation operation) const { return m_count[static_cast<std::size_t>(operation)] != 0; }
    // The codes of `operation` in the order declared: {0} when none were.
    std::size_t Count(Operation operation) const
    {
        const std::size_t count = m_count[static_cast<std::size_t>(operation)];
        return count == 0 ? 1 : count;
    }
    std::int32_t Code(Operation operation, std::size_t i) const
    {
        return Declared(operation) ? m_codes[static_cast<std::size_t>(operation)][i] : 0;
    }

private:
    std::int32_t m_codes[kOperationCount][kMaxPerOperation] = {};
    std::size_t m_count[kOperationCount] = {};
};
