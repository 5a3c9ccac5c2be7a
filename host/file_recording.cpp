#include "file_recording.h"

#include <wrl/client.h>

#include "file_writer.h"
#include "module_files.h"
#include "report.h"

namespace zelkhost {

using Microsoft::WRL::ComPtr;

namespace {

FileRecordingResult Failed(const std::string& step, HRESULT hr) {
  return {false, step + " failed: " + DescribeResult(hr), ""};
}

}  // namespace

FileRecordingResult RecordToFile(IGraphBuilder* graph, IPin* pin, const std::string& path, int seconds,
                                 ISimBoardControl* board) {
  wchar_t full[MAX_PATH];
  if (!GetFullPathNameW(Widen(path).c_str(), MAX_PATH, full, nullptr)) return {false, "bad file name " + path, ""};
  ComPtr<IMediaControl> control;
  DeleteFileW(full);  // a longer old file would keep its tail
  HRESULT hr = ConnectFileWriter(graph, pin, full);
  if (FAILED(hr)) return Failed("connecting the board's pin to the File writer", hr);
  if (FAILED(hr = graph->QueryInterface(IID_PPV_ARGS(control.GetAddressOf())))) return Failed("IMediaControl", hr);
  FileRecordingResult result{true, "", Format("   the graph ran for %d s, recording into %s\n", seconds,
                                              Narrow(full).c_str())};
  if (FAILED(hr = control->Run())) {
    control->Stop();
    return Failed("running the graph", hr);
  }
  Sleep(static_cast<DWORD>(seconds) * 1000);
  if (FAILED(hr = control->Stop())) return Failed("stopping the graph", hr);

  WIN32_FILE_ATTRIBUTE_DATA file{};
  const unsigned long long bytes =
      GetFileAttributesExW(full, GetFileExInfoStandard, &file)
          ? (static_cast<unsigned long long>(file.nFileSizeHigh) << 32 | file.nFileSizeLow)
          : 0;
  SimStreamStatus status{};
  if (board && SUCCEEDED(board->GetStreamStatus(&status))) {
    result.lines += Format("   recorded %llu bytes, %.2f s of stream in %llu samples (the board: %s)\n", bytes,
                           status.lastEnd / 1e7, static_cast<unsigned long long>(status.samples), status.reason);
  } else {
    result.lines += Format("   recorded %llu bytes\n", bytes);
  }
  if (!bytes) {
    result.ok = false;
    result.failure = "nothing was recorded" + (board ? " (the board: " + std::string(status.reason) + ")" : "");
  }
  return result;
}

}  // namespace zelkhost
