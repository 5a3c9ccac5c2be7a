# Release files on a small scale. A throwaway certificate, made here with
# openssl, signs copies of this build's DLL and EXE and a board owners'
# package; osslsigncode verify accepts each, and each DLL and EXE packed in the
# package, with the certificate as the trusted root. A missing key file and a
# wrong password are refused by name. The same inputs give the same package
# bytes; another firmware image gives other ProductCode and PackageCode.
#
# cmake -DBIN=<bin folder> -DVERSION=<a.b.c> -DSOURCE=<source folder> -DWORK=<folder> -P release_test.cmake
cmake_minimum_required(VERSION 3.20)
set(sign_script ${SOURCE}/cmake/sign.cmake)
set(ENV{SOURCE_DATE_EPOCH} 1700000000)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/pe)

set(run_directory ${WORK})
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/run_checked.cmake)

run(openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out root.pem -days 2 -subj "/CN=Throwaway signer"
  -addext extendedKeyUsage=codeSigning)
run(openssl pkcs12 -export -inkey key.pem -in root.pem -out signer.pfx -passout pass:throwaway)
file(REMOVE ${WORK}/key.pem)
set(ENV{ZELK_SIGN_PASSWORD} throwaway)

# key file | password | what the refusal names
set(refusals "missing.pfx|throwaway|no such file" "signer.pfx|wrong|wrong password" "root.pem|throwaway|not a PKCS#12")
foreach(row ${refusals})
  string(REPLACE "|" ";" row "${row}")
  list(GET row 0 pfx)
  list(GET row 1 password)
  list(GET row 2 named)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env ZELK_SIGN_PASSWORD=${password}
    ${CMAKE_COMMAND} -DSIGN=${WORK}/${pfx} -P ${sign_script} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  # CMake wraps a message at about 80 columns, so where a line breaks
  # depends on how long the folder's path is.
  string(REGEX REPLACE "[ \t\r\n]+" " " flat "${out}")
  if(rc EQUAL 0 OR NOT flat MATCHES "${named}")
    message(FATAL_ERROR "${pfx} with password '${password}': exit code ${rc}, not refused as '${named}':\n${out}")
  endif()
endforeach()

# The board owners' package: twice unsigned, once with another image, once signed.
file(WRITE ${WORK}/other.rom "another firmware image")
foreach(build "a" "b" "other|-DFIRMWARE=${WORK}/other.rom" "signed|-DSIGN=${WORK}/signer.pfx")
  string(REPLACE "|" ";" build "${build}")
  list(POP_FRONT build name)
  run(${CMAKE_COMMAND} -DARCH=x64 -DVERSION=${VERSION} -DBIN64=${BIN} -DBIN32=${BIN} -DOUT=${WORK}/${name}
    ${build} -P ${SOURCE}/installer/build_msi.cmake)
  set(msi ${WORK}/${name}/ZelkEncoderMb86393-${VERSION}-x64.msi)
  set(msi_${name} ${msi})
  run(msiinfo suminfo ${msi})
  string(REGEX MATCH "Revision number \\(UUID\\): ([^\n]*)" found "${run_output}")
  set(codes_${name} ${CMAKE_MATCH_1})
  run(msiinfo export ${msi} Property)
  string(REGEX MATCH "ProductCode\t([^\r\n]*)" found "${run_output}")
  list(APPEND codes_${name} ${CMAKE_MATCH_1})
  file(STRINGS ${msi}.sha256 recorded LIMIT_COUNT 1)
  file(SHA256 ${msi} sum)
  if(NOT recorded STREQUAL "${sum}  ZelkEncoderMb86393-${VERSION}-x64.msi")
    message(FATAL_ERROR "${msi}.sha256 '${recorded}' is not the package's (${sum})")
  endif()
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${msi_a} ${msi_b} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "two packages from the same inputs differ: ${msi_a} ${msi_b}")
endif()
foreach(code IN ITEMS 0 1)
  list(GET codes_a ${code} from_a)
  list(GET codes_other ${code} from_other)
  if(NOT from_a MATCHES "^{[0-9A-F-]+}$" OR from_a STREQUAL from_other)
    message(FATAL_ERROR "PackageCode and ProductCode, placeholder: ${codes_a}, other image: ${codes_other}")
  endif()
endforeach()

# The signed DLL and EXE, the signed package and what its cabinet holds.
foreach(program zelkenc.dll zelkdiag.exe)
  file(COPY_FILE ${BIN}/${program} ${WORK}/pe/${program})
  run(${CMAKE_COMMAND} -DSIGN=${WORK}/signer.pfx -DFILES=${WORK}/pe/${program} -P ${sign_script})
  list(APPEND signed ${WORK}/pe/${program})
endforeach()
file(MAKE_DIRECTORY ${WORK}/cab)
execute_process(COMMAND msiinfo extract ${msi_signed} zelkenc.cab OUTPUT_FILE ${WORK}/cab/zelkenc.cab RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "msiinfo extract ${msi_signed} zelkenc.cab: exit code ${rc}")
endif()
run(${CMAKE_COMMAND} -E chdir ${WORK}/cab ${CMAKE_COMMAND} -E tar xf zelkenc.cab)
file(GLOB packed ${WORK}/cab/*)
list(FILTER packed INCLUDE REGEX "/(zelkenc|zelkdiag)(32|64)$")  # named by their File ids
list(LENGTH packed count)
if(NOT count EQUAL 3)
  message(FATAL_ERROR "the x64 package's cabinet holds '${packed}', not three DLLs and EXEs")
endif()
foreach(file ${signed} ${msi_signed} ${packed})
  execute_process(COMMAND osslsigncode verify -CAfile ${WORK}/root.pem -in ${file}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "osslsigncode verify ${file}: exit code ${rc}\n${out}")
  endif()
endforeach()
message(STATUS "signed and verified: ${signed};${msi_signed};${packed}")
