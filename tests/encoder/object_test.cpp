// Life of the encoder object: creation, interface lookup, reference counting,
// aggregation, Initialize and the state rules of the trivial slots.
#include <gtest/gtest.h>

#include "encoder/encoder_object.h"
#include "module/create_encoder.h"
#include "module/module_state.h"
#include "support/fakes.h"
#include "support/trace_capture.h"

namespace zelk {
namespace {

using test::CountingUnknown;
using test::OuterUnknown;

ULONG CountOf(IUnknown* unknown) {
  unknown->AddRef();
  return unknown->Release();
}

TEST(EncoderObjectLife, TwoObjectsAreDistinctAndEachStartsWithOneReference) {
  const LONG before = objectCount;
  HRESULT untouched = static_cast<HRESULT>(0x12345678);
  IEncoderModule* first = CreateEncoderObject(&untouched);
  IEncoderModule* second = CreateEncoderObject(nullptr);  // a null HRESULT pointer is never used
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_EQ(untouched, static_cast<HRESULT>(0x12345678));
  EXPECT_EQ(objectCount, before + 2);
  EXPECT_EQ(CountOf(first), 1u);
  EXPECT_EQ(CountOf(second), 1u);
  EXPECT_EQ(first->Release(), 0u);
  EXPECT_EQ(objectCount, before + 1);
  EXPECT_EQ(second->Release(), 0u);
  EXPECT_EQ(objectCount, before);
}

TEST(EncoderObjectLife, NewObjectHasTheDefaultSettings) {
  EncoderObject object(nullptr, nullptr);
  VideoSettings video{};
  AudioSettings audio{};
  PictureSettings picture{};
  VideoProcessing processing{};
  int32_t input = -1, volume = 0, mode = 0, status = 0;
  EXPECT_EQ(object.SetVideoSettings(nullptr, &video), S_OK);
  EXPECT_EQ(object.SetAudioSettings(nullptr, &audio), S_OK);
  EXPECT_EQ(object.SetPictureSettings(nullptr, &picture), S_OK);
  EXPECT_EQ(object.SetVideoProcessing(nullptr, &processing), S_OK);
  EXPECT_EQ(object.SetVolume(nullptr, &volume), S_OK);
  EXPECT_EQ(object.SetVideoInput(nullptr, &input), E_FAIL);  // state 0: InitializeEncoder refuses
  object.GetTunerMode(&mode, &status);
  EXPECT_EQ(input, 0);
  EXPECT_EQ(volume, -2594);
  EXPECT_EQ(mode, 3);
  EXPECT_EQ(object.tvChannel, 1u);
  EXPECT_EQ(video.videoType, 0);
  EXPECT_EQ(video.rateControl, 2);
  EXPECT_EQ(video.bitRate, 6000000);
  EXPECT_EQ(video.peakBitRate, 6000000);
  EXPECT_EQ(video.aspect16x9, 0);
  EXPECT_EQ(audio.audioBitRate, 224000);
  EXPECT_EQ(audio.audioChannels, 2);
  EXPECT_EQ(picture.brightness, 128);
  EXPECT_EQ(picture.contrast, 68);
  EXPECT_EQ(picture.saturation, 64);
  EXPECT_EQ(picture.hue, 0);
  EXPECT_EQ(processing.processingFlags, 0u);
  EXPECT_EQ(processing.filterMode, 1);
  EXPECT_EQ(object.state, kStateCreated);
  EXPECT_FALSE(object.enhancerPresent);
}

TEST(EncoderObjectLookup, UnknownFaceAndEncoderFaceShareOneCount) {
  IEncoderModule* encoder = CreateEncoderObject(nullptr);
  ASSERT_NE(encoder, nullptr);
  IUnknown* unknown = nullptr;
  ASSERT_EQ(encoder->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_NE(static_cast<void*>(unknown), static_cast<void*>(encoder));  // the inner face
  IEncoderModule* again = nullptr;
  ASSERT_EQ(unknown->QueryInterface(IID_IEncoderModule, reinterpret_cast<void**>(&again)), S_OK);
  EXPECT_EQ(again, encoder);
  EXPECT_EQ(CountOf(encoder), 3u);
  again->Release();
  unknown->Release();
  EXPECT_EQ(encoder->Release(), 0u);
}

TEST(EncoderObjectLookup, EveryOtherIdentifierIsRefusedWithNull) {
  IEncoderModule* encoder = CreateEncoderObject(nullptr);
  const IID refused[] = {IID_ITunerControl, IID_IDispatch, IID_IClassFactory, IID_IBaseFilter, IID_IKsPropertySet};
  for (const IID& iid : refused) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(encoder->QueryInterface(iid, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
  }
  EXPECT_EQ(encoder->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(CountOf(encoder), 1u);
  encoder->Release();
}

TEST(EncoderObjectLookup, AggregatedObjectDelegatesToTheOuterUnknown) {
  const LONG before = objectCount;
  OuterUnknown outer;
  IUnknown* inner = CreateEncoderInstance(&outer, nullptr);
  ASSERT_NE(inner, nullptr);
  outer.inner = inner;
  EXPECT_EQ(inner->AddRef(), 1u);  // the inner count goes 0 -> 1

  IEncoderModule* encoder = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IEncoderModule, reinterpret_cast<void**>(&encoder)), S_OK);
  EXPECT_EQ(outer.addRefs, 1);  // the face's AddRef went to the outer unknown
  EXPECT_EQ(outer.refs, 2);

  encoder->AddRef();
  encoder->Release();
  EXPECT_EQ(outer.addRefs, 2);
  EXPECT_EQ(outer.releases, 1);
  IUnknown* viaFace = nullptr;
  ASSERT_EQ(encoder->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaFace)), S_OK);
  EXPECT_EQ(viaFace, static_cast<IUnknown*>(&outer));  // identity is the outer's
  EXPECT_EQ(outer.queries, 1);
  viaFace->Release();
  encoder->Release();
  EXPECT_EQ(outer.refs, 1);

