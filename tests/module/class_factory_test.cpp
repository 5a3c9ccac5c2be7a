// The class factory and the exports COM calls to get it and to ask whether
// the module may be unloaded, in-process against the core library.
#include <gtest/gtest.h>
#include <oaidl.h>

#include <atomic>
#include <thread>
#include <vector>

#include <zelk/encoder_module.h>

#include "allocation_failure.h"
#include "encoder/com_support.h"
#include "encoder/encoder_object.h"
#include "module/class_factory.h"
#include "module/module_state.h"
#include "support/fakes.h"

namespace zelk {
namespace {

// {0F2D4C1B-9E8A-4B37-A6C5-1D2E3F405162}: a class the module does not serve.
constexpr CLSID kOtherClass = {0x0f2d4c1b, 0x9e8a, 0x4b37, {0xa6, 0xc5, 0x1d, 0x2e, 0x3f, 0x40, 0x51, 0x62}};

void* const kGarbage = reinterpret_cast<void*>(static_cast<uintptr_t>(0xBAADF00D));

ComPtr<IClassFactory> GetFactory() {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(GetClassObject(CLSID_ZelkEncoder, IID_IClassFactory,
                           reinterpret_cast<void**>(factory.GetAddressOf())),
            S_OK);
  return factory;
}

TEST(GetClassObject, ChecksPointerThenInterfaceThenClass) {
  EXPECT_EQ(GetClassObject(kOtherClass, IID_IDispatch, nullptr), E_POINTER);

  void* out = kGarbage;
  EXPECT_EQ(GetClassObject(kOtherClass, IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  out = kGarbage;
  EXPECT_EQ(GetClassObject(CLSID_ZelkEncoder, IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  for (const IID* iid : {&IID_IUnknown, &IID_IClassFactory}) {
    out = kGarbage;
    EXPECT_EQ(GetClassObject(kOtherClass, *iid, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
  }
  EXPECT_EQ(objectCount, 0);
}

TEST(GetClassObject, OutOfMemoryLeavesNullAndNoFactory) {
  void* out = kGarbage;
  {
    test::NothrowAllocationFailure failure;
    EXPECT_EQ(GetClassObject(CLSID_ZelkEncoder, IID_IClassFactory, &out), E_OUTOFMEMORY);
  }
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(objectCount, 0);
}

TEST(GetClassObject, LiveFactoryHoldsOneReferenceAndKeepsModuleLoaded) {
  for (const IID* iid : {&IID_IUnknown, &IID_IClassFactory}) {
    IUnknown* factory = nullptr;
    ASSERT_EQ(GetClassObject(CLSID_ZelkEncoder, *iid, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(objectCount, 1);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->AddRef(), 2u);
    EXPECT_EQ(factory->Release(), 1u);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(objectCount, 0);
    EXPECT_EQ(CanUnloadNow(), S_OK);
  }
}

TEST(ClassFactory, QueryInterfaceOffersUnknownAndClassFactoryOnly) {
  ComPtr<IClassFactory> factory = GetFactory();
  EXPECT_EQ(factory->QueryInterface(IID_IClassFactory, nullptr), E_POINTER);
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(factory.As(&unknown), S_OK);
  EXPECT_EQ(unknown.Get(), static_cast<IUnknown*>(factory.Get()));
  void* out = kGarbage;
  EXPECT_EQ(factory->QueryInterface(IID_IEncoderModule, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
}

TEST(ClassFactory, CreatesEncoderWithOneReference) {
  ComPtr<IClassFactory> factory = GetFactory();
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IEncoderModule, nullptr), E_POINTER);

  IEncoderModule* encoder = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IEncoderModule, reinterpret_cast<void**>(&encoder)), S_OK);
  EXPECT_EQ(objectCount, 2);
  EXPECT_EQ(encoder->UninitializeEncoder(), E_FAIL);  // a new object is in state 0
  EXPECT_EQ(encoder->AddRef(), 2u);
  EXPECT_EQ(encoder->Release(), 1u);
  EXPECT_EQ(encoder->Release(), 0u);
  EXPECT_EQ(objectCount, 1);

  ComPtr<IUnknown> unknown;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(unknown.GetAddressOf())),
            S_OK);
  ComPtr<IEncoderModule> face;
  EXPECT_EQ(unknown.As(&face), S_OK);
  face.Reset();
  unknown.Reset();
  EXPECT_EQ(objectCount, 1);
}

TEST(ClassFactory, UnofferedInterfaceDestroysTheNewObjectAtOnce) {
  ComPtr<IClassFactory> factory = GetFactory();
  const long allocations = test::NothrowAllocations();
  void* out = kGarbage;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(test::NothrowAllocations(), allocations + 1);  // it was created...
  EXPECT_EQ(objectCount, 1);                                // ...and is gone again
}

TEST(ClassFactory, OutOfMemoryInCreateInstance) {
  ComPtr<IClassFactory> factory = GetFactory();
  void* out = kGarbage;
  {
    test::NothrowAllocationFailure failure;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IEncoderModule, &out), E_OUTOFMEMORY);
  }
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(objectCount, 1);
}

TEST(ClassFactory, AggregatedObjectHandsOutOnlyItsInnerUnknown) {
  ComPtr<IClassFactory> factory = GetFactory();
  test::OuterUnknown outer;

  const long allocations = test::NothrowAllocations();
  void* out = kGarbage;
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IEncoderModule, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(test::NothrowAllocations(), allocations);  // nothing was created
  EXPECT_EQ(objectCount, 1);

  IUnknown* inner = nullptr;
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
  outer.inner = inner;
  EXPECT_EQ(objectCount, 2);
  EXPECT_EQ(outer.refs, 1);  // creation takes no reference on the outer object

  // The inner unknown hands out the face, whose IUnknown calls reach the outer object.
  IEncoderModule* face = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IEncoderModule, reinterpret_cast<void**>(&face)), S_OK);
  EXPECT_EQ(outer.refs, 2);
  IUnknown* controlling = nullptr;
  ASSERT_EQ(face->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&controlling)), S_OK);
  EXPECT_EQ(controlling, static_cast<IUnknown*>(&outer));
  controlling->Release();
  face->Release();
  EXPECT_EQ(outer.refs, 1);

  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(objectCount, 1);
}

