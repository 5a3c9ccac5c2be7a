# Authenticode signatures with osslsigncode: DLLs, EXEs and Windows Installer
# packages, signed in place with the key and certificate of a PKCS#12 file
# (.pfx). The password comes from the environment variable ZELK_SIGN_PASSWORD
# (empty when unset) and never appears on a command line: osslsigncode reads
# it from a pipe.
#
# include(sign.cmake), with SIGN (the .pfx) and optionally TIMESTAMP (the URL
# of an RFC 3161 time-stamp server) set:
#   zelk_sign_check()      stops with a message naming the problem when the
#                          file is missing or the password does not open it
#   zelk_sign(FILE...)     signs each file in place, SHA-256
# cmake -DSIGN=<pfx> [-DTIMESTAMP=<url>] [-DFILES=<file;...>] -P sign.cmake
#   checks the file, then signs FILES. Exit code 0, or 1 with the message.
#
# Without a time stamp the signature is valid only while the certificate is:
# once it expires, Windows reports the signature as invalid. A time stamp
# proves the file was signed while the certificate was valid.
cmake_minimum_required(VERSION 3.20)

function(zelk_sign_check)
  if(NOT SIGN OR NOT EXISTS "${SIGN}" OR IS_DIRECTORY "${SIGN}")
    message(FATAL_ERROR "--sign ${SIGN}: no such file")
  endif()
  if("$ENV{ZELK_SIGN_PASSWORD}" STREQUAL "")
    set(pass pass:)
  else()
    set(pass env:ZELK_SIGN_PASSWORD)
  endif()
  # A file from an older tool may use ciphers OpenSSL 3 keeps in its legacy
  # provider: a second try with it.
  foreach(legacy "" -legacy)
    execute_process(COMMAND openssl pkcs12 ${legacy} -in ${SIGN} -noout -passin ${pass}
      RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE error)
    if(rc EQUAL 0)
      return()
    elseif(error MATCHES "mac verify failure|invalid password")
      message(FATAL_ERROR "--sign ${SIGN}: wrong password (set ZELK_SIGN_PASSWORD to the file's password)")
    endif()
  endforeach()
  message(FATAL_ERROR "--sign ${SIGN}: not a PKCS#12 (.pfx) file with a key and certificate:\n${error}")
endfunction()

function(zelk_sign)
  find_program(osslsigncode osslsigncode)
  if(NOT osslsigncode)
    message(FATAL_ERROR "signing needs osslsigncode: apt-get install osslsigncode")
  endif()
  set(options -pkcs12 ${SIGN} -h sha256 -n ZelkEncoderMb86393)
  if(TIMESTAMP)
    list(APPEND options -ts ${TIMESTAMP})
  endif()
  foreach(file ${ARGN})
    file(REMOVE ${file}.signed)
    if("$ENV{ZELK_SIGN_PASSWORD}" STREQUAL "")
      execute_process(COMMAND ${osslsigncode} sign ${options} -pass "" -in ${file} -out ${file}.signed
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    else()
      execute_process(COMMAND sh -c "printf %s \"$ZELK_SIGN_PASSWORD\""
        COMMAND ${osslsigncode} sign ${options} -readpass /dev/stdin -in ${file} -out ${file}.signed
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    endif()
    if(NOT rc EQUAL 0 OR NOT EXISTS ${file}.signed)
      file(REMOVE ${file}.signed)
      message(FATAL_ERROR "osslsigncode could not sign ${file}:\n${out}")
    endif()
    file(RENAME ${file}.signed ${file})
  endforeach()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  zelk_sign_check()
  zelk_sign(${FILES})
endif()
