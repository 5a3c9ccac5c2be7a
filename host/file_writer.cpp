#include "file_writer.h"

#include <wrl/client.h>

namespace zelkhost {

HRESULT ConnectFileWriter(IGraphBuilder* graph, IPin* pin, const wchar_t* path) {
  Microsoft::WRL::ComPtr<IBaseFilter> writer;
  Microsoft::WRL::ComPtr<IFileSinkFilter> sink;
  Microsoft::WRL::ComPtr<IEnumPins> pins;
  Microsoft::WRL::ComPtr<IPin> input;
  HRESULT hr = CoCreateInstance(CLSID_FileWriter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(writer.GetAddressOf()));
  if (SUCCEEDED(hr)) hr = writer.As(&sink);
  if (SUCCEEDED(hr)) hr = sink->SetFileName(path, nullptr);
  if (SUCCEEDED(hr)) hr = graph->AddFilter(writer.Get(), L"File writer");
  if (SUCCEEDED(hr)) hr = writer->EnumPins(pins.GetAddressOf());
  if (SUCCEEDED(hr) && pins->Next(1, input.GetAddressOf(), nullptr) != S_OK) hr = VFW_E_NOT_FOUND;
  if (SUCCEEDED(hr)) hr = graph->ConnectDirect(pin, input.Get(), nullptr);
  return hr;
}

}  // namespace zelkhost
