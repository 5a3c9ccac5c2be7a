# Runs one sample host under Wine the way a vendor runs it: zelkenc.dll
# registered (for its CoCreateInstance half), the simulated board registered by
# `./run test`. The registration is removed again afterwards.
# Usage: cmake -DWINE=wine -DDLL=<zelkenc.dll> -DSAMPLE=<sample .exe> -P run_sample.cmake
# -DBOARDS=N registers N virtual boards for the run (regsvr32 /i:N zelksim.dll,
# beside zelkenc.dll) and goes back to one afterwards.
execute_process(COMMAND winepath -w ${DLL} OUTPUT_VARIABLE dll OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REGEX REPLACE "zelkenc\\.dll$" "zelksim.dll" sim "${dll}")
if(DEFINED BOARDS)
  execute_process(COMMAND ${WINE} regsvr32 /s /i:${BOARDS} ${sim} RESULT_VARIABLE installed)
  if(NOT installed EQUAL 0)
    message(FATAL_ERROR "regsvr32 /i:${BOARDS} ${sim} failed (${installed})")
  endif()
endif()
execute_process(COMMAND ${WINE} regsvr32 /s ${dll} RESULT_VARIABLE registered)
if(NOT registered EQUAL 0)
  message(FATAL_ERROR "regsvr32 ${dll} failed (${registered})")
endif()
get_filename_component(folder ${SAMPLE} DIRECTORY)
execute_process(COMMAND ${WINE} ${SAMPLE} WORKING_DIRECTORY ${folder} RESULT_VARIABLE result)
execute_process(COMMAND ${WINE} regsvr32 /u /s ${dll})
if(DEFINED BOARDS)
  execute_process(COMMAND ${WINE} regsvr32 /s /i:1 ${sim})
endif()
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${SAMPLE} failed (${result})")
endif()

# A sample that records (-DRECORDING=<files in its folder> -DSECONDS=<their
# run times>, both separated by commas): each file must be what the board's
# encoder makes, as ffprobe reads it to its end without a demultiplexer error:
# MPEG-2 video 720x480 with the aspect the sample set (-DASPECT), one audio
# stream, the duration recorded within 0.5 s.
function(check_recording recording ASPECT run_seconds)
  set(file ${folder}/${recording})
  execute_process(COMMAND ${FFPROBE} -v error -count_packets
    -show_entries stream=codec_type,codec_name,width,height,display_aspect_ratio:format=duration
    -of default=noprint_wrappers=1 ${file}
    OUTPUT_VARIABLE probe ERROR_VARIABLE errors RESULT_VARIABLE probed)
  message(STATUS "ffprobe ${recording}:\n${probe}${errors}")
  string(REGEX MATCHALL "codec_type=audio" audio "${probe}")
  list(LENGTH audio audioStreams)
  if(NOT probed EQUAL 0 OR NOT errors STREQUAL "")
    message(FATAL_ERROR "ffprobe could not read ${recording} cleanly")
  elseif(NOT probe MATCHES "codec_name=mpeg2video\ncodec_type=video\nwidth=720\nheight=480\n")
    message(FATAL_ERROR "${recording} holds no MPEG-2 video of 720x480")
  elseif(NOT probe MATCHES "display_aspect_ratio=${ASPECT}\n")
    message(FATAL_ERROR "${recording} is not ${ASPECT}")
  elseif(NOT audioStreams EQUAL 1)
    message(FATAL_ERROR "${recording} has ${audioStreams} audio streams, not 1")
  elseif(NOT probe MATCHES "duration=([0-9]+)\\.([0-9])")
    message(FATAL_ERROR "${recording} has no duration")
  endif()
  math(EXPR tenths "${CMAKE_MATCH_1} * 10 + ${CMAKE_MATCH_2} - ${run_seconds} * 10")
  if(tenths LESS -5 OR tenths GREATER 5)
    message(FATAL_ERROR "${recording} lasts ${CMAKE_MATCH_1}.${CMAKE_MATCH_2} s, not ${run_seconds} s within 0.5 s")
  endif()
endfunction()

# The mean brightness (0 to 255) of a recording's first picture, into `out`.
function(first_picture_mean recording out)
  execute_process(COMMAND ${FFMPEG} -nostdin -v error -i ${folder}/${recording} -frames:v 1 -vf scale=1:1
    -pix_fmt gray -f rawvideo -
    OUTPUT_VARIABLE pixel RESULT_VARIABLE decoded)
  string(HEX "${pixel}" hex)
  if(NOT decoded EQUAL 0 OR hex STREQUAL "")
    message(FATAL_ERROR "ffmpeg could not decode the first picture of ${recording}")
  endif()
  math(EXPR mean "0x${hex}")
  set(${out} ${mean} PARENT_SCOPE)
endfunction()

if(DEFINED RECORDING)
  string(REPLACE "," ";" recordings "${RECORDING}")
  string(REPLACE "," ";" run_times "${SECONDS}")
  foreach(recording run_seconds IN ZIP_LISTS recordings run_times)
    check_recording(${recording} ${ASPECT} ${run_seconds})
    file(REMOVE ${folder}/${recording})
  endforeach()
endif()

# Recordings of two boards at once (-DBOARD_RECORDINGS=a.mpg,b.mpg, 4:3, 3 s):
# each valid, and each first picture the one of its own board (board 2 shows
# its pattern in negated colours: the brightness differs widely).
if(DEFINED BOARD_RECORDINGS)
  set(means)
  string(REPLACE "," ";" recordings "${BOARD_RECORDINGS}")
  foreach(recording ${recordings})
    check_recording(${recording} 4:3 3)
    first_picture_mean(${recording} mean)
    list(APPEND means ${mean})
    file(REMOVE ${folder}/${recording})
  endforeach()
  message(STATUS "mean brightness of the first pictures: ${means}")
  list(GET means 0 first)
  list(GET means 1 second)
  math(EXPR apart "${first} - ${second}")
  if(apart GREATER -40 AND apart LESS 40)
    message(FATAL_ERROR "the two boards' recordings show the same picture (brightness ${means})")
  endif()
endif()
