#include "session.h"

#include <vector>

#include "encoder/com_support.h"
#include "process_probes.h"
#include "text.h"

namespace bench {
namespace {

// A deterministic image: a tag, then a fixed byte pattern.
std::vector<uint8_t> MakeImage(size_t bytes) {
  static constexpr char kTag[] = "ZELK-BENCH-IMAGE";
  std::vector<uint8_t> image(bytes);
  for (size_t i = 0; i < bytes; ++i) {
    image[i] = i < sizeof kTag - 1 ? static_cast<uint8_t>(kTag[i]) : static_cast<uint8_t>((i * 31 + 7) & 0xFF);
  }
  return image;
}

HRESULT WriteWholeFile(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(GetLastError());
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size() ? S_OK : E_FAIL;
}

}  // namespace

Session::~Session() { ReleaseAll(); }

void Session::ReleaseAll() {
  // Every interface of the module goes before the module itself.
  for (Subject* subject : {&plain, &enhanced}) {
    subject->encoder.Reset();
    subject->graph.Reset();
  }
  scratch.Reset();
  board_.Reset();
  if (module_) FreeLibrary(module_);
  module_ = nullptr;
}

bool Session::Open(std::string* error) {
  if (!folder_.CreateWithFirmware(zelkhost::ProgramFolder() + zelkhost::kFirmwareFile, error)) return false;
  module_ = LoadLibraryExW(folder_.ModulePath().c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module_) {
    *error = "cannot load " + zelktext::Narrow(folder_.ModulePath());
    return false;
  }
  createEncoder_ =
      reinterpret_cast<PFN_CreateEncoder>(reinterpret_cast<void*>(GetProcAddress(module_, "CreateEncoder")));
  if (!createEncoder_) {
    *error = "zelkenc.dll has no CreateEncoder export";
    return false;
  }
  ComPtr<IUnknown> filter;
  HRESULT hr = CoCreateInstance(CLSID_ZelkSimCapture, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                reinterpret_cast<void**>(filter.GetAddressOf()));
  if (SUCCEEDED(hr)) hr = filter->QueryInterface(IID_ISimBoardControl, reinterpret_cast<void**>(board_.GetAddressOf()));
  if (FAILED(hr)) {
    *error = "the simulated board is not registered (wine regsvr32 zelksim.dll)";
    return false;
  }
  // The board's log clock starts at its reset.
  const int64_t before = NowUs();
  board_->Reset();
  boardEpochUs_ = (before + NowUs()) / 2;
  if (FAILED(UseImage(kSmallImage)) || FAILED(NewSubject(plain)) || FAILED(NewSubject(enhanced))) {
    *error = "cannot prepare the image or the encoders";
    return false;
  }
  return true;
}

HRESULT Session::NewEncoder(ComPtr<IEncoderModule>& encoder) {
  zelk::Adopt(encoder, createEncoder_(nullptr));
  return encoder ? S_OK : E_OUTOFMEMORY;
}

HRESULT Session::NewSubject(Subject& subject) {
  ZELK_RETURN_IF_FAILED(NewEncoder(subject.encoder));
  ZELK_RETURN_IF_FAILED(subject.encoder->Initialize("bench", nullptr));
  // Before the board is attached the input is only stored; the
  // re-initialisation that follows is refused.
  int32_t stored = -1;
  subject.encoder->SetVideoInput(&subject.input, &stored);
  if (stored != subject.input) return E_FAIL;
  return FreshGraph(subject);
}

HRESULT Session::BeginRun(const Subject& subject) {
  ZELK_RETURN_IF_FAILED(board_->SetDecoderReadyAfterReads(0));
  return board_->SetBoardCode(subject.boardCode);
}

HRESULT Session::UseImage(size_t bytes) {
  if (imageBytes_ == bytes) return S_OK;
  ZELK_RETURN_IF_FAILED(WriteWholeFile(folder_.FirmwarePath(), MakeImage(bytes)));
  imageBytes_ = bytes;
  return S_OK;
}

HRESULT Session::HideImage() {
  imageBytes_ = 0;
  return DeleteFileW(folder_.FirmwarePath().c_str()) ? S_OK : HRESULT_FROM_WIN32(GetLastError());
}

HRESULT Session::FreshGraph(Subject& subject) {
  if (subject.attached) ZELK_RETURN_IF_FAILED(Unload(subject));
  return CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                          reinterpret_cast<void**>(subject.graph.ReleaseAndGetAddressOf()));
}

HRESULT Session::EnsureAttached(Subject& subject) {
  if (subject.attached) return S_OK;
  ZELK_RETURN_IF_FAILED(Load(subject));
  if (subject.processingFlags == 0 || subject.processingSet) return S_OK;
  // The flags of the enhancer unit are accepted once the module knows the unit is there.
  VideoProcessing processing{};
  subject.encoder->SetVideoProcessing(nullptr, &processing);
  processing.processingFlags = subject.processingFlags;
  ZELK_RETURN_IF_FAILED(subject.encoder->SetVideoProcessing(&processing, nullptr));
  subject.processingSet = true;
  return S_OK;
}

HRESULT Session::EnsureIdle(Subject& subject) {
  ZELK_RETURN_IF_FAILED(EnsureAttached(subject));
  if (subject.state == 3) ZELK_RETURN_IF_FAILED(Stop(subject));
  return subject.state < 2 ? Initialise(subject) : S_OK;
}

HRESULT Session::EnsureStarted(Subject& subject) {
  ZELK_RETURN_IF_FAILED(EnsureIdle(subject));
  return Start(subject);
}

HRESULT Session::Load(Subject& subject) {
  ComPtr<IPin> pin;  // the host's reference
  int32_t valueA = 0, valueB = 0;
  const HRESULT hr = subject.encoder->LoadEncoder(subject.graph.Get(), pin.GetAddressOf(), &valueA, &valueB);
  if (SUCCEEDED(hr)) {
    subject.attached = true;
    subject.state = 1;
  }
  return hr;
}

HRESULT Session::Unload(Subject& subject) {
  const HRESULT hr = subject.encoder->UnloadEncoder(subject.graph.Get());
  subject.attached = false;
  return hr;
}

HRESULT Session::Initialise(Subject& subject) {
  const HRESULT hr = subject.encoder->InitializeEncoder();
  if (SUCCEEDED(hr)) subject.state = 2;
  return hr;
}

HRESULT Session::SelectInput(Subject& subject) {
  const HRESULT hr = subject.encoder->SetVideoInput(&subject.input, nullptr);
  if (SUCCEEDED(hr) && subject.state < 3) subject.state = 2;
  return hr;
}

HRESULT Session::Start(Subject& subject) {
  const HRESULT hr = subject.encoder->StartEncoder();
  if (subject.state == 2) subject.state = 3;  // also when the ghost reducer failed
  return hr;
}

HRESULT Session::Stop(Subject& subject) {
  const HRESULT hr = subject.encoder->StopEncoder();
  if (SUCCEEDED(hr)) subject.state = 2;
  return hr;
}

}  // namespace bench
