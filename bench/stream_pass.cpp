#include "stream_pass.h"

#include <algorithm>

#include "file_writer.h"
#include "process_probes.h"
#include "text.h"

namespace bench {
namespace {

bool Fail(std::string* error, const std::string& step, HRESULT hr) {
  *error = "streaming: " + step + " failed: " + zelktext::DescribeResult(hr);
  return false;
}

}  // namespace

bool MeasureStreaming(Session& session, int seconds, StreamFigures* f, std::string* error) {
  HRESULT hr = session.BeginRun(session.plain);
  if (SUCCEEDED(hr)) hr = session.UseImage(kSmallImage);
  if (FAILED(hr)) return Fail(error, "preparing the board", hr);
  ComPtr<IEncoderModule> encoder;
  ComPtr<IGraphBuilder> graph;
  ComPtr<IPin> pin;
  ComPtr<IMediaControl> control;
  int32_t valueA = 0, valueB = 0;
  if (FAILED(hr = session.NewEncoder(encoder)) || FAILED(hr = encoder->Initialize("bench", nullptr)))
    return Fail(error, "creating an encoder", hr);
  if (FAILED(hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(graph.GetAddressOf()))))
    return Fail(error, "creating a graph", hr);
  if (FAILED(hr = encoder->LoadEncoder(graph.Get(), pin.GetAddressOf(), &valueA, &valueB)))
    return Fail(error, "LoadEncoder", hr);
  if (FAILED(hr = encoder->InitializeEncoder())) return Fail(error, "InitializeEncoder", hr);
  if (FAILED(hr = zelkhost::ConnectFileWriter(graph.Get(), pin.Get(), L"NUL"))) return Fail(error, "connecting the File writer", hr);
  if (FAILED(hr = graph.As(&control))) return Fail(error, "IMediaControl", hr);

  SimStreamStatus before{}, after{};
  session.Board()->GetStreamStatus(&before);
  const int64_t startUs = NowUs();
  if (FAILED(hr = control->Run())) return Fail(error, "running the graph", hr);
  for (int second = 1; second <= seconds; ++second) {
    Sleep(static_cast<DWORD>(std::max<int64_t>(0, startUs + second * 1000000LL - NowUs()) / 1000));
    const long handles = HandleCount();
    const uint64_t bytes = PrivateCommittedBytes();
    if (second == 1) {
      f->counts.handlesBefore = handles;
      f->counts.bytesBefore = bytes;
    }
    f->handlesMost = std::max(f->handlesMost, handles);
    f->bytesMost = std::max(f->bytesMost, bytes);
    f->counts.handlesAfter = handles;
    f->counts.bytesAfter = bytes;
  }
  hr = control->Stop();
  f->wallUs = NowUs() - startUs;
  session.Board()->GetStreamStatus(&after);
  encoder->UnloadEncoder(graph.Get());
  if (FAILED(hr)) return Fail(error, "stopping the graph", hr);
  f->seconds = seconds;
  f->bytes = after.bytes - before.bytes;
  f->cpuUs = static_cast<int64_t>(after.threadCpuUs);
  f->samples = after.samples - before.samples;
  f->streamSeconds = static_cast<double>(after.lastEnd) / 1e7;
  if (after.clipTicks) f->clipBytesPerSecond = static_cast<double>(after.clipBytes) * 90000.0 / after.clipTicks;
  if (!f->bytes) return Fail(error, "delivering (the board: " + std::string(after.reason) + ")", E_FAIL);
  return true;
}

}  // namespace bench
