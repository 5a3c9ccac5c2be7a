# Builds one board owners' package from zelkenc.wxs with wixl, and its .sha256.
#
# cmake -DARCH=x64|x86 -DVERSION=<a.b.c> -DBIN64=<x86_64 bin folder> -DBIN32=<i686 bin folder>
#       -DOUT=<folder> [-DFIRMWARE=<image>] -P installer/build_msi.cmake
#   writes OUT/ZelkEncoderMb86393-<VERSION>-<ARCH>.msi and its .sha256. The bin
#   folders hold zelkenc.dll, zelkdiag.exe and MbPciEncoder.rom (the
#   placeholder, installed unless FIRMWARE names the board's own image).
#   [-DSIGN=<pfx> [-DTIMESTAMP=<url>]] signs the DLLs, the EXEs and the package
#   (release.cmake: the same inputs give the same package).
cmake_minimum_required(VERSION 3.20)
foreach(required ARCH VERSION BIN64 BIN32 OUT)
  if(NOT ${required})
    message(FATAL_ERROR "build_msi.cmake needs -D${required}=...")
  endif()
endforeach()
set(name ZelkEncoderMb86393-${VERSION})
if(ARCH STREQUAL "x64")
  set(other ${name}-x86.msi)
elseif(ARCH STREQUAL "x86")
  set(other ${name}-x64.msi)
else()
  message(FATAL_ERROR "ARCH is x64 or x86, not '${ARCH}'")
endif()
if(NOT FIRMWARE)
  set(FIRMWARE ${BIN32}/MbPciEncoder.rom)
endif()
set(msi ${OUT}/${name}-${ARCH}.msi)
set(work ${OUT}/${name}-${ARCH}.tmp)

# wixl takes sources relative to its working folder: the files go into the
# work folder as 64/, 32/ and firmware.rom.
set(inputs ${BIN32}/zelkenc.dll 32/zelkenc.dll ${FIRMWARE} firmware.rom)
if(ARCH STREQUAL "x64")
  list(APPEND inputs ${BIN64}/zelkenc.dll 64/zelkenc.dll ${BIN64}/zelkdiag.exe 64/zelkdiag.exe)
else()
  list(APPEND inputs ${BIN32}/zelkdiag.exe 32/zelkdiag.exe)
endif()
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work}/64 ${work}/32)
while(inputs)
  list(POP_FRONT inputs input copy)
  if(NOT EXISTS ${input} OR IS_DIRECTORY ${input})
    file(REMOVE_RECURSE ${work})
    message(FATAL_ERROR "${input}: no such file")
  endif()
  file(COPY_FILE ${input} ${work}/${copy})
endwhile()

# ---- Same inputs, same bytes; signed on request (release.cmake) ----
include(${CMAKE_CURRENT_LIST_DIR}/release.cmake)
msi_release_inputs(${work})
# ----

function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${work} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${ARGN}\n${out}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

run(wixl -a ${ARCH} -D Arch=${ARCH} -D Version=${VERSION} -D OtherMsi=${other} -D ProductCode=${msi_product_code} -o package.msi
  ${CMAKE_CURRENT_LIST_DIR}/zelkenc.wxs)

# wixl writes IncludeMaximum as IncludeMinimum (256) only: the row that removes
# older versions gets both (768), so that another build of the same version is
# replaced too instead of being installed beside it.
run(msiinfo export ${work}/package.msi Upgrade)
string(REGEX REPLACE "\t(256|768)\t\tZELK_OLDER" "\t768\t\tZELK_OLDER" upgrade "${run_output}")
if(NOT upgrade MATCHES "\t768\t\tZELK_OLDER")
  message(FATAL_ERROR "the Upgrade table has no row for older versions:\n${run_output}")
endif()
file(WRITE ${work}/Upgrade.idt "${upgrade}")
run(msibuild ${work}/package.msi -i ${work}/Upgrade.idt)

# ---- Codes, times, signature (release.cmake) ----
msi_release_package(${work}/package.msi)
# ----

file(RENAME ${work}/package.msi ${msi})
file(REMOVE_RECURSE ${work})
file(SHA256 ${msi} sum)
get_filename_component(file_name ${msi} NAME)
file(WRITE ${msi}.sha256 "${sum}  ${file_name}\n")
message(STATUS "${msi}")
