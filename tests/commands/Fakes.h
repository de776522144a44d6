// Recording stand-ins for the dialog and the reader library.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "CommandHost.h"
#include "Reader.h"

// Records every message and control write; answers control reads from `controls`.
class FakeHost : public CommandHost {
public:
    std::map<int, std::string> controls;
    std::vector<std::wstring> messages;
    std::vector<std::pair<int, std::string>> writes;  // in order

    void GetControlText(int id, char* text, std::size_t capacity) override
    {
        const std::string& held = controls[id];
        const std::size_t length = std::min(held.size(), capacity - 1);
        std::memcpy(text, held.data(), length);
        text[length] = '\0';
    }
    void SetControlText(int id, const char* text) override
    {
        writes.emplace_back(id, text);
        controls[id] = text;
    }
    void ShowMessage(const wchar_t* text) override { messages.push_back(text); }
};

// One call the commands made, with copies of the buffers as the reader found them.
struct ReaderCall {
    std::string operation;
    std::int32_t argument = 0;     // port or field index
    std::string textOnEntry;       // first buffer's bytes on entry (size of that buffer)
    std::string errorOnEntry;      // GetCardInfo's error buffer on entry
    bool nextFollows = false;      // NextCallFollows was said for this call
};

// Each operation answers through a scriptable function that may write the buffers.
// `valueSize` is the size the reader is entitled to for GetCardInfo's value buffer.
class FakeReader : public Reader {
public:
    using TextAnswer = std::function<std::int32_t(char* text)>;
    using FieldAnswer = std::function<std::int32_t(std::int32_t index, char* value, char* error)>;

    TextAnswer open = [](char*) { return 0; };
    TextAnswer close = [](char*) { return 0; };
    TextAnswer status = [](char*) { return 0; };
    TextAnswer read = [](char*) { return 0; };
    FieldAnswer field = [](std::int32_t, char*, char*) { return 0; };
    std::vector<ReaderCall> calls;
    bool follows = false;
    void NextCallFollows() override { follows = true; }
    // Call number `raiseAt` (counting from 0) raises `raised` instead of answering.
    std::size_t raiseAt = SIZE_MAX;
    CallOutcome raised;
    // The raise of GetCardInfo is a write one byte past its value buffer.
    bool raisedPastValue = false;
    // Rules of the calling contract every call that returns says it broke.
    std::vector<ContractBreach> breaches;

    CallOutcome Returned(std::int32_t code) const
    {
        CallOutcome outcome = CallOutcome::Returned(code);
        for (const ContractBreach& breach : breaches)
            outcome.breaches[outcome.breachCount++] = breach;
        return outcome;
    }

    CallOutcome OpenDevice(std::int32_t port, char* errorText) override
    {
        calls.push_back({"OpenDevice", port, Snapshot(errorText, 1024), {}});
        return calls.size() - 1 == raiseAt ? raised : Returned(open(errorText));
    }
    CallOutcome CloseDevice(char* errorText) override
    {
        calls.push_back({"CloseDevice", 0, Snapshot(errorText, 1024), {}});
        return calls.size() - 1 == raiseAt ? raised : Returned(close(errorText));
    }
    CallOutcome getDeviceStatus(char* statusText) override
    {
        calls.push_back({"getDeviceStatus", 0, Snapshot(statusText, 1024), {}});
        return calls.size() - 1 == raiseAt ? raised : Returned(status(statusText));
    }
    CallOutcome readCard(char* statusText) override
    {
        calls.push_back({"readCard", 0, Snapshot(statusText, 1024), {}});
        return calls.size() - 1 == raiseAt ? raised : Returned(read(statusText));
    }
    CallOutcome GetCardInfo(std::int32_t index, char* value, char* errorText) override
    {
        const std::size_t valueSize = index == 11 ? 102400 : 1024;
        calls.push_back({"GetCardInfo", index, Snapshot(value, valueSize), Snapshot(errorText, 1024), follows});
        follows = false;  // said for one call
        if (calls.size() - 1 != raiseAt)
            return Returned(field(index, value, errorText));
        CallOutcome outcome = raised;
        if (raisedPastValue) {
            outcome.accessAddress = reinterpret_cast<std::uintptr_t>(value) + valueSize;
            outcome.writeAccess = true;
        }
        return outcome;
    }

    static std::string Snapshot(const char* buffer, std::size_t size) { return std::string(buffer, size); }
};

// Writes `text` and its NUL into a reader buffer, as a well-behaved library does.
inline void WriteText(char* buffer, const std::string& text)
{
    std::memcpy(buffer, text.c_str(), text.size() + 1);
}
