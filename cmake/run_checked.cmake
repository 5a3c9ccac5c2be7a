# run(COMMAND...): runs a program; when it fails, the script stops with the
# command line and everything the program printed. What it printed is left in
# run_output. It runs in the folder run_directory names, where the caller set
# one.
function(run)
  set(folder)
  if(DEFINED run_directory)
    set(folder WORKING_DIRECTORY ${run_directory})
  endif()
  execute_process(COMMAND ${ARGN} ${folder} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${ARGN}\n${out}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()
