// Points HKEY_LOCAL_MACHINE (and, on request, HKEY_CLASSES_ROOT) at private
// keys for the lifetime of the object, so that a test reads and writes a
// registry of its own. Everything it wrote is deleted afterwards. A call
// that the registry refuses is reported (Failures.h) and answers false.
#pragma once

#include <windows.h>

#include <string>

namespace velmora::hostkit {

class RegistrySandbox {
public:
    enum Roots { LocalMachine = 1, ClassesRoot = 2, Both = 3 };

    explicit RegistrySandbox(Roots roots = LocalMachine);
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    // Writers under the overridden HKEY_LOCAL_MACHINE (or root, when given).
    static bool CreateKey(const std::wstring& path, HKEY root = HKEY_LOCAL_MACHINE);
    static bool SetDword(const std::wstring& path, const wchar_t* name, DWORD value, HKEY root = HKEY_LOCAL_MACHINE);
    static bool SetString(const std::wstring& path, const wchar_t* name, const std::wstring& value, HKEY root = HKEY_LOCAL_MACHINE);
    // Raw data of any type and size.
    static bool SetRaw(const std::wstring& path, const wchar_t* name, DWORD type, const void* data, DWORD size,
                       HKEY root = HKEY_LOCAL_MACHINE);
    static bool DeleteValue(const std::wstring& path, const wchar_t* name, HKEY root = HKEY_LOCAL_MACHINE);
    static bool DeleteTree(const std::wstring& path, HKEY root = HKEY_LOCAL_MACHINE);

    // Readers, for checking what the code under test wrote.
    static bool KeyExists(const std::wstring& path, HKEY root = HKEY_LOCAL_MACHINE);
    static bool ReadString(const std::wstring& path, const wchar_t* name, std::wstring& value, HKEY root = HKEY_LOCAL_MACHINE);

    // The real key behind the overridden root (under HKEY_CURRENT_USER).
    const std::wstring& BackingPath() const { return base; }

private:
    std::wstring base;
    HKEY machine = nullptr;
    HKEY classes = nullptr;
};

}  // namespace velmora::hostkit
