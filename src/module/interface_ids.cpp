// The one definition of IID_IEncoderModule and CLSID_ZelkEncoder for the
// module, its tests and its tools: the public header declares them, and
// <initguid.h> placed after the system headers turns its declarations into
// definitions here.
#include <windows.h>
#include <ole2.h>
#include <strmif.h>

#include <initguid.h>

#include <zelk/encoder_module.h>
