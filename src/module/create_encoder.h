// Creation of encoder objects: the plain export's work and the factory
// template's instance-creation function.
#pragma once

#include <zelk/encoder_module.h>

namespace zelk {

// What the CreateEncoder export does: a new object with one reference on its
// IEncoderModule face, or null. The HRESULT pointer is neither read nor written.
IEncoderModule* CreateEncoderObject(HRESULT* result);

// The factory template's create function: the new object's nondelegating
// unknown with no reference taken (count 0), or null. A null outer unknown
// makes the object control itself. The HRESULT pointer is neither read nor written.
IUnknown* CreateEncoderInstance(IUnknown* outer, HRESULT* result);

}  // namespace zelk
