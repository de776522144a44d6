// The fixture of the end-to-end tests: each test gets a fresh working folder named
// after it, with fresh copies of the program and the stand-in Mervik.dll.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Console.h"
#include "resource.h"

namespace e2e {

class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override;

    // Starts the console in the working folder (the script, if any, written first).
    Console& Start(const std::wstring& exe = ProgramFile(), const std::wstring& arguments = L"");

    std::unique_ptr<WorkFolder> m_folder;
    std::unique_ptr<Console> m_console;
};

// The working folder's name for the running test: "Suite.Name", with the
// characters Windows does not allow in names replaced.
std::wstring CurrentTestName();

// A wide text for a failure message.
std::string Shown(const std::wstring& text);

// Whether a box shows the expected text. A fault message ends in the faulting
// instruction's address, which varies: an expected text ending in "（地址 0x"
// matches any address as wide as the build's pointers and "）" after it; one
// ending in "+0x" (after a module's name) any offset and "）".
bool ShowsMessage(const std::wstring& shown, const std::wstring& expected);

// A call log's lines, each cut at its tabs; its "#" lines only when `withNotes`.
std::vector<std::vector<std::string>> LogLinesCut(const std::string& log, bool withNotes);

}  // namespace e2e
