// Registration with the search hosts that keep their own filter lists: the
// SharePoint search products (through their filter-registration objects) and
// the SQL Server full-text instances (through keys below each instance's root).
#pragma once

#include "registration/FileTypes.h"

#include <windows.h>

#include <string>
#include <vector>

namespace velmora {

// Adds (add = true) or removes the filter for the rows of one group on the
// SharePoint products, logging each product's outcome at level 3. Returns the
// result of the last of WSS3, SPS2003 and SPS2001 tried (the first that
// succeeds ends the sequence; SPS2007 is always tried and never decides it),
// or CoInitialize's failure code.
HRESULT UpdateSharePointRegistration(bool add, const CLSID* filterClass, const FileType* table, size_t count,
                                     int group);

// The TIFF rows alone on the SharePoint products, for the filter class
// (SpsTiffRegister and SpsTiffUnregister).
HRESULT UpdateSharePointTiffRegistration(bool add);

// The registry roots (relative to HKEY_LOCAL_MACHINE, each ending in "\") of
// the SQL Server full-text instances listed under
// "SOFTWARE\Microsoft\MSFTESQLInstMap", in enumeration order.
std::vector<std::wstring> FindSqlFullTextInstances();

// Writes the class key and one "Filters\<extension>" key per row below every
// instance root. S_OK; SELFREG_E_CLASS when any write under any instance
// failed (every row and instance is still attempted); E_FAIL when there is
// no instance.
HRESULT RegisterSqlFullTextFilter(const std::wstring& filterClass, const std::wstring& modulePath,
                                  const std::wstring& threadingModel, const FileType* table, size_t count);

// Removes the class key and those "Filters\<extension>" keys that still name
// the filter class; a key taken over by another filter is left alone and
// counts as a failure. Same results as RegisterSqlFullTextFilter.
HRESULT UnregisterSqlFullTextFilter(const std::wstring& filterClass, const FileType* table, size_t count);

}  // namespace velmora
