// Trace tests: the library runs against the recording backend, and a test
// compares the whole recorded conversation with the one the hardware
// expects, written as text (see portio/TraceBackend.h for the line forms).
#pragma once

#include "portio/TraceBackend.h"
#include "support/TraceFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bypass::test {

// Succeeds when the recorded lines equal the expected ones exactly;
// otherwise shows both traces line by line from the first difference.
::testing::AssertionResult TraceEquals(
    const std::vector<std::string>& actual, const std::string& expected);

// Installs a fresh recording backend for each test and removes it after.
class TraceTest : public ::testing::Test {
protected:
    void SetUp() override { m_previous = SetPortBackend(&ports); }
    void TearDown() override { SetPortBackend(m_previous); }

    // The trace since the last call, compared whole; the recording restarts.
    ::testing::AssertionResult Trace(const std::string& expected)
    {
        auto result = TraceEquals(ports.Lines(), expected);
        ports.ClearTrace();
        return result;
    }

    TraceBackend ports;

private:
    PortBackend* m_previous = nullptr;
};

} // namespace bypass::test

#define EXPECT_TRACE(expected) EXPECT_TRUE(Trace(expected))
