// The command lines of the tools: options "--name VALUE" and "--name" (a
// switch), each at most as often as declared, and positional arguments. An
// unknown option, a missing value or a stray positional argument is an error
// that the tool reports with its usage line and exit code 1.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace velmora::hostkit {

class Arguments {
public:
    // An option with a value; set receives it and returns false when the value is bad.
    void Option(const wchar_t* name, std::function<bool(const std::wstring&)> set);
    // A switch without a value.
    void Switch(const wchar_t* name, std::function<void()> set);

    // Parses argv[1..]. positional receives the other arguments; null allows none.
    // On failure error names the argument and the reason.
    bool Parse(int argc, wchar_t** argv, std::vector<std::wstring>* positional, std::wstring& error) const;

private:
    struct Entry {
        std::wstring name;
        bool takesValue;
        std::function<bool(const std::wstring&)> set;
    };
    std::vector<Entry> entries;
};

// A decimal number without sign or other characters; false otherwise.
bool ParseNumber(const std::wstring& text, unsigned long long& number);

}  // namespace velmora::hostkit
