# Runs bench_calls in its quick mode and checks what it wrote, never a time:
# the JSON parses, every call of the encoder interface is there, and each sent
# the board exactly the requests the protocol needs for it (no more, in no run).
# Also: the firmware download held one copy of the image, not two, and the
# board streamed.
#   cmake -DEMULATOR=wine -DBENCH=bench_calls.exe -DJSON=out.json -P check_bench.cmake
file(REMOVE ${JSON})
execute_process(COMMAND ${EMULATOR} ${BENCH} --quick --json ${JSON} RESULT_VARIABLE exit_code)
if(NOT exit_code EQUAL 0)
  message(FATAL_ERROR "bench_calls --quick failed (exit ${exit_code})")
endif()
file(READ ${JSON} document)

# name | requests: plain board (no enhancer unit), composite input, unless the
# name says otherwise; the enhancer board runs the tuner with 3D Y/C separation
# and ghost reduction on.
set(expected
  # image 91, board code 90, parameter block 88, control record 99, 88 set-up writes
  "LoadEncoder, 64 KiB image, new graph|92"
  "LoadEncoder, 64 KiB image, filter already in the graph|92"
  "LoadEncoder, 4 MiB image, new graph|92"
  "LoadEncoder, 4 MiB image, filter already in the graph|92"
  # input 7 (mode register read and write, 4 group writes, notification),
  # picture 5, filter mode 1, volume 2, encoder properties 5
  "InitializeEncoder, composite|20"
  # input 11 (companion 2, mode register 2, routing 1, 3D Y/C 1, 4 group
  # writes, notification 1), tuner 1 and ghost reducer 4 (ready read, 3
  # writes), tuner mode 1, picture 5, filter mode 1, volume 2, properties 5
  "InitializeEncoder, tuner through the enhancer unit|30"
  "SetVideoInput in state 1|20"
  "SetVideoInput in state 2|20"
  # tuner 1, ghost reducer 4; the report reads the tuner status
  "SetChannel without the report|5"
  "SetChannel with the report|6"
  "SetPictureSettings|5"
  "SetVolume|2"
  "StartEncoder with ghost reduction|4"
  "StopEncoder|0"
  # status report, ready bit read(s): one when ready, six when never
  "GetEncStatus, decoder ready|2"
  "GetEncStatus, decoder never ready|7"
  "UnloadEncoder|0"
  "CreateEncoder|0"
  "Release|0")

string(JSON call_count LENGTH "${document}" calls)
set(found "")
math(EXPR last "${call_count} - 1")
foreach(i RANGE ${last})
  string(JSON name GET "${document}" calls ${i} name)
  string(JSON most GET "${document}" calls ${i} requests)
  string(JSON least GET "${document}" calls ${i} requestsMin)
  set(requests_${name} "${least}|${most}")
  list(APPEND found "${name}")
endforeach()

set(errors "")
foreach(entry ${expected})
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 name)
  list(GET parts 1 minimum)
  if(NOT DEFINED "requests_${name}")
    string(APPEND errors "  missing call: ${name}\n")
  elseif(NOT "${requests_${name}}" STREQUAL "${minimum}|${minimum}")
    string(APPEND errors "  ${name}: requests ${requests_${name}} (least|most), protocol minimum ${minimum}\n")
  endif()
endforeach()

string(JSON peak GET "${document}" firmwareDownload peakCopies)
if(peak LESS 0.9 OR peak GREATER 1.5)
  string(APPEND errors "  firmware download: peak private memory ${peak} images, expected one copy\n")
endif()
string(JSON cycles GET "${document}" loadUnloadCycles cycles)
if(NOT cycles GREATER 0)
  string(APPEND errors "  no load/unload cycles measured\n")
endif()

string(JSON tries GET "${document}" queuedBehindChannelScan tries)
if(NOT tries GREATER 0)
  string(APPEND errors "  no call queued behind the channel scan\n")
endif()
string(JSON streamed GET "${document}" streaming bytes)
string(JSON clipRate GET "${document}" streaming clipBytesPerSecond)
if(NOT streamed GREATER 0 OR clipRate EQUAL 0)
  string(APPEND errors "  streaming: ${streamed} bytes delivered, clip rate ${clipRate}\n")
endif()

if(errors)
  message(FATAL_ERROR "bench_calls --quick (${JSON}):\n${errors}")
endif()
message(STATUS "bench_calls --quick: ${call_count} calls at the protocol's request count")
