#include "RegistrySandbox.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <cwchar>

namespace velmora::test {

namespace {

HKEY CreateBacking(const std::wstring& path) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
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
        EXPECT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine));
    }
    if (roots & ClassesRoot) {
        classes = CreateBacking(base + L"\\HKCR");
        EXPECT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CLASSES_ROOT, classes));
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

void RegistrySandbox::CreateKey(const std::wstring& path, HKEY root) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
}

void RegistrySandbox::SetRaw(const std::wstring& path, const wchar_t* name, DWORD type, const void* data, DWORD size, HKEY root) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size));
    RegCloseKey(key);
}

void RegistrySandbox::SetDword(const std::wstring& path, const wchar_t* name, DWORD value, HKEY root) {
    SetRaw(path, name, REG_DWORD, &value, sizeof value, root);
}

void RegistrySandbox::SetString(const std::wstring& path, const wchar_t* name, const std::wstring& value, HKEY root) {
    SetRaw(path, name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)), root);
}

void RegistrySandbox::DeleteValue(const std::wstring& path, const wchar_t* name, HKEY root) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    RegDeleteValueW(key, name);
    RegCloseKey(key);
}

void RegistrySandbox::DeleteTree(const std::wstring& path, HKEY root) { SHDeleteKeyW(root, path.c_str()); }

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

}  // namespace velmora::test
