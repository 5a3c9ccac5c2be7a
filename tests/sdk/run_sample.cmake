# Runs one sample host under Wine the way a vendor runs it: zelkenc.dll
# registered (for its CoCreateInstance half), the simulated board registered by
# `./run test`. The registration is removed again afterwards.
# Usage: cmake -DWINE=wine -DDLL=<zelkenc.dll> -DSAMPLE=<sample .exe> -P run_sample.cmake
execute_process(COMMAND winepath -w ${DLL} OUTPUT_VARIABLE dll OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${WINE} regsvr32 /s ${dll} RESULT_VARIABLE registered)
if(NOT registered EQUAL 0)
  message(FATAL_ERROR "regsvr32 ${dll} failed (${registered})")
endif()
get_filename_component(folder ${SAMPLE} DIRECTORY)
execute_process(COMMAND ${WINE} ${SAMPLE} WORKING_DIRECTORY ${folder} RESULT_VARIABLE result)
execute_process(COMMAND ${WINE} regsvr32 /u /s ${dll})
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${SAMPLE} failed (${result})")
endif()
