// Runs each test in a fresh, empty working directory, removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

class InTempDirectory : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        do m_dir = std::filesystem::temp_directory_path() / ("zantor-test-" + std::to_string(random()));
        while (!std::filesystem::create_directory(m_dir));
        std::filesystem::current_path(m_dir);
    }
    void TearDown() override
    {
        std::filesystem::current_path(m_previous);
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    static void WriteFile(const char* name, const std::string& bytes) { std::ofstream(name, std::ios::binary) << bytes; }
    static std::string ReadFile(const char* name)
    {
        std::ifstream in(name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::filesystem::path m_previous = std::filesystem::current_path();
    std::filesystem::path m_dir;
};
