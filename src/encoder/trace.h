// The trace sink. Failure paths of numbered-step operations hand their format
// and arguments to TraceMessage, which sends the formatted line, behind
// "zelkenc: ", to the debugger output (OutputDebugStringA): a debugger or a
// debug viewer shows why an operation failed. Nothing is written anywhere
// else. Two lines also appear when nothing has failed: Initialize's one line,
// and CtrlGr's step 1 with hr=0x1 when the video decoder never reported ready
// for ghost reduction (S_FALSE, on which StartEncoder, the tuning and the
// input selection go on and succeed).
// Tests may install a capture hook to read the formatted text.
#pragma once

#include <windows.h>

namespace zelk {

void TraceMessage(const char* format, ...);

// Test-only: the hook receives every formatted trace line. Null removes it.
using TraceHook = void (*)(const char* text, void* context);
void SetTraceHookForTesting(TraceHook hook, void* context);

// What a step format takes after the step number.
enum class StepArgs { Step, StepHr, StepIndexHr };

struct StepFormat {
  const char* text;
  StepArgs args;
};

inline constexpr StepFormat kLoadEncoderTrace{"ERROR ---> LoadEncoder()  step=%d\n", StepArgs::Step};
inline constexpr StepFormat kInitializeEncoderTrace{"ERROR ---> InitializeEncoder()  step=%d\n",
                                                    StepArgs::Step};
inline constexpr StepFormat kGetEncStatusTrace{"ERROR ---> GetEncStatus()  step=%d\n", StepArgs::Step};
inline constexpr StepFormat kSetChannelTrace{"ERROR ---> TC_SetChannel()  step=%d\n", StepArgs::Step};
inline constexpr StepFormat kInitEncTrace{"ERROR -----> InitEnc()  step=%d  idxAry=%d  hr=0x%x\n",
                                          StepArgs::StepIndexHr};
inline constexpr StepFormat kSetInputTrace{"ERROR -----> TC_SetInput()  step=%d  hr=0x%x\n", StepArgs::StepHr};
inline constexpr StepFormat kGetBcshTrace{"ERROR -----> TC_GetBCSH()  step=%d\n", StepArgs::Step};
inline constexpr StepFormat kSetBcshTrace{"ERROR -----> TC_SetBCSH()  step=%d\n", StepArgs::Step};
inline constexpr StepFormat kCtrlGrTrace{"ERROR -----> CtrlGr()  step=%d  hr=0x%x\n", StepArgs::StepHr};
inline constexpr StepFormat kCtrl3dycTrace{"ERROR -----> Ctrl3dyc()  step=%d  hr=0x%x\n", StepArgs::StepHr};

// Ends a numbered-step operation at a failing step: traces the operation's
// format with the step number (and the row index and the kept HRESULT where the
// format has them) and returns the kept HRESULT.
HRESULT FailStep(const StepFormat& format, int step, HRESULT kept, int index = 0);

}  // namespace zelk
