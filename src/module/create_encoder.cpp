#include "module/create_encoder.h"

#include <new>

#include "encoder/encoder_object.h"

namespace zelk {

IEncoderModule* CreateEncoderObject(HRESULT* result) {
  EncoderObject* object = new (std::nothrow) EncoderObject(nullptr, result);
  if (!object) return nullptr;
  IEncoderModule* face = object;
  face->AddRef();  // reaches the object's own count: 0 -> 1
  return face;
}

IUnknown* CreateEncoderInstance(IUnknown* outer, HRESULT* result) {
  EncoderObject* object = new (std::nothrow) EncoderObject(outer, result);
  if (!object) return nullptr;
  return object->InnerUnknown();
}

}  // namespace zelk
