// The process-wide diagnostic log. Messages go to the debugger output
// (OutputDebugStringW) and nowhere else, when their level is at or below the
// level that the registry value "DebugMode" selects at DLL load.
// Level and prefix are set once, during process attach; afterwards any thread
// may log without a lock.
#pragma once

#include "common/Product.h"  // the product key and display name it is started with

#include <cstdint>
#include <string>

namespace velmora {

class Debugger {
public:
    virtual ~Debugger();

    // Reads "DebugMode" (REG_DWORD, 0 to 3) under HKLM\keyPath; the prefix is
    // displayName + ":", or "Corvantis:" for a null name.
    void Initialize(const wchar_t* keyPath, const wchar_t* displayName);

    void Log(int32_t level, const wchar_t* text) const;

    // printf-style formatting of one argument into 1024 characters at most
    // (longer text is cut). "%s" takes the wide-string argument.
    void LogFormat(int32_t level, const wchar_t* format, const wchar_t* argument) const;
    void LogFormat(int32_t level, const wchar_t* format, int32_t argument) const;

private:
    template <class Argument>
    void Format(int32_t level, const wchar_t* format, Argument argument) const;

    int32_t level = 0;
    std::wstring prefix;
};

// The one instance.
extern Debugger debugger;

}  // namespace velmora
