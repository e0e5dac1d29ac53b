// The host-side kit's drain as a judge of the chunk protocol: a filter that
// keeps the protocol but for one breach, and the fault the checked drain
// names for it. A host that does not check goes past every breach.
#include "ChunkDrain.h"
#include "ComPtr.h"
#include "TestSupport.h"

#include "common/ComObject.h"

#include <filter.h>
#include <filterr.h>
#include <objbase.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace velmora::test {
namespace {

enum class Breach { None, IdSkipped, SecondValue, UndeclaredType, TextOnValueChunk, ShortPiece, EndNotKept, NoEnd };

// One value chunk (id 1, VT_INT 7) and one text chunk (id 2, "abcd"), then
// the end (or more text chunks, for NoEnd), with the breach put in.
class OneBreachFilter final : public ComObject<IFilter> {
public:
    explicit OneBreachFilter(Breach breach) : breach(breach) {}

    bool Offers(REFIID riid) const override { return IsEqualIID(riid, IID_IFilter); }

    SCODE STDMETHODCALLTYPE Init(ULONG, ULONG, const FULLPROPSPEC*, ULONG*) override { return S_OK; }
    SCODE STDMETHODCALLTYPE GetChunk(STAT_CHUNK* stat) override {
        *stat = STAT_CHUNK{};
        if (++current > 2 && breach != Breach::NoEnd)
            return ++ends > 1 && breach == Breach::EndNotKept ? S_OK : FILTER_E_END_OF_CHUNKS;
        stat->idChunk = stat->idChunkSource = breach == Breach::IdSkipped ? current + 1 : current;
        stat->flags = current == 1 ? CHUNK_VALUE : CHUNK_TEXT;
        stat->attribute.psProperty.ulKind = PRSPEC_PROPID;
        stat->attribute.psProperty.propid = 2;
        valuesGiven = 0;
        textGiven = 0;
        return S_OK;
    }
    SCODE STDMETHODCALLTYPE GetText(ULONG* size, WCHAR* buffer) override {
        if (current == 1) return breach == Breach::TextOnValueChunk ? S_OK : FILTER_E_NO_TEXT;
        static const wchar_t text[] = L"abcd";
        if (textGiven == 4) return FILTER_E_NO_MORE_TEXT;
        const ULONG piece = breach == Breach::ShortPiece ? 1 : std::min<ULONG>(*size, 4 - textGiven);
        std::memcpy(buffer, text + textGiven, piece * sizeof(WCHAR));
        *size = piece;
        textGiven += piece;
        return textGiven == 4 ? FILTER_S_LAST_TEXT : S_OK;
    }
    SCODE STDMETHODCALLTYPE GetValue(PROPVARIANT** value) override {
        if (current != 1) return FILTER_E_NO_VALUES;
        if (valuesGiven++ > 0 && breach != Breach::SecondValue) return FILTER_E_NO_MORE_VALUES;
        *value = static_cast<PROPVARIANT*>(CoTaskMemAlloc(sizeof(PROPVARIANT)));
        PropVariantInit(*value);
        (*value)->vt = breach == Breach::UndeclaredType ? VT_I2 : VT_INT;
        (*value)->intVal = 7;
        return S_OK;
    }
    SCODE STDMETHODCALLTYPE BindRegion(FILTERREGION, REFIID, void**) override { return E_NOTIMPL; }

private:
    const Breach breach;
    ULONG current = 0;
    int ends = 0;
    int valuesGiven = 0;
    ULONG textGiven = 0;
};

// Counts what reaches a host.
struct Counter : hostkit::ChunkVisitor {
    int chunks = 0;
    int values = 0;
    std::wstring text;
    void Chunk(const STAT_CHUNK&) override { ++chunks; }
    void Value(HRESULT hr, const PROPVARIANT*) override { values += hr == S_OK; }
    void Text(HRESULT, const WCHAR* piece, ULONG size) override {
        if (piece) text.append(piece, size);
    }
};

TEST(DrainProtocol, TheCheckedDrainNamesEachBreach) {
    struct Case {
        Breach breach;
        HRESULT end;
        std::string fault;
    };
    const Case cases[] = {
        {Breach::None, FILTER_E_END_OF_CHUNKS, ""},
        {Breach::IdSkipped, S_OK, "chunk ids out of sequence"},
        {Breach::SecondValue, S_OK, "second GetValue returned 0x00000000"},
        {Breach::UndeclaredType, S_OK, "value of an undeclared type"},
        {Breach::TextOnValueChunk, S_OK, "GetText on a value chunk returned 0x00000000"},
        {Breach::ShortPiece, S_OK, "GetText handed out a wrong size"},
        {Breach::EndNotKept, FILTER_E_END_OF_CHUNKS, "GetChunk after the end returned 0x00000000"},
        {Breach::NoEnd, E_ABORT, "no end of chunks"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.breach));
        ComPtr<IFilter> filter(new OneBreachFilter(c.breach));
        hostkit::DrainOptions options;
        options.textBuffer = 2;
        options.maxChunks = 5;
        options.checkProtocol = true;
        Counter counter;
        const hostkit::DrainEnd end = hostkit::DrainChunks(filter.Get(), options, counter);
        EXPECT_HR(c.end, end.end);
        EXPECT_EQ(c.fault, end.fault);
    }
}

TEST(DrainProtocol, AnUncheckedDrainTakesWhatTheFilterGives) {
    const Breach breaches[] = {Breach::IdSkipped, Breach::UndeclaredType, Breach::TextOnValueChunk, Breach::EndNotKept};
    for (Breach breach : breaches) {
        SCOPED_TRACE(static_cast<int>(breach));
        ComPtr<IFilter> filter(new OneBreachFilter(breach));
        Counter counter;
        const hostkit::DrainEnd end = hostkit::DrainChunks(filter.Get(), hostkit::DrainOptions{}, counter);
        EXPECT_HR(FILTER_E_END_OF_CHUNKS, end.end);
        EXPECT_EQ("", end.fault);
        EXPECT_EQ(2u, end.chunks);
        EXPECT_EQ(2, counter.chunks);
        EXPECT_EQ(1, counter.values);
        EXPECT_EQ(L"abcd", counter.text);
    }
}

}  // namespace
}  // namespace velmora::test
