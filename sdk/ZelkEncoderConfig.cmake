# find_package(ZelkEncoder): the SDK of zelkenc.dll, the MB86393 capture board's
# encoder module.
#   ZelkEncoder::Headers       imported target: the include folder of
#                              <zelk/encoder_module.h>
#   ZelkEncoder_RUNTIME_FILES  zelkenc.dll and MbPciEncoder.rom of the
#                              architecture being built, to ship together in
#                              the host's folder
#   ZelkEncoder_SIMULATOR_FILES  the virtual board of that architecture:
#                              zelksim.dll and its clips (for development and
#                              CI machines without the board, never shipped)
get_filename_component(_zelk_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
if(NOT TARGET ZelkEncoder::Headers)
  add_library(ZelkEncoder::Headers INTERFACE IMPORTED)
  set_target_properties(ZelkEncoder::Headers PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${_zelk_prefix}/include")
endif()
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(_zelk_bin "${_zelk_prefix}/bin/x64")
else()
  set(_zelk_bin "${_zelk_prefix}/bin/x86")
endif()
set(ZelkEncoder_RUNTIME_FILES "${_zelk_bin}/zelkenc.dll" "${_zelk_bin}/MbPciEncoder.rom")
string(REPLACE "/bin/" "/sim/" _zelk_sim "${_zelk_bin}")
set(ZelkEncoder_SIMULATOR_FILES "${_zelk_sim}/zelksim.dll" "${_zelk_sim}/zelksim_composite.mpg"
    "${_zelk_sim}/zelksim_svideo.mpg" "${_zelk_sim}/zelksim_tuner.mpg" "${_zelk_sim}/zelksim_composite_board2.mpg"
    "${_zelk_sim}/zelksim_svideo_board2.mpg" "${_zelk_sim}/zelksim_tuner_board2.mpg")
unset(_zelk_sim)
unset(_zelk_bin)
unset(_zelk_prefix)
