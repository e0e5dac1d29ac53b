#include "RegistrySandbox.h"

#include "Failures.h"

#include <shlwapi.h>

#include <cstdio>

#include <cwchar>

namespace velmora::hostkit {

namespace {

// True for ERROR_SUCCESS; otherwise reports what failed with its code.
bool Succeeded(LONG result, const char* what, const std::wstring& path) {
    if (result == ERROR_SUCCESS) return true;
    char message[512];
    std::snprintf(message, sizeof message, "registry sandbox: %s %ls failed with %ld", what, path.c_str(), result);
    ReportFailure(message);
    return false;
}

HKEY CreateBacking(const std::wstring& path) {
    HKEY key = nullptr;
    Succeeded(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              "creating", path);
    return key;
}

}  // namespace

RegistrySandbox::RegistrySandbox(Roots roots) {
    static LONG counter = 0;
    wchar_t name[128];
    swprintf(name, 128, L"Software\\VelmoraTests\\%lu-%ld", GetCurrentProcessId(), InterlockedIncrement(&counter));
    base = name;
    SHDeleteKeyW(HKEY_CURRENT_USER, base.c_str());
    if (roots & LocalMachine) {
        machine = CreateBacking(base + L"\\HKLM");
        Succeeded(RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine), "overriding HKEY_LOCAL_MACHINE with", base);
    }
    if (roots & ClassesRoot) {
        classes = CreateBacking(base + L"\\HKCR");
        Succeeded(RegOverridePredefKey(HKEY_CLASSES_ROOT, classes), "overriding HKEY_CLASSES_ROOT with", base);
    }
}

RegistrySandbox::~RegistrySandbox() {
    if (machine) {
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        RegCloseKey(machine);
    }
    if (classes) {
        RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        RegCloseKey(classes);
    }
    SHDeleteKeyW(HKEY_CURRENT_USER, base.c_str());
}

bool RegistrySandbox::CreateKey(const std::wstring& path, HKEY root) {
    HKEY key = nullptr;
    if (!Succeeded(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), "creating",
                   path))
        return false;
    RegCloseKey(key);
    return true;
}

bool RegistrySandbox::SetRaw(const std::wstring& path, const wchar_t* name, DWORD type, const void* data, DWORD size, HKEY root) {
    HKEY key = nullptr;
    if (!Succeeded(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), "creating",
                   path))
        return false;
    const bool set = Succeeded(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), "setting a value in", path);
    RegCloseKey(key);
    return set;
}

bool RegistrySandbox::SetDword(const std::wstring& path, const wchar_t* name, DWORD value, HKEY root) {
    return SetRaw(path, name, REG_DWORD, &value, sizeof value, root);
}

bool RegistrySandbox::SetString(const std::wstring& path, const wchar_t* name, const std::wstring& value, HKEY root) {
    return SetRaw(path, name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)), root);
}

bool RegistrySandbox::DeleteValue(const std::wstring& path, const wchar_t* name, HKEY root) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
    const bool deleted = RegDeleteValueW(key, name) == ERROR_SUCCESS;
    RegCloseKey(key);
    return deleted;
}

bool RegistrySandbox::DeleteTree(const std::wstring& path, HKEY root) {
    return SHDeleteKeyW(root, path.c_str()) == ERROR_SUCCESS;
}

bool RegistrySandbox::KeyExists(const std::wstring& path, HKEY root) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool RegistrySandbox::ReadString(const std::wstring& path, const wchar_t* name, std::wstring& value, HKEY root) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    wchar_t buffer[2048] = {};
    DWORD type = 0;
    DWORD size = sizeof buffer - sizeof(wchar_t);
    const LONG result = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ) return false;
    value = buffer;
    return true;
}

}  // namespace velmora::hostkit
