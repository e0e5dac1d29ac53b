// The persistence faces of the filter engine, and the engine's one
// instantiation. GetClassID answers the concrete class's identifier;
// GetCurFile the loaded file's path. IPersistStream::Load and
// IInitializeWithStream::Initialize load the file that a named stream points
// at when it can be loaded; else the stream itself, read in place when it can
// seek; else a temporary copy of the stream that lives only for the one call.
// The stream is read from its current position to its end, never before it,
// and no reference to it is kept once the load returns.
#include "filter/Filter.h"

#include "config/VelmoraConfiguration.h"
#include "xmp/XmpPacket.h"

#include <cerrno>
#include <string>

namespace velmora {

namespace {

// Bytes asked for per read, and the stack buffer they land in.
constexpr ULONG kStreamReadSize = 4093;
constexpr size_t kStreamBufferSize = 4096;

// The errno value that the C runtime's access() reports for a Win32 error.
int ErrnoFromWin32(DWORD error) noexcept {
    struct Row {
        DWORD error;
        int errnoValue;
    };
    static const Row rows[] = {
        {ERROR_FILE_NOT_FOUND, ENOENT},      {ERROR_PATH_NOT_FOUND, ENOENT},  {ERROR_INVALID_DRIVE, ENOENT},
        {ERROR_BAD_NETPATH, ENOENT},         {ERROR_BAD_NET_NAME, ENOENT},    {ERROR_BAD_PATHNAME, ENOENT},
        {ERROR_FILENAME_EXCED_RANGE, ENOENT}, {ERROR_NO_MORE_FILES, ENOENT},  {ERROR_ACCESS_DENIED, EACCES},
        {ERROR_SHARING_VIOLATION, EACCES},   {ERROR_LOCK_VIOLATION, EACCES},  {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},
        {ERROR_OUTOFMEMORY, ENOMEM},         {ERROR_INVALID_HANDLE, EBADF},
    };
    for (const Row& row : rows) {
        if (row.error == error) return row.errnoValue;
    }
    return EINVAL;
}

// A file created by GetTempFileNameW, deleted when the owner goes out of
// scope unless it was deleted already.
class TemporaryFile {
public:
    TemporaryFile() = default;
    ~TemporaryFile() { Delete(); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Creates an empty file with a fresh name in directory; false with the
    // system error left in GetLastError() when that fails.
    bool Create(const std::wstring& directory) {
        if (!GetTempFileNameW(directory.c_str(), L"", 0, name)) return false;
        created = true;
        const DWORD attributes = GetFileAttributesW(name);
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED)) {
            SetFileAttributesW(name, attributes | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
        }
        return true;
    }
    void Delete() noexcept {
        if (created) DeleteFileW(name);
        created = false;
    }
    const wchar_t* Name() const noexcept { return name; }

private:
    wchar_t name[MAX_PATH] = {};
    bool created = false;
};

// Copies the rest of stream into the file at path, 4093 bytes per read. The
// file is closed again before this returns, whatever the outcome.
// CREATE_ALWAYS replaces the attributes of the existing file with the ones
// given here, so the not-content-indexed mark is given again.
HRESULT CopyStreamToFile(IStream* stream, const wchar_t* path) {
    UniqueFileHandle file(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED, nullptr));
    if (!file) return E_FAIL;

    BYTE buffer[kStreamBufferSize];
    uint32_t bytesWritten = 0;
    HRESULT result = S_OK;
    for (;;) {
        ULONG bytesRead = 0;
        const HRESULT hr = stream->Read(buffer, kStreamReadSize, &bytesRead);
        if (hr == HRESULT_FROM_WIN32(ERROR_HANDLE_EOF)) break;
        if (FAILED(hr)) {
            result = hr;
            break;
        }
        // A stream that claims more than it was asked for has not filled the
        // buffer with that much: nothing of it can be trusted.
        if (bytesRead > kStreamReadSize) {
            result = E_FAIL;
            break;
        }
        if (bytesRead > 0) {
            DWORD written = 0;
            if (!WriteFile(file.Get(), buffer, bytesRead, &written, nullptr) || written != bytesRead) {
                result = E_FAIL;
                break;
            }
            bytesWritten += written;
        }
        if (bytesRead != kStreamReadSize) break;
    }
    debugger.LogFormat(3, L"INFO: bytesWritten = %d \n", static_cast<int32_t>(bytesWritten));
    return result;
}

}  // namespace

template <class Document, class Configuration>
STDMETHODIMP CFilter<Document, Configuration>::GetClassID(CLSID* pClassID) {
    if (!pClassID) return E_POINTER;
    *pClassID = ClassId();
    return S_OK;
}

