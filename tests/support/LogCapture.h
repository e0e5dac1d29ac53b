// Reads the real diagnostic output: a vectored exception handler sees every
// OutputDebugString call of the process as DBG_PRINTEXCEPTION_C (and, on
// Windows, DBG_PRINTEXCEPTION_WIDE_C) and records the text.
#pragma once

#include <string>
#include <vector>

namespace velmora::test {

class LogCapture {
public:
    LogCapture();   // starts recording
    ~LogCapture();  // stops
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Every line written since construction or the last Clear, in order.
    std::vector<std::wstring> Lines() const;
    // Those of them that contain part.
    std::vector<std::wstring> LinesWith(const std::wstring& part) const;
    void Clear();

private:
    void* handler;
};

}  // namespace velmora::test
