# The simulated encoder's clips, made at build time with ffmpeg from test
# patterns: one per video input, each visibly and audibly different (its own
# pattern and tone). What the board's encoder puts out: MPEG-2 video 720x480 at
# 29.97 frames/s in closed GOPs of 15 (a sequence header on each), MPEG-1
# Layer II audio 48 kHz stereo, in an MPEG-2 program stream of 2 KiB packs.
# 90 pictures (3.003 s) and 125 audio frames (3.000 s), so the clip loops
# without a gap in the pictures. 4:3 in the file; the simulator rewrites the
# aspect ratio per the encoder's configuration.
#
# Each clip also comes in a second set for the even boards of a machine with
# several virtual boards (zelksim_<input>_board2.mpg): the same pattern in
# negated colours and its tone an octave up, so that a recording shows which
# board it came from.
#
# ZELK_CLIP_FILES names them; zelksim_clips(FOLDER) adds the target
# zelksim_clips, which writes them into FOLDER.
find_program(ZELK_FFMPEG ffmpeg)

set(ZELK_CLIP_INPUTS composite svideo tuner)
list(TRANSFORM ZELK_CLIP_INPUTS PREPEND zelksim_ OUTPUT_VARIABLE ZELK_CLIP_FILES)
set(ZELK_CLIP_BOARD2_FILES ${ZELK_CLIP_FILES})
list(TRANSFORM ZELK_CLIP_FILES APPEND .mpg)
list(TRANSFORM ZELK_CLIP_BOARD2_FILES APPEND _board2.mpg)
list(APPEND ZELK_CLIP_FILES ${ZELK_CLIP_BOARD2_FILES})
# The two sets of pictures: suffix of the file, video filter, tone factor.
set(ZELK_CLIP_SETS plain board2)
set(ZELK_CLIP_plain_SUFFIX "")
set(ZELK_CLIP_plain_FILTER null)
set(ZELK_CLIP_plain_TONE_FACTOR 1)
set(ZELK_CLIP_board2_SUFFIX _board2)
set(ZELK_CLIP_board2_FILTER negate)
set(ZELK_CLIP_board2_TONE_FACTOR 2)
set(ZELK_CLIP_composite_VIDEO "smptebars=size=720x480:rate=30000/1001")
set(ZELK_CLIP_composite_TONE 1000)
set(ZELK_CLIP_svideo_VIDEO "testsrc=size=720x480:rate=30000/1001")
set(ZELK_CLIP_svideo_TONE 440)
set(ZELK_CLIP_tuner_VIDEO "testsrc2=size=720x480:rate=30000/1001")
set(ZELK_CLIP_tuner_TONE 660)

function(zelksim_clips folder)
  set(clips)
  foreach(input ${ZELK_CLIP_INPUTS})
  foreach(set ${ZELK_CLIP_SETS})
    set(clip ${folder}/zelksim_${input}${ZELK_CLIP_${set}_SUFFIX}.mpg)
    math(EXPR tone "${ZELK_CLIP_${input}_TONE} * ${ZELK_CLIP_${set}_TONE_FACTOR}")
    if(ZELK_FFMPEG)
      add_custom_command(OUTPUT ${clip}
        COMMAND ${ZELK_FFMPEG} -nostdin -hide_banner -loglevel fatal -y
          -f lavfi -i ${ZELK_CLIP_${input}_VIDEO},${ZELK_CLIP_${set}_FILTER}
          -f lavfi -i sine=frequency=${tone}:sample_rate=48000:duration=3
          -frames:v 90 -fflags +bitexact -flags:v +bitexact -flags:a +bitexact
          -c:v mpeg2video -pix_fmt yuv420p -b:v 3M -minrate 3M -maxrate 3M -bufsize 1835008
          -g 15 -bf 2 -flags +cgop -sc_threshold 1000000000 -aspect 4:3
          -c:a mp2 -b:a 192k -ar 48000 -ac 2 -f vob ${clip}
        DEPENDS ${CMAKE_SOURCE_DIR}/cmake/clips.cmake
        COMMENT "Generating the simulated board's ${input} clip (${set} pictures) with ffmpeg")
    else()
      add_custom_command(OUTPUT ${clip}
        COMMAND ${CMAKE_COMMAND} -E echo "ffmpeg is needed to make the simulated board's clips: apt-get install ffmpeg"
        COMMAND ${CMAKE_COMMAND} -E false)
    endif()
    list(APPEND clips ${clip})
  endforeach()
  endforeach()
  add_custom_target(zelksim_clips ALL DEPENDS ${clips})
endfunction()
