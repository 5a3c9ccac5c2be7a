#include "enumerators.h"

#include <new>

#include "sim_filters.h"

namespace zelk::sim {
namespace {

// Shared reference counting and position handling; Item() yields the element
// at an index with one reference (or a new copy), Count() the number of them.
template <typename Interface, typename Element, typename Derived>
class Enumerator : public Interface {
 public:
  explicit Enumerator(ULONG position) : position_(position) { AddLiveObject(); }
  virtual ~Enumerator() { RemoveLiveObject(); }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, __uuidof(Interface))) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG refs = InterlockedDecrement(&refs_);
    if (refs == 0) delete this;
    return refs;
  }

  STDMETHODIMP Next(ULONG count, Element* items, ULONG* fetched) override {
    if (!items || (count > 1 && !fetched)) return E_POINTER;
    ULONG done = 0;
    auto* self = static_cast<Derived*>(this);
    while (done < count && position_ < self->Count()) {
      if (FAILED(self->Item(position_, &items[done]))) break;
      ++position_;
      ++done;
    }
    if (fetched) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    const ULONG total = static_cast<Derived*>(this)->Count();
    if (count > total - position_) {
      position_ = total;
      return S_FALSE;
    }
    position_ += count;
    return S_OK;
  }
  STDMETHODIMP Reset() override {
    position_ = 0;
    return S_OK;
  }

 protected:
  ULONG position_;

 private:
  LONG refs_ = 1;
};

class PinEnumerator final : public Enumerator<IEnumPins, IPin*, PinEnumerator> {
 public:
  PinEnumerator(SimFilter* filter, ULONG position) : Enumerator(position), filter_(filter), hold_(filter) {}

  ULONG Count() const { return static_cast<ULONG>(filter_->PinCount()); }
  HRESULT Item(ULONG index, IPin** pin) {
    *pin = filter_->PinAt(index);
    (*pin)->AddRef();
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumPins** out) override { return CreatePinEnumerator(filter_, position_, out); }

 private:
  SimFilter* const filter_;
  const Microsoft::WRL::ComPtr<IBaseFilter> hold_;  // keeps the filter alive
};

class TypeEnumerator final : public Enumerator<IEnumMediaTypes, AM_MEDIA_TYPE*, TypeEnumerator> {
 public:
  TypeEnumerator(IPin* pin, ULONG position) : Enumerator(position), pin_(pin) {}

  ULONG Count() const { return 1; }
  HRESULT Item(ULONG, AM_MEDIA_TYPE** type) {
    *type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!*type) return E_OUTOFMEMORY;
    FillStreamType(*type);
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumMediaTypes** out) override { return CreateTypeEnumerator(pin_.Get(), position_, out); }

 private:
  const Microsoft::WRL::ComPtr<IPin> pin_;
};

}  // namespace

HRESULT CreatePinEnumerator(SimFilter* filter, ULONG position, IEnumPins** out) {
  if (!out) return E_POINTER;
  *out = new (std::nothrow) PinEnumerator(filter, position);
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT CreateTypeEnumerator(IPin* pin, ULONG position, IEnumMediaTypes** out) {
  if (!out) return E_POINTER;
  *out = new (std::nothrow) TypeEnumerator(pin, position);
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace zelk::sim
