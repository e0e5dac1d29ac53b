// Expanding "[*]" steps of a definition path over one document's model.
#include "xmp/WildcardPaths.h"

#include "common/Memory.h"
#include "common/Win32.h"
#include "diag/Debugger.h"

#include <new>

namespace velmora {

namespace {

constexpr char kWildcard[] = "[*]";
constexpr size_t kWildcardLength = sizeof(kWildcard) - 1;

class Expander {
public:
    Expander(const SXMPMeta& meta, const std::string& schemaNS, std::vector<std::string>& leaves)
        : meta(meta), schemaNS(schemaNS), leaves(leaves) {}

    // Expands the first "[*]" of path at or after `from`; recursion depth is
    // the number of "[*]" steps in the path.
    void Expand(const std::string& path, size_t from) {
        const size_t star = path.find(kWildcard, from);
        if (star == std::string::npos) {
            Leaf(path);
            return;
        }
        const std::string array = path.substr(0, star);
        const std::string rest = path.substr(star + kWildcardLength);
        const XMP_Index count = Count(array);
        std::string item;
        for (XMP_Index i = 1; i <= count && !Full(); ++i) {
            ++steps;
            item.assign(array).append("[").append(std::to_string(i)).append("]");
            const size_t next = item.size();
            item.append(rest);
            Expand(item, next);
        }
    }

    bool Cut() const { return cut; }

private:
    bool Full() {
        if (leaves.size() >= kMaxWildcardLeaves || steps >= kMaxWildcardSteps) cut = true;
        return cut;
    }

    // The items of an array, 0 for anything else or a path the toolkit refuses.
    XMP_Index Count(const std::string& array) {
        try {
            XMP_OptionBits options = 0;
            if (!meta.GetProperty(schemaNS.c_str(), array.c_str(), nullptr, &options)) return 0;
            if (!(options & kXMP_PropValueIsArray)) return 0;
            return meta.CountArrayItems(schemaNS.c_str(), array.c_str());
        } catch (const XMP_Error& error) {
            ThrowIfOutOfMemory(error);
            return 0;
        }
    }

    // A simple value is one leaf; an array, each of its items.
    void Leaf(const std::string& path) {
        XMP_OptionBits options = 0;
        try {
            if (!meta.GetProperty(schemaNS.c_str(), path.c_str(), nullptr, &options)) return;
        } catch (const XMP_Error& error) {
            ThrowIfOutOfMemory(error);
            return;
        }
        if (!(options & kXMP_PropCompositeMask)) {
            leaves.push_back(path);
            return;
        }
        if (!(options & kXMP_PropValueIsArray)) return;  // a structure has no value
        const XMP_Index count = Count(path);
        for (XMP_Index i = 1; i <= count && !Full(); ++i) {
            ++steps;
            leaves.push_back(path + "[" + std::to_string(i) + "]");
        }
    }

    const SXMPMeta& meta;
    const std::string& schemaNS;
    std::vector<std::string>& leaves;
    size_t steps = 0;
    bool cut = false;
};

}  // namespace

bool IsWildcardPath(const std::string& path) { return path.find(kWildcard) != std::string::npos; }

bool ExpandWildcardPath(const SXMPMeta& meta, const std::string& schemaNS, const std::string& path,
                        std::vector<std::string>& leaves) {
    Expander expander(meta, schemaNS, leaves);
    TakeAllocationFailure();
    expander.Expand(path, 0);
    // Memory the toolkit ran out of must not pass for fewer items.
    if (TakeAllocationFailure()) throw std::bad_alloc();
    if (expander.Cut()) {
        debugger.LogFormat(2, L"INFO: %s reaches more items than are read; the rest are left out \n",
                           Utf8ToWide(path).c_str());
    }
    return !expander.Cut();
}

}  // namespace velmora