// A stand-in object for the create-function rows the encoder never produces.
class FakeInner : public INonDelegatingUnknown {
 public:
  HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE InnerAddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE InnerRelease() override { return 1; }
  ~FakeInner() override { ++destroyed; }
  static int destroyed;
};
int FakeInner::destroyed = 0;

IUnknown* CreateFailingObject(IUnknown*, HRESULT* result) {
  *result = E_ACCESSDENIED;
  return reinterpret_cast<IUnknown*>(static_cast<INonDelegatingUnknown*>(new FakeInner));
}

IUnknown* CreateNothingWithReason(IUnknown*, HRESULT* result) {
  *result = E_ACCESSDENIED;
  return nullptr;
}

TEST(ClassFactory, CreateFunctionFailuresArePassedOn) {
  const FactoryTemplate failing{L"Failing", &kOtherClass, &CreateFailingObject, nullptr, nullptr};
  const FactoryTemplate empty{L"Empty", &kOtherClass, &CreateNothingWithReason, nullptr, nullptr};
  ComPtr<IClassFactory> failingFactory(new ClassFactory(failing));
  ComPtr<IClassFactory> emptyFactory(new ClassFactory(empty));

  void* out = kGarbage;
  EXPECT_EQ(failingFactory->CreateInstance(nullptr, IID_IUnknown, &out), E_ACCESSDENIED);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(FakeInner::destroyed, 1);  // destroyed through its destructor
  EXPECT_EQ(emptyFactory->CreateInstance(nullptr, IID_IUnknown, &out), E_ACCESSDENIED);
  EXPECT_EQ(out, nullptr);
}

// Runs LockServer through a factory that is released again at once.
void LockServer(BOOL lock) { ASSERT_EQ(GetFactory()->LockServer(lock), S_OK); }

TEST(LockServer, OnlyAPositiveCountKeepsTheModuleLoaded) {
  ASSERT_EQ(serverLockCount, 0);
  LockServer(FALSE);
  EXPECT_EQ(serverLockCount, -1);
  EXPECT_EQ(CanUnloadNow(), S_OK);
  LockServer(TRUE);
  LockServer(TRUE);
  EXPECT_EQ(serverLockCount, 1);
  EXPECT_EQ(CanUnloadNow(), S_FALSE);
  LockServer(FALSE);
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST(ClassFactory, LiveEncoderKeepsModuleLoadedAfterFactoryIsGone) {
  ComPtr<IEncoderModule> encoder;
  ASSERT_EQ(GetFactory()->CreateInstance(nullptr, IID_IEncoderModule,
                                         reinterpret_cast<void**>(encoder.GetAddressOf())),
            S_OK);
  EXPECT_EQ(objectCount, 1);
  EXPECT_EQ(CanUnloadNow(), S_FALSE);
  encoder.Reset();
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

// Several threads take and drop references and server locks on one factory at
// once; no increment or decrement may be lost.
TEST(ClassFactory, CountsSurviveConcurrentCallers) {
  IClassFactory* factory = nullptr;
  ASSERT_EQ(GetClassObject(CLSID_ZelkEncoder, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  constexpr int kThreads = 4;
  constexpr int kRounds = 1000000;
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([factory, &ready] {
      ++ready;
      while (ready < kThreads) std::this_thread::yield();  // start together
      for (int i = 0; i < kRounds; ++i) {
        factory->AddRef();
        factory->LockServer(TRUE);
        factory->Release();
        factory->LockServer(FALSE);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(serverLockCount, 0);
  EXPECT_EQ(objectCount, 1);
  EXPECT_EQ(factory->AddRef(), 2u);
  EXPECT_EQ(factory->Release(), 1u);
  EXPECT_EQ(factory->Release(), 0u);
  EXPECT_EQ(objectCount, 0);
}

}  // namespace
}  // namespace zelk
