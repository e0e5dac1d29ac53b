// Shared helpers for the test programs: exact HRESULT checks printed in hex,
// test data paths, and the host-side kit's files, scratch directories,
// private registry and malloc spy under the tests' names.
#pragma once

#include "Files.h"
#include "MallocSpy.h"
#include "RegistrySandbox.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace velmora::test {

// An HRESULT that gtest prints as 0x%08X.
struct Hr {
    HRESULT value;
    bool operator==(const Hr& other) const { return value == other.value; }
};
inline void PrintTo(const Hr& hr, std::ostream* os) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr.value));
    *os << text;
}

// Absolute Windows path of a file under tests/data.
std::wstring TestDataPath(const std::wstring& name);

// The kit's helpers report their failures to gtest (see TestMain.cpp).
using hostkit::FilesIn;
using hostkit::MallocSpy;
using hostkit::RegistrySandbox;
using hostkit::TempDirectory;

// Writes bytes to a file (created or replaced); asserts on failure.
void WriteBytes(const std::wstring& path, const std::string& bytes);
// The whole file, or nothing when it cannot be read.
std::string ReadBytes(const std::wstring& path);

// Reads a whole file into buffer in 4096-byte reads: the plain reading that
// the filter's block reader is compared with. E_INVALIDARG for no path,
// E_HANDLE when the file cannot be opened, E_OUTOFMEMORY without memory for
// the file's size, E_FAIL when not one byte was read.
HRESULT BinaryCopy(const wchar_t* path, std::string& buffer);

// Deterministic bytes without '<', so that no packet can start inside them.
std::string Filler(size_t count, unsigned seed);

// Narrow text for gtest messages.
std::string Narrow(const std::wstring& text);

}  // namespace velmora::test

// Exact HRESULT comparisons that print both codes in hex.
#define EXPECT_HR(expected, actual) EXPECT_EQ(::velmora::test::Hr{(expected)}, ::velmora::test::Hr{(actual)})
#define ASSERT_HR(expected, actual) ASSERT_EQ(::velmora::test::Hr{(expected)}, ::velmora::test::Hr{(actual)})
