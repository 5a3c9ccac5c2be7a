// The media type of the simulator's pins: an MPEG-2 program stream, no format block.
#include <dshow.h>

#include "sim_filter.h"

namespace zelk::sim {

void FillStreamType(AM_MEDIA_TYPE* type) {
  *type = AM_MEDIA_TYPE{};
  type->majortype = MEDIATYPE_Stream;
  type->subtype = MEDIASUBTYPE_MPEG2_PROGRAM;
  type->bTemporalCompression = TRUE;
  type->formattype = FORMAT_None;
}

bool IsStreamType(const AM_MEDIA_TYPE* type) {
  return type && IsEqualGUID(type->majortype, MEDIATYPE_Stream) &&
         IsEqualGUID(type->subtype, MEDIASUBTYPE_MPEG2_PROGRAM);
}

HRESULT CopyType(AM_MEDIA_TYPE* to, const AM_MEDIA_TYPE* from) {
  *to = *from;
  to->pbFormat = nullptr;
  to->cbFormat = 0;
  if (from->cbFormat && from->pbFormat) {
    to->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(from->cbFormat));
    if (!to->pbFormat) return E_OUTOFMEMORY;
    CopyMemory(to->pbFormat, from->pbFormat, from->cbFormat);
    to->cbFormat = from->cbFormat;
  }
  if (to->pUnk) to->pUnk->AddRef();
  return S_OK;
}

void FreeType(AM_MEDIA_TYPE* type) {
  CoTaskMemFree(type->pbFormat);
  if (type->pUnk) type->pUnk->Release();
  *type = AM_MEDIA_TYPE{};
}

}  // namespace zelk::sim
