// Every test gets its own HOME and XDG directories in a fresh temporary
// folder, removed afterwards, so tests never touch the user's files and
// never collide when run in parallel.
#pragma once

#include <gtest/gtest.h>
#include <string>

namespace plover::test {

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// n bytes of every value, the same for the same seed.
std::string RandomBytes(std::size_t n, unsigned seed);

class TempHomeTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string Root;     // the temporary folder
    std::string Home;     // $HOME
    std::string DataHome; // $XDG_DATA_HOME
    std::string ConfigHome;
};

} // namespace plover::test