template <class Document, class Configuration>
STDMETHODIMP CFilter<Document, Configuration>::GetCurFile(LPOLESTR* ppszFileName) {
    if (!ppszFileName) return E_POINTER;
    if (!documentPath) return E_FAIL;
    *ppszFileName = CoTaskMemStrDup(documentPath.get());
    return *ppszFileName ? S_OK : E_OUTOFMEMORY;
}

template <class Document, class Configuration>
STDMETHODIMP CFilter<Document, Configuration>::Load(IStream* pStm) {
    return ExceptionBoundary([&]() -> HRESULT {
        debugger.Log(2, L"INFO: entered IPersistStream::Load \n");
        if (!pStm) return E_INVALIDARG;

        STATSTG stat = {};
        const HRESULT statResult = pStm->Stat(&stat, STATFLAG_DEFAULT);
        if (FAILED(statResult)) {
            debugger.LogFormat(1, L"INFO: Unable to retrieve STAT from IStorage stream. Error = 0x%08x \n",
                               static_cast<int32_t>(statResult));
        } else {
            CoTaskMemPtr<wchar_t> returnedName(stat.pwcsName);
            debugger.LogFormat(3, L"INFO: stream size = %d \n", static_cast<int32_t>(stat.cbSize.LowPart));
            if (!returnedName || !*returnedName) {
                debugger.Log(3, L"INFO: IStorage has no name \n");
            } else {
                const std::wstring name(returnedName.get());
                returnedName.reset();
                debugger.LogFormat(2, L"INFO: IStorage name is %s \n", name.c_str());
                // The stream stands for a file that is there: load that file
                // itself. A host that may not open it (a low-rights filter
                // host, a file locked by its owner) still has the stream.
                if (GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES) {
                    const HRESULT fileResult = this->Load(name.c_str(), 0);
                    // Out of memory the stream would fail the same way.
                    if (SUCCEEDED(fileResult) || fileResult == E_OUTOFMEMORY) return fileResult;
                    debugger.LogFormat(2, L"INFO: the named file could not be loaded (0x%08x), reading the stream \n",
                                       static_cast<int32_t>(fileResult));
                } else {
                    debugger.LogFormat(3, L"INFO: access() return code = %d \n",
                                       static_cast<int32_t>(ErrnoFromWin32(GetLastError())));
                }
            }
        }

        StreamSource source;
        const HRESULT seekResult = source.Open(pStm);
        HRESULT result = S_OK;
        if (SUCCEEDED(seekResult)) {
            debugger.Log(2, L"INFO: reading the stream in place \n");
            debugger.LogFormat(3, L"INFO: stream bytes to read = %s \n", std::to_wstring(source.Size()).c_str());
            result = LoadSource(source);
        } else {
            debugger.LogFormat(2, L"INFO: the stream cannot seek (0x%08x), copying it to a temporary file \n",
                               static_cast<int32_t>(seekResult));
            result = LoadThroughTemporaryCopy(pStm);
        }
        debugger.Log(2, L"INFO: exited IPersistStream::Load \n");
        return result;
    });
}

template <class Document, class Configuration>
HRESULT CFilter<Document, Configuration>::LoadThroughTemporaryCopy(IStream* pStm) {
    TemporaryFile copy;
    if (!copy.Create(configuration->tempDirectory)) {
        debugger.LogFormat(1, L"ERROR: CreateTempFilename() failure, error code = %d \n",
                           static_cast<int32_t>(GetLastError()));
        debugger.LogFormat(1, L"ERROR: temp path for CreateTempFilename() is %s \n",
                           configuration->tempDirectory.c_str());
        return E_FAIL;
    }
    const HRESULT copied = CopyStreamToFile(pStm, copy.Name());
    if (FAILED(copied)) {
        copy.Delete();
        debugger.Log(1, L"ERROR: saving Stream to temporary file failed \n");
        return copied;
    }
    const HRESULT result = this->Load(copy.Name(), 0);
    // The document, if any, has been parsed and the file closed. The copy
    // goes at once, loaded or not, and the object must not go on naming a
    // file that no longer exists.
    copy.Delete();
    documentPath.reset();
    return result;
}

template <class Document, class Configuration>
STDMETHODIMP CFilter<Document, Configuration>::Initialize(IStream* pstream, DWORD /*grfMode*/) {
    debugger.Log(2, L"INFO: entered IInitializeWithStream::Initialize \n");
    if (initializedWithStream) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
    const HRESULT hr = Load(pstream);
    if (SUCCEEDED(hr)) initializedWithStream = true;
    return hr;
}

// The engine of the one filter class this module serves.
template class CFilter<XmpPacket, VelmoraConfiguration>;

}  // namespace velmora
