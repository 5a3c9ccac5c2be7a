// The table of classes this in-process server offers. COM asks for a class
// by identifier (DllGetClassObject); registration writes one set of keys per
// entry. The module serves exactly one class, the encoder object.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstddef>

namespace zelk {

// Creates a new object: returns its nondelegating unknown with no reference
// taken (count 0), or null. A null outer unknown makes the object control
// itself. The function may report a failure through the HRESULT.
using CreateInstanceFunction = IUnknown* (*)(IUnknown* outer, HRESULT* result);
// Called at process attach (loading true) and detach (loading false).
using TemplateInitRoutine = void (*)(bool loading, const CLSID* clsid);

struct FactoryTemplate {
  const wchar_t* name;           // registered as the class key's default value
  const CLSID* clsid;
  CreateInstanceFunction create;
  TemplateInitRoutine init;      // optional
  const void* filterSetup;       // optional filter-mapper data; no class here carries any
};

inline constexpr std::size_t kFactoryTemplateCount = 1;
extern const FactoryTemplate kFactoryTemplates[kFactoryTemplateCount];

// The entry for a class identifier, or null when the module does not serve it.
const FactoryTemplate* FindFactoryTemplate(REFCLSID clsid);

}  // namespace zelk
