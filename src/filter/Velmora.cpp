// Placeholder until the engine lands.
#include "filter/Velmora.h"

namespace velmora {

CVelmora::CVelmora(const VelmoraConfiguration& configuration) : CFilter(configuration) {}
CVelmora::~CVelmora() = default;
STDMETHODIMP CVelmora::Init(ULONG, ULONG, const FULLPROPSPEC*, ULONG*) { return E_NOTIMPL; }
STDMETHODIMP CVelmora::GetChunk(STAT_CHUNK*) { return E_NOTIMPL; }
STDMETHODIMP CVelmora::GetText(ULONG*, WCHAR*) { return E_NOTIMPL; }
STDMETHODIMP CVelmora::GetValue(PROPVARIANT**) { return E_NOTIMPL; }
STDMETHODIMP CVelmora::Load(LPCOLESTR, DWORD) { return E_NOTIMPL; }

}  // namespace velmora
