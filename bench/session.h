// The host side of the benchmark: a private copy of zelkenc.dll with a
// firmware image of the size asked for beside it, the simulated board reached
// through COM, and encoders kept in real filter graphs as a host keeps them.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>

#include "module_files.h"
#include "sim_control.h"
#include "zelk/encoder_module.h"

namespace bench {

using Microsoft::WRL::ComPtr;

inline constexpr size_t kSmallImage = 64 * 1024;
inline constexpr size_t kLargeImage = 4 * 1024 * 1024;
inline constexpr DWORD kPlainBoard = 4096;
inline constexpr DWORD kEnhancerBoard = 4721;

// One encoder with its graph, and the state the module has moved it to.
struct Subject {
  Subject(DWORD code, int32_t videoInput, uint32_t flags)
      : boardCode(code), input(videoInput), processingFlags(flags) {}
  DWORD boardCode;           // the board variant it attaches to
  int32_t input;             // video input
  uint32_t processingFlags;  // video processing flags, set once attached
  ComPtr<IEncoderModule> encoder;
  ComPtr<IGraphBuilder> graph;
  bool attached = false;
  bool processingSet = false;
  int state = 0;
};

class Session {
 public:
  Session() = default;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  ~Session();

  bool Open(std::string* error);

  ISimBoardControl* Board() const { return board_.Get(); }
  // The benchmark's clock (NowUs) at time 0 of the board's log.
  int64_t BoardEpochUs() const { return boardEpochUs_; }
  std::wstring FirmwarePath() const { return folder_.FirmwarePath(); }

  // No enhancer unit, composite input.
  Subject plain{kPlainBoard, 0, 0};
  // Enhancer unit, tuner input, 3D Y/C separation and ghost reduction on.
  Subject enhanced{kEnhancerBoard, 2, 3};
  // For CreateEncoder and Release.
  ComPtr<IEncoderModule> scratch;

  // Preparation (untimed). Every run starts with the board variant of the
  // subject it works on (all capture filters share the one board) and the
  // decoder ready at once.
  HRESULT BeginRun(const Subject& subject);
  HRESULT UseImage(size_t bytes);
  HRESULT HideImage();
  HRESULT FreshGraph(Subject& subject);
  HRESULT EnsureAttached(Subject& subject);
  HRESULT EnsureIdle(Subject& subject);     // state 2
  HRESULT EnsureStarted(Subject& subject);  // state 3
  HRESULT NewEncoder(ComPtr<IEncoderModule>& encoder);

  // The host's calls; each keeps track of the state the module moves to.
  HRESULT Load(Subject& subject);
  HRESULT Unload(Subject& subject);
  HRESULT Initialise(Subject& subject);
  HRESULT SelectInput(Subject& subject);
  HRESULT Start(Subject& subject);
  HRESULT Stop(Subject& subject);

 private:
  HRESULT NewSubject(Subject& subject);
  void ReleaseAll();

  zelkhost::ModuleFolder folder_;  // outlives the module loaded from it
  HMODULE module_ = nullptr;
  PFN_CreateEncoder createEncoder_ = nullptr;
  ComPtr<ISimBoardControl> board_;
  int64_t boardEpochUs_ = 0;
  size_t imageBytes_ = 0;  // 0: none written yet, or hidden
};

}  // namespace bench
