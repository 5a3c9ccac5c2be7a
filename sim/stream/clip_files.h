// The clips the simulated encoder plays, one per video input, made at build
// time beside zelksim.dll. Read and checked whole when a stream needs one, and
// kept while any stream plays it.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "program_stream.h"

namespace zelk::sim {

// The clip's file name for input 0 (composite), 1 (S-video) or 2 (tuner) of
// board `board` (1 = the first). Boards take turns between two sets of
// pictures: odd boards show the plain patterns, even boards the same patterns
// in other colours with a tone an octave up.
std::wstring ClipFileName(int input, int board = 1);

struct LoadedClip {
  std::shared_ptr<const ProgramStream> clip;  // null on failure
  HRESULT result;                             // why it failed
  std::string error;                          // the same in words, with the path
  std::string path;                           // the file's path, for messages
};

// The clip of `input` of board `board` from `folder` (empty: the folder of
// the module that holds this code, zelksim.dll or a test program).
LoadedClip LoadClip(const std::wstring& folder, int input, int board = 1);

}  // namespace zelk::sim
