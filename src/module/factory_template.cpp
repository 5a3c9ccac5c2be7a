#include "module/factory_template.h"

#include <zelk/encoder_module.h>

#include "module/create_encoder.h"

namespace zelk {

constexpr FactoryTemplate kFactoryTemplates[kFactoryTemplateCount] = {
    {L"ZelkEncoderMb86393", &CLSID_ZelkEncoder, &CreateEncoderInstance, nullptr, nullptr},
};

namespace {

constexpr bool EveryTemplateComplete() {
  for (const FactoryTemplate& entry : kFactoryTemplates) {
    if (!entry.name || !entry.name[0] || !entry.clsid || !entry.create) return false;
  }
  return true;
}

constexpr bool NoTemplateHasFilterSetup() {
  for (const FactoryTemplate& entry : kFactoryTemplates) {
    if (entry.filterSetup) return false;
  }
  return true;
}

static_assert(EveryTemplateComplete(), "every class needs a name, an identifier and a create function");
// The filter-mapper step of registration sends nothing; set-up data added here
// would need that step to pass it to the mapper.
static_assert(NoTemplateHasFilterSetup(), "no class carries filter set-up data");

}  // namespace

const FactoryTemplate* FindFactoryTemplate(REFCLSID clsid) {
  for (const FactoryTemplate& entry : kFactoryTemplates) {
    if (IsEqualCLSID(*entry.clsid, clsid)) return &entry;
  }
  return nullptr;
}

}  // namespace zelk