  EXPECT_EQ(objectCount, before + 1);
  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(objectCount, before);
}

TEST(EncoderObjectInitialize, KeepsOneReferenceOnTheNotificationInterface) {
  CountingUnknown first, second;
  IEncoderModule* encoder = CreateEncoderObject(nullptr);
  test::TraceCapture trace;
  EXPECT_EQ(encoder->Initialize("Software\\Host\\Board", &first), S_OK);
  EXPECT_EQ(first.refs, 2);
  ASSERT_EQ(trace.Lines().size(), 1u);
  EXPECT_EQ(trace.Lines()[0].rfind("Initialize RegKey:Software\\Host\\Board, Notify:", 0), 0u);
  EXPECT_EQ(encoder->Initialize("k", &second), S_OK);
  EXPECT_EQ(first.refs, 1);
  EXPECT_EQ(second.refs, 2);
  EXPECT_EQ(encoder->Initialize("k", &second), S_OK);  // the same one again
  EXPECT_EQ(second.refs, 2);
  EXPECT_EQ(encoder->Initialize(nullptr, nullptr), S_OK);  // null releases the one held
  EXPECT_EQ(second.refs, 1);
  EXPECT_EQ(encoder->Initialize("k", &first), S_OK);
  encoder->Release();  // destruction releases it
  EXPECT_EQ(first.refs, 1);
}

TEST(EncoderObjectStates, OperationsRefusedOrAcceptedPerState) {
  EncoderObject object(nullptr, nullptr);
  test::TraceCapture trace;
  // State 0: nothing to initialise, start or stop.
  EXPECT_EQ(object.InitializeEncoder(), E_FAIL);
  EXPECT_EQ(trace.LastStep(), 1);
  EXPECT_EQ(object.StartEncoder(), E_FAIL);
  EXPECT_EQ(object.StopEncoder(), E_FAIL);
  for (int32_t state : {0, 1, 3}) {
    object.state = state;
    EXPECT_EQ(object.UninitializeEncoder(), E_FAIL) << state;
    EXPECT_EQ(object.state, state);
  }
  object.state = kStateInitialized;
  EXPECT_EQ(object.UninitializeEncoder(), S_OK);
  EXPECT_EQ(object.state, kStateInitialized);
  // Start and stop switch between 2 and 3; repetitions are refused. Without the
  // enhancer unit ghost reduction sends nothing, so no filter is needed.
  EXPECT_EQ(object.StartEncoder(), S_OK);
  EXPECT_EQ(object.state, kStateEncoding);
  EXPECT_EQ(object.StartEncoder(), E_FAIL);
  EXPECT_EQ(object.InitializeEncoder(), E_FAIL);
  EXPECT_EQ(object.StopEncoder(), S_OK);
  EXPECT_EQ(object.state, kStateInitialized);
  EXPECT_EQ(object.StopEncoder(), E_FAIL);
}

TEST(EncoderObjectStates, ReservedSlotsAnswerTheirFixedResults) {
  EncoderObject object(nullptr, nullptr);
  for (int32_t state : {0, 1, 2, 3}) {
    object.state = state;
    EXPECT_EQ(object.Reserved5(state * 1000 - 7), S_OK);
    EXPECT_EQ(object.Reserved11(), E_NOTIMPL);
    EXPECT_EQ(object.Reserved12(), E_NOTIMPL);
    EXPECT_EQ(object.Reserved25(1, 2, 3, 4), E_NOTIMPL);
  }
  EXPECT_EQ(object.GraphReserved1(), E_NOTIMPL);
  EXPECT_EQ(object.GraphReserved2(), E_NOTIMPL);
  ITunerControl& tuner = object;
  EXPECT_EQ(tuner.TC_Reserved0(), S_OK);
  EXPECT_EQ(tuner.TC_Reserved1(), S_OK);
  EXPECT_EQ(tuner.TC_Reserved3(0), E_NOTIMPL);
  EXPECT_EQ(tuner.TC_Reserved6(0), E_NOTIMPL);
  EXPECT_EQ(tuner.TC_Reserved7(0), E_NOTIMPL);
  EXPECT_EQ(tuner.TC_Reserved10(0), E_NOTIMPL);
}

}  // namespace
}  // namespace zelk
