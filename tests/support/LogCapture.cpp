#include "LogCapture.h"

#include <windows.h>

#include <mutex>

namespace velmora::test {

namespace {

constexpr DWORD kDbgPrintAnsi = 0x40010006;  // DBG_PRINTEXCEPTION_C
constexpr DWORD kDbgPrintWide = 0x4001000A;  // DBG_PRINTEXCEPTION_WIDE_C

std::mutex linesLock;
std::vector<std::wstring> lines;

LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (record->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
    const size_t length = static_cast<size_t>(record->ExceptionInformation[0]);
    std::wstring text;
    if (record->ExceptionCode == kDbgPrintWide) {
        const auto* wide = reinterpret_cast<const wchar_t*>(record->ExceptionInformation[1]);
        text.assign(wide, length > 0 ? length - 1 : 0);
    } else if (record->ExceptionCode == kDbgPrintAnsi) {
        const auto* ansi = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
        const int n = MultiByteToWideChar(CP_ACP, 0, ansi, static_cast<int>(length > 0 ? length - 1 : 0), nullptr, 0);
        text.resize(static_cast<size_t>(n > 0 ? n : 0));
        if (n > 0) MultiByteToWideChar(CP_ACP, 0, ansi, static_cast<int>(length - 1), text.data(), n);
    } else {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    {
        std::lock_guard<std::mutex> guard(linesLock);
        lines.push_back(text);
    }
    // Handled: Windows then skips its ANSI fallback for the wide form.
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

LogCapture::LogCapture() : handler(AddVectoredExceptionHandler(1, OnException)) { Clear(); }

LogCapture::~LogCapture() {
    if (handler) RemoveVectoredExceptionHandler(handler);
}

std::vector<std::wstring> LogCapture::Lines() const {
    std::lock_guard<std::mutex> guard(linesLock);
    return lines;
}

std::vector<std::wstring> LogCapture::LinesWith(const std::wstring& part) const {
    std::vector<std::wstring> found;
    for (const std::wstring& line : Lines()) {
        if (line.find(part) != std::wstring::npos) found.push_back(line);
    }
    return found;
}

void LogCapture::Clear() {
    std::lock_guard<std::mutex> guard(linesLock);
    lines.clear();
}

}  // namespace velmora::test
