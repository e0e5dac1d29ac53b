#include "Arguments.h"

#include <cwchar>

namespace velmora::hostkit {

void Arguments::Option(const wchar_t* name, std::function<bool(const std::wstring&)> set) {
    entries.push_back({name, true, std::move(set)});
}

void Arguments::Switch(const wchar_t* name, std::function<void()> set) {
    entries.push_back({name, false, [set = std::move(set)](const std::wstring&) {
                           set();
                           return true;
                       }});
}

bool Arguments::Parse(int argc, wchar_t** argv, std::vector<std::wstring>* positional, std::wstring& error) const {
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (argument.size() < 2 || argument.compare(0, 2, L"--") != 0) {
            if (!positional) {
                error = L"unexpected argument " + argument;
                return false;
            }
            positional->push_back(argument);
            continue;
        }
        const Entry* entry = nullptr;
        for (const Entry& candidate : entries) {
            if (candidate.name == argument) entry = &candidate;
        }
        if (!entry) {
            error = L"unknown option " + argument;
            return false;
        }
        std::wstring value;
        if (entry->takesValue) {
            if (i + 1 >= argc) {
                error = L"option " + argument + L" needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (!entry->set(value)) {
            error = L"bad value for " + argument + L": " + value;
            return false;
        }
    }
    return true;
}

bool ParseNumber(const std::wstring& text, unsigned long long& number) {
    if (text.empty() || text.size() > 19) return false;
    unsigned long long result = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        result = result * 10 + static_cast<unsigned long long>(c - L'0');
    }
    number = result;
    return true;
}

}  // namespace velmora::hostkit
